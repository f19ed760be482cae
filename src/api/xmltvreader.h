#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

// Reads an XMLTV programme guide as it arrives, piece by piece, without ever holding the
// document: each programme is handed on the moment its element closes. Guides run to
// hundreds of megabytes, so the reader is a SAX-style push parser (libxml2 underneath) and
// skips the text of channels nobody asked for.
class XmltvReader
{
public:
    // A time of the guide: "YYYYMMDDhhmmss +hhmm", seconds and minutes optional, the offset
    // optional (none means UTC).
    struct Time
    {
        qint64 utc = 0;        // seconds since 1970
        int offsetMinutes = 0; // the clock the guide wrote it in, east of UTC
    };
    static std::optional<Time> parseTime(QByteArrayView text);

    struct Programme
    {
        int channel = -1; // the key the handler gave the channel
        Time start;
        std::optional<qint64> stop; // absent when missing or not after the start
        QString title;              // plain text, trimmed, blanks collapsed
        QString desc;               // plain text, trimmed
    };

    class Handler
    {
    public:
        virtual ~Handler() = default;
        // The key of a channel id (its UTF-8 bytes), or -1 to skip the channel's programmes.
        virtual int channelKey(QByteArrayView id) = 0;
        virtual void programme(Programme &&programme) = 0;
    };

    enum class Outcome {
        complete,  // the whole document, closed
        truncated, // an XMLTV document that stops before its end
        notXmltv,  // no document, or one whose root is not "tv"
    };

    // `language`: the code whose titles and descriptions win ("de", "pt-BR"); otherwise the
    // first one of each programme.
    explicit XmltvReader(Handler &handler, const QString &language = {});
    ~XmltvReader();
    XmltvReader(const XmltvReader &) = delete;
    XmltvReader &operator=(const XmltvReader &) = delete;

    // False once the bytes can no longer be an XMLTV guide (a web page, say); feeding more
    // is then pointless.
    bool feed(QByteArrayView bytes);
    // After the last bytes.
    Outcome finish();

    qint64 programmesSeen() const; // every programme element, kept or not
    qint64 programmesKept() const; // handed to the handler

    struct State;

private:
    std::unique_ptr<State> m_state;
};
