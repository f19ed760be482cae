#pragma once

#include "failure.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QUrl>

#include <QCoroTask>

#include <atomic>
#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace Network {

// The HTTP client of the calling thread: the GUI thread's, made on first use, or the one of the
// thread that receives whole catalogues.
QNetworkAccessManager &shared();

// Stops requests at once: every request made with it that is still running ends as
// cancelled, and any made after the call ends so without being sent.
class Cancellation : public QObject
{
    Q_OBJECT

public:
    void cancel();
    // Read by the thread that receives catalogues too.
    bool isCancelled() const { return m_cancelled.load(); }

Q_SIGNALS:
    void cancelled();

private:
    std::atomic<bool> m_cancelled = false;
};

// What a request is for decides how long it may take and how much it may bring.
enum class Purpose {
    ordinary,   // lists, details, guides, the device service
    connecting, // the account answer and the lists that prove a playlist while the user waits
    catalogue,  // a whole section: tens of megabytes, on a slow line
};

struct Limits
{
    std::chrono::milliseconds idle;     // longest wait for the next byte
    std::chrono::milliseconds deadline; // longest time for the whole answer
    qint64 maxBytes;                    // largest body read; more ends the request as too large
};

Limits limits(Purpose purpose);

// Sees an answer's body while it arrives, on the thread that receives it, so that a catalogue
// can be decoded in runs before its last byte. Only answers with status 200 are shown; a
// redirect's answer is not.
class BodyWatcher
{
public:
    virtual ~BodyWatcher() = default;
    // A new answer begins: what an earlier attempt showed is void.
    virtual void begin() = 0;
    // The answer gave its length, so its body is one block that will not move until it ends
    // (told before the first received()). A watcher that answers true keeps views into it, and
    // may write within what it was shown if it puts every byte back by the time stop() returns
    // or the body is handed on; the body is then never let go of before stop() has returned.
    virtual bool settled() { return false; }
    // The body so far. It only grows until the next begin(); it may move between calls unless
    // it settled.
    virtual void received(QByteArrayView body) = 0;
    // The answer is given up (cancelled, timed out, too large, broken off): nothing more of it
    // is wanted.
    virtual void stop() {}
};

struct Options
{
    Purpose purpose = Purpose::ordinary;
    // A deadline shared with other requests (a connection's two requests in a row); the
    // earlier of this and the purpose's own applies.
    QDeadlineTimer deadline{QDeadlineTimer::Forever};
    std::shared_ptr<Cancellation> cancellation;
    std::shared_ptr<BodyWatcher> watcher = nullptr;
    // A whole catalogue whose answer gives its length may be handed on in the very buffer Qt
    // received it in, never copied: the body then borrows its bytes, and Response::storage
    // must be kept as long as the body is used.
    bool borrowBody = false;
};

struct Response
{
    int status = 0;
    // With room behind its end for the JSON parser, unless it borrows its bytes (see
    // Options::borrowBody); a borrowed body copies itself on the first write.
    QByteArray body;
    std::shared_ptr<const void> storage; // what a borrowed body's bytes live in
};

// GET `url` with the single header "Accept: application/json". Any reply that carries an HTTP
// status answers that status and its whole body, whatever the status; the caller decides what
// a status means. Redirects are followed by hand: only to http(s), never from https down to
// http, at most five; any other redirect is a failure. Failures: the address is not http(s)
// or no connection (unreachable), the idle time-out or the deadline (timed out), an answer
// broken off or a redirect not followed (server failed), a body past the size limit (too
// large), the cancellation (cancelled).
//
// A catalogue is received on a thread of its own, one connection each, so that two arrive side
// by side at loopback speed whatever the GUI thread is doing; the caller's thread only sees the
// whole answer.
QCoro::Task<Result<Response>> get(QUrl url, Options options = {});

namespace testing {
// Lets tests shorten the limits of one purpose; resetLimits() restores the program's.
void setLimits(Purpose purpose, Limits limits);
// The idle time-out of every purpose.
void setTransferTimeout(std::chrono::milliseconds timeout);
void resetLimits();
// Whether catalogues may be handed on in Qt's own buffer (the default); off, every body is
// copied out of Qt's pieces as before, for benchmarks to compare.
void setBorrowBodies(bool borrow);
} // namespace testing

} // namespace Network
