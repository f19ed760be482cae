#pragma once

#include "api/failure.h"
#include "model/enums.h"
#include "model/records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

// What the player needs to open one entry of a plain M3U list. Only the options on the
// allow-list survive; nothing else the list says ever reaches the media player.
struct M3uStream
{
    QString url;
    QString userAgent;     // #EXTVLCOPT:http-user-agent
    QString referrer;      // #EXTVLCOPT:http-referrer
    QString catchup;       // the entry's catchup kind ("default", "append", "shift", …); empty: no catch-up
    QString catchupSource; // catchup-source, a template the catch-up kind fills in
    int catchupDays = 0;   // 0 when the list does not say

    friend bool operator==(const M3uStream &, const M3uStream &) = default;
};

// A whole list sorted into the three sections. Lists run to half a million entries, so the
// entries are held compactly (their texts as UTF-8 in one block) and MediaItem records are
// made only for what is asked: a section or one of its groups.
class M3uCatalogue
{
public:
    // The groups of a section in the order they first appear. Category.id is stable for a
    // group name (M3uReader::groupId), so favourites and hidden groups outlive a reload.
    const QList<Category> &categories(Section section) const { return m_categories[size_t(section)]; }
    // The items of a section in list order, or only those of one of its groups. MediaItem.id
    // is the entry's key (what stream() takes): made from its guide id, title and the last
    // segment of its address, never from its place in the list, so a favourite or a kept
    // position still names the same channel after entries are added or removed above it.
    QList<MediaItem> items(Section section, const QString &categoryId = {}) const;
    qsizetype itemCount(Section section) const { return m_counts[size_t(section)]; }
    // The places of a section's entries in list order, for passes that want less than a
    // record of each: the name and group alone, or the record of one place.
    std::vector<quint32> places(Section section) const;
    QString nameAt(quint32 place) const { return text(m_entries[place].name); }
    // The same name's bytes as the list had them (UTF-8), for passes over many names that need
    // no string of each. Valid while the catalogue is unchanged.
    QByteArrayView nameUtf8At(quint32 place) const
    {
        const Text name = m_entries[place].name;
        return name.size ? m_texts.view(name) : QByteArrayView();
    }
    const QString &categoryIdAt(quint32 place) const
    {
        const Entry &entry = m_entries[place];
        return m_categories[entry.section].at(entry.group).id;
    }
    MediaItem itemAt(quint32 place) const { return item(place); }
    // The records of `count` places written over `out`'s default records: a whole section's
    // list is sized once and filled in pieces side by side.
    void fillItems(const quint32 *places, size_t count, MediaItem *out) const;
    Section sectionAt(quint32 place) const { return Section(m_entries[place].section); }
    // Entries kept, over all sections.
    qsizetype size() const { return qsizetype(m_entries.size()); }
    // The stream of an item of this catalogue; nothing for an id it did not give out.
    std::optional<M3uStream> stream(const QString &itemId) const;
    // The streams of many items in one pass over the list, by id; ids it did not give out are
    // left out.
    QHash<QString, M3uStream> streams(const QList<QString> &itemIds) const;
    // The place in the list of the entry an id names (the first, when entries share one).
    std::optional<size_t> position(const QString &itemId) const;
    // By place, for passes over a section's places: an entry's key (its item's id as a number)
    // and its stream.
    quint64 keyAt(quint32 place) const { return m_entries[place].key; }
    bool archiveAt(quint32 place) const { return m_entries[place].archive; }
    M3uStream streamOf(quint32 place) const { return streamAt(place); }
    // The guide's address from the #EXTM3U line (url-tvg or x-tvg-url; the first one, http(s) only).
    const QString &guideURL() const { return m_guideURL; }
    // Lines over the length bound, refused addresses and entries without one.
    qint64 skippedLines() const { return m_skippedLines; }

private:
    friend class M3uReader;

