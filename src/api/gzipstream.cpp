#include "gzipstream.h"

#include <zlib.h>

namespace {
constexpr int outputSize = 256 * 1024;
} // namespace

struct GzipStream::State
{
    z_stream stream{};
    bool ready = false;
    bool failed = false;
    bool memberEnded = false; // the last member ended and no byte came after it
    QByteArray output{outputSize, Qt::Uninitialized};
};

bool GzipStream::looksCompressed(QByteArrayView head)
{
    return head.size() >= 2 && quint8(head[0]) == 0x1f && quint8(head[1]) == 0x8b;
}

GzipStream::GzipStream()
    : m_state(std::make_unique<State>())
{
    // 16 + window bits: a gzip wrapper, not a bare deflate stream.
    m_state->ready = inflateInit2(&m_state->stream, 16 + MAX_WBITS) == Z_OK;
}

GzipStream::~GzipStream()
{
    if (m_state->ready)
        inflateEnd(&m_state->stream);
}

bool GzipStream::inflate(QByteArrayView compressed, const std::function<bool(QByteArrayView)> &out)
{
    State &state = *m_state;
    if (!state.ready || state.failed)
        return false;
    z_stream &stream = state.stream;
    while (!compressed.isEmpty()) {
        const auto take = std::min<qsizetype>(compressed.size(), 1 << 30);
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
        stream.avail_in = uInt(take);
        while (stream.avail_in > 0) {
            if (state.memberEnded) {
                // Another member follows the one that ended; anything else (the zeros some
                // servers pad with) is not part of the payload.
                if (*stream.next_in != 0x1f) {
                    stream.avail_in = 0;
                    break;
                }
                inflateReset(&stream);
                state.memberEnded = false;
            }
            stream.next_out = reinterpret_cast<Bytef *>(state.output.data());
            stream.avail_out = outputSize;
            const int result = ::inflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                state.failed = true;
                return false;
            }
            const qsizetype produced = outputSize - qsizetype(stream.avail_out);
            if (produced > 0 && !out(QByteArrayView(state.output.constData(), produced))) {
                state.failed = true;
                return false;
            }
            if (result == Z_STREAM_END)
                state.memberEnded = true;
            else if (result == Z_BUF_ERROR && produced == 0)
                break; // needs more input
        }
        compressed = compressed.sliced(take);
    }
    return true;
}

bool GzipStream::atEnd() const
{
    return m_state->memberEnded && !m_state->failed;
}
