// Writes a small bitmap subtitle stream (a .sup file of presentation graphics segments) with two
// captions, each a solid bar, for the test media. ffmpeg turns it into the DVB subtitle track of
// the MPEG-TS clip: text subtitles cannot be carried in a transport stream, and ffmpeg has no way
// to draw text into bitmap subtitles.
//
// Usage: mavu_make_subtitles <output.sup> <video width> <video height>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes &out, unsigned value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

void put24(Bytes &out, unsigned value)
{
    out.push_back(std::uint8_t(value >> 16));
    put16(out, value & 0xffff);
}

void put32(Bytes &out, unsigned value)
{
    put16(out, value >> 16);
    put16(out, value & 0xffff);
}

void segment(Bytes &out, unsigned pts90k, std::uint8_t type, const Bytes &payload)
{
    out.push_back('P');
    out.push_back('G');
    put32(out, pts90k);
    put32(out, 0);
    out.push_back(type);
    put16(out, unsigned(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

// One display set: a bar of w x h in palette colour 1 at (x, y), or nothing when w is 0.
void displaySet(Bytes &out, unsigned pts90k, unsigned composition, unsigned videoW, unsigned videoH, unsigned x,
                unsigned y, unsigned w, unsigned h)
{
    const bool shown = w > 0;
    Bytes pcs;
    put16(pcs, videoW);
    put16(pcs, videoH);
    pcs.push_back(0x10); // frame rate field, ignored by readers
    put16(pcs, composition);
    pcs.push_back(shown ? 0x80 : 0x00); // epoch start, or a normal case that clears
    pcs.push_back(0x00);                 // no palette-only update
    pcs.push_back(0x00);                 // palette 0
    pcs.push_back(shown ? 1 : 0);
    if (shown) {
        put16(pcs, 0); // object 0
        pcs.push_back(0); // window 0
        pcs.push_back(0); // not cropped
        put16(pcs, x);
        put16(pcs, y);
    }
    segment(out, pts90k, 0x16, pcs);

    Bytes wds;
    wds.push_back(1);
    wds.push_back(0);
    put16(wds, x);
    put16(wds, y);
    put16(wds, shown ? w : 1);
    put16(wds, shown ? h : 1);
    segment(out, pts90k, 0x17, wds);

    if (shown) {
        Bytes pds{0, 0};
        const std::uint8_t entries[][5] = {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}}; // clear, opaque white
        for (const auto &entry : entries)
            pds.insert(pds.end(), std::begin(entry), std::end(entry));
        segment(out, pts90k, 0x14, pds);

        Bytes rle;
        for (unsigned row = 0; row < h; ++row) {
            // a run of colour 1, w pixels long (w >= 64), then the end of the line
            rle.push_back(0x00);
            rle.push_back(std::uint8_t(0xC0 | (w >> 8)));
            rle.push_back(std::uint8_t(w & 0xff));
            rle.push_back(0x01);
            rle.push_back(0x00);
            rle.push_back(0x00);
        }
        Bytes ods;
        put16(ods, 0);
        ods.push_back(0);    // version
        ods.push_back(0xC0); // first and last fragment
        put24(ods, unsigned(rle.size()) + 4);
        put16(ods, w);
        put16(ods, h);
        ods.insert(ods.end(), rle.begin(), rle.end());
        segment(out, pts90k, 0x15, ods);
    }
    segment(out, pts90k, 0x80, {});
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <output.sup> <video width> <video height>\n", argv[0]);
        return 2;
    }
    const unsigned videoW = unsigned(std::atoi(argv[2]));
    const unsigned videoH = unsigned(std::atoi(argv[3]));
    if (videoW < 128 || videoH < 64)
        return 2;
    const unsigned w = videoW / 2;
    const unsigned h = videoH / 10;
    const unsigned x = (videoW - w) / 2;
    const unsigned y = videoH - 2 * h;

    Bytes out;
    displaySet(out, 45000, 0, videoW, videoH, x, y, w, h);   // 0.5 s
    displaySet(out, 180000, 1, videoW, videoH, 0, 0, 0, 0);  // 2.0 s
    displaySet(out, 225000, 2, videoW, videoH, x, y / 2, w, h); // 2.5 s
    displaySet(out, 315000, 3, videoW, videoH, 0, 0, 0, 0);  // 3.5 s

    FILE *file = std::fopen(argv[1], "wb");
    if (!file)
        return 1;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}