    struct Text
    {
        quint32 at = 0;
        quint32 size = 0;
    };
    struct Entry
    {
        Text name;
        Text url;
        Text icon;
        Text guideId;
        Text catchupSource;
        quint64 key = 0;
        qint32 num = 0;      // nine digits at most, or a place in the list
        quint32 group = 0;   // index into the section's categories
        quint32 options = 0; // index into m_options; 0: none
        // Packed so that an entry takes 64 bytes: a block of them is one huge page.
        quint32 catchupDays : 12 = 0; // clamped to ten years
        quint32 extension : 16 = 0;   // index into m_extensions
        quint32 section : 2 = 0;
        quint32 archive : 1 = 0;
    };
    static_assert(sizeof(Entry) == 64);
    struct Options
    {
        QString userAgent;
        QString referrer;
        QString catchup;
        friend bool operator==(const Options &, const Options &) = default;
    };

    // The room of one block. A full-sized one is taken from the system with its pages ready in
    // one go: filling hundreds of megabytes page by page spent a third of a read on page faults.
    // A first block starts small and grows, so a short list takes only the room it needs.
    class Block
    {
    public:
        Block() = default;
        ~Block() { release(); }
        Block(Block &&other) noexcept
            : m_data(std::exchange(other.m_data, nullptr))
            , m_size(std::exchange(other.m_size, 0))
            , m_capacity(std::exchange(other.m_capacity, 0))
            , m_mapped(std::exchange(other.m_mapped, false))
        {
        }
        Block &operator=(Block &&other) noexcept
        {
            if (this != &other) {
                release();
                m_data = std::exchange(other.m_data, nullptr);
                m_size = std::exchange(other.m_size, 0);
                m_capacity = std::exchange(other.m_capacity, 0);
                m_mapped = std::exchange(other.m_mapped, false);
            }
            return *this;
        }
        char *data() const { return m_data; }
        size_t size() const { return m_size; }
        size_t capacity() const { return m_capacity; }
        // Room for `capacity` bytes in all, keeping those held; throws std::bad_alloc without it.
        void reserve(size_t capacity);
        // Within the capacity only.
        void append(const void *bytes, size_t size)
        {
            std::memcpy(m_data + m_size, bytes, size);
            m_size += size;
        }
        void resize(size_t size) { m_size = size; }

    private:
        void release();

        char *m_data = nullptr;
        size_t m_size = 0;
        size_t m_capacity = 0;
        bool m_mapped = false;
    };

    // UTF-8 as the list had it, in blocks of up to two megabytes: growing never moves more than
    // the first block.
    class Texts
    {
    public:
        // Two megabytes: one huge page each.
        static constexpr quint32 blockBits = 21;
        static constexpr quint32 blockSize = 1u << blockBits;
        quint32 position() const
        {
            return m_blocks.empty() ? 0 : quint32(((m_blocks.size() - 1) << blockBits) + m_blocks.back().size());
        }
        // The bytes' place; an empty one past 4 GB.
        Text add(QByteArrayView bytes);
        void truncate(quint32 mark);
        size_t blockCount() const { return m_blocks.size(); }
        // `other`'s blocks after these, whole: its places move by the returned amount.
        quint32 append(Texts &&other);
        QByteArrayView view(Text text) const
        {
            return {m_blocks[text.at >> blockBits].data() + (text.at & (blockSize - 1)), qsizetype(text.size)};
        }

    private:
        std::vector<Block> m_blocks;
    };

    // A list of plain records that grows by blocks, for the same reasons.
    template<typename T>
    class Blocks
    {
        static_assert(std::is_trivially_copyable_v<T>);

