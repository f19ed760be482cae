#pragma once

#include "api/failure.h"
#include "model/enums.h"
#include "model/records.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

#include <array>
#include <memory>
#include <vector>

// What the player needs to open one entry of a plain M3U list. Only the options on the
// allow-list survive; nothing else the list says ever reaches the media player.
struct M3uStream
{
    QString url;
    QString userAgent;     // #EXTVLCOPT:http-user-agent
    QString referrer;      // #EXTVLCOPT:http-referrer
    QString catchup;       // the entry's catchup attribute ("default", "append", "shift", …)
    QString catchupSource; // catchup-source, a template the catch-up kind fills in
    int catchupDays = 0;

    friend bool operator==(const M3uStream &, const M3uStream &) = default;
};

// A whole list sorted into the three sections.
struct M3uCatalogue
{
    // Indexed by Section: the groups of each section in the order they first appear.
    std::array<QList<Category>, 3> categories;
    // Indexed by Section, in list order. MediaItem.id is the decimal index into `streams`.
    std::array<QList<MediaItem>, 3> items;
    std::vector<M3uStream> streams;
    QString guideURL;         // url-tvg / x-tvg-url of the #EXTM3U line (the first address; http(s) only)
    qint64 skippedLines = 0;  // lines over the length bound, refused addresses, entries without one

    const QList<Category> &categoriesOf(Section section) const { return categories[size_t(section)]; }
    const QList<MediaItem> &itemsOf(Section section) const { return items[size_t(section)]; }
    // The stream of an item of this catalogue; nullptr for an id it did not give out.
    const M3uStream *stream(const QString &itemId) const;
};

// Reads an M3U list as it arrives, in pieces split anywhere (even inside a line or a UTF-8
// sequence). Lists of 100 MB and half a million entries are real, so nothing beyond the one
// unfinished line is copied; a line longer than `maxLineBytes` is skipped and counted.
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

    // The section an entry address belongs to: a movie container or a /movie/ segment gives
    // Movies, a /series/ segment TV Shows, anything else Live TV.
    static Section sectionOf(QStringView url);
    // The stable id of a group name (favourites and hidden groups outlive a reload).
    static QString groupId(const QString &groupName);
    // The name given to entries without a group.
    static QString ungroupedName();

    struct State;

private:
    std::unique_ptr<State> d;
};
