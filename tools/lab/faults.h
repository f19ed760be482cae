#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace Lab {

// One fault the lab plays on a route, switched on from the command line or the control
// endpoint while it runs.
struct Fault
{
    enum class Kind {
        delay,    // answer, but only after `milliseconds`
        stall,    // take the request and never answer (past any client's time-out)
        status,   // answer `status` with a JSON body
        notJson,  // answer 200 with an HTML page
        cut,      // promise the whole body, send half of it, hang up
        breakOff, // streams: send `seconds` of media, then hang up
        notFound, // answer 404
        trickle,   // the head, then the body one byte every `milliseconds` (15 s unless told)
        huge,      // 200 with a JSON array of `megabytes` MB, or without end for 0
        redirect,  // a redirect: back to the same address, or to a file: address
        shortBody, // promise more than the body holds, send the body, then nothing
        silence,   // the head of the answer, then nothing
        noAuth,    // 200 with the account's refusal, {"user_info":{"auth":0}}
        flaky,    // streams: every other connection sends `seconds` of media and hangs up, the next plays on
    };
    enum class Target { loop, file };

    Kind kind = Kind::delay;
    int milliseconds = 3000;
    int status = 500;
    int seconds = 3;
    int megabytes = 0;
    Target target = Target::loop;
    int remaining = -1; // requests left to spoil; -1: until switched off
    int taken = 0;      // requests met so far (flaky alternates)

    static QStringList kindNames();
    static std::optional<Kind> kindFromName(const QString &name);
    static QString kindName(Kind kind);

    // "kind" or "kind:argument", as the command line takes it ("delay:2500", "status:503",
    // "break:5", "flaky:4", "stall", "trickle:500", "huge:300", "redirect:file"). Unknown kinds and
    // unreadable arguments give nothing.
    static std::optional<Fault> parse(const QString &text);
    QString describe() const;
};

// The faults in force, by route. A request is looked up by its route names from the most
// particular to the most general ("get_live_streams", "player_api", "*"); the first found wins.
class FaultTable
{
public:
    void set(const QString &route, const Fault &fault) { m_faults.insert(route, fault); }
    void clear(const QString &route) { m_faults.remove(route); }
    void clearAll() { m_faults.clear(); }
    bool isEmpty() const { return m_faults.isEmpty(); }
    QList<std::pair<QString, Fault>> all() const;

    // The fault for a request with these route names; a fault limited to a number of requests
    // is used up by this call. A flaky fault answers as a break every other time, and as no
    // fault at all in between.
    std::optional<Fault> take(const QStringList &routes);

private:
    QHash<QString, Fault> m_faults;
};

} // namespace Lab