    public:
        // Two megabytes of entries: one huge page.
        static constexpr size_t blockLength = 32768;
        size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        const T &operator[](size_t index) const
        {
            return reinterpret_cast<const T *>(m_blocks[index / blockLength].data())[index % blockLength];
        }
        void push_back(const T &value)
        {
            if (m_blocks.empty() || m_blocks.back().size() == blockLength * sizeof(T))
                m_blocks.emplace_back().reserve((m_blocks.size() == 1 ? 64 : blockLength) * sizeof(T));
            Block &block = m_blocks.back();
            if (block.size() == block.capacity())
                block.reserve(block.capacity() * 2);
            block.append(&value, sizeof(T));
            ++m_size;
        }
        // `other`'s records after these, copied a run at a time; `fix(records, count)` then
        // changes each run in place while it is still in the cache.
        template<typename Fix>
        void append(const Blocks &other, Fix &&fix)
        {
            constexpr size_t full = blockLength * sizeof(T);
            for (size_t done = 0; done < other.m_size;) {
                if (m_blocks.empty() || m_blocks.back().size() == full)
                    m_blocks.emplace_back();
                Block &block = m_blocks.back();
                const Block &source = other.m_blocks[done / blockLength];
                const size_t from = done % blockLength;
                const size_t run = std::min({blockLength - block.size() / sizeof(T),
                                             source.size() / sizeof(T) - from, other.m_size - done});
                const size_t needed = block.size() + run * sizeof(T);
                if (needed > block.capacity()) {
                    // The first block grows by doubling from 64 records, as push_back has it, so
                    // it reaches the full size exactly and is never a mapped block that grows.
                    size_t capacity = m_blocks.size() == 1 ? std::max(block.capacity(), 64 * sizeof(T)) : full;
                    while (capacity < needed)
                        capacity *= 2;
                    block.reserve(capacity);
                }
                T *const at = reinterpret_cast<T *>(block.data() + block.size());
                block.append(source.data() + from * sizeof(T), run * sizeof(T));
                fix(at, run);
                done += run;
                m_size += run;
            }
        }

    private:
        std::vector<Block> m_blocks;
        size_t m_size = 0;
    };

    QString text(Text text) const;
    MediaItem item(quint32 index) const;
    void fill(quint32 index, MediaItem &item) const;
    M3uStream streamAt(size_t index) const;

    Texts m_texts;
    Blocks<Entry> m_entries;
    std::array<QList<Category>, 3> m_categories;
    std::array<std::vector<std::vector<quint32>>, 3> m_groupEntries; // entry indices by section and group
    std::array<qsizetype, 3> m_counts{};
    std::vector<Options> m_options{Options{}};
    QList<QString> m_extensions{QString()};
    QString m_guideURL;
    qint64 m_skippedLines = 0;
};

// Reads an M3U list as it arrives, in pieces split anywhere (even inside a line or a UTF-8
// sequence). Nothing beyond the one unfinished line is copied; a line longer than
// `maxLineBytes` is skipped and counted.
class M3uReader
{
public:
    static constexpr qsizetype maxLineBytes = 64 * 1024;

    // `base`: the list's own address, against which relative entry addresses resolve. Only a
    // list read from a local file (a file: base) may name local files.
    explicit M3uReader(QUrl base = {});
    ~M3uReader();
    M3uReader(const M3uReader &) = delete;
    M3uReader &operator=(const M3uReader &) = delete;

    void feed(QByteArrayView chunk);
    // After the last bytes. A text with neither an #EXTM3U line nor one usable entry is not a
    // list (a web page, say): notUnderstood. An unfinished last entry is dropped.
    Result<M3uCatalogue> finish();
    // The entries read so far, each one whole (an entry still waiting for its address is not
    // among them). Valid until the next feed().
    const M3uCatalogue &soFar() const;
    // Entries of a section read so far.
    qsizetype count(Section section) const;

    // Reading one list on two threads: this reader takes the list up to a fresh line, a
    // continuation takes it from there, and the continuation is joined to this one before
    // finish(). The result is that of one reader fed every byte.
    //
    // The start of the first fresh line in `text` at or after `from`: a line that follows an
    // entry's address, so nothing before it bears on what comes after. -1 when there is none.
    static qsizetype freshLineAfter(QByteArrayView text, qsizetype from);
    // A reader for the lines from a fresh line on; nothing until this one has read the #EXTM3U
    // line (before it, a relative address reads differently).
    std::unique_ptr<M3uReader> continuation() const;
    // Appends what `tail` read, as if this reader had read its bytes after its own; this reader
    // stopped right where the tail began. False, with nothing changed, when the texts together
    // would not fit in 4 GB: this reader then has to read those bytes itself.
    bool join(M3uReader &tail);

    // The section an entry address belongs to: a movie container or a /movie/ segment gives
    // Movies, a /series/ segment TV Shows, anything else Live TV.
    static Section sectionOf(QStringView url);
    // The stable id of a group name.
    static QString groupId(const QString &groupName);
    // The name given to entries without a group.
    static QString ungroupedName();

    struct State;

private:
    std::unique_ptr<State> d;
};
