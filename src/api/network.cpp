#include "network.h"

#include "diagnostics.h"
#include "hugepages.h"
#include "useragent.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QPromise>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <array>
#include <memory>

namespace Network {

using namespace std::chrono_literals;

namespace {

constexpr qint64 megabyte = 1024 * 1024;
const std::array<Limits, 3> programLimits{{
    {20s, 30s, 8 * megabyte},    // ordinary
    {15s, 15s, 8 * megabyte},    // connecting
    {20s, 120s, 256 * megabyte}, // catalogue
}};
std::array<Limits, 3> g_limits = programLimits;
bool g_borrowBodies = true;

constexpr qsizetype bodyPadding = 64; // at least simdjson's SIMDJSON_PADDING
// What Qt's network thread may read ahead of us. Unbounded, a fast server fills the receiving
// thread's event queue with pieces faster than they are taken, and the queue is not left (no
// timer, no paint) until the answer ends or runs into its size limit. The GUI thread keeps a
// small window; the transfer thread does nothing else, and a larger window there means fewer
// hand-overs between Qt's network thread and it.
constexpr qint64 readAhead = 512 * 1024;
constexpr qint64 catalogueReadAhead = 4 * 1024 * 1024;
// A body over this size is let go of on a worker thread.
constexpr qint64 freeInPlace = 2 * 1024 * 1024;
constexpr int maxRedirects = 5;

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Why a request was stopped from this side.
enum class Stop { none, idle, deadline, tooLarge, cancelled };

// What the handlers of one reply share; it outlives the coroutine's frame if a late signal
// still arrives before the reply is gone.
//
// The body is read straight into one buffer, sized up front from the promised length, so a
// catalogue is neither kept as pieces nor joined afterwards. Without a length (a compressed
// answer Qt inflates) it grows by doubling, which copies each byte about once more.
//
// A catalogue that gives its length is not read at all: Qt writes it into one buffer of that
// length (its "zero-copy" download buffer) on its own network thread, and the body borrows
// those bytes. Qt's thread then never waits for this one to take pieces (no read-ahead limit
// to hand back and forth), and neither thread copies the bytes again.
struct Transfer
{
    QByteArray body;
    QSharedPointer<char> borrowed; // Qt's buffer, when the body lies there
    qint64 arrived = 0;            // bytes of it written so far
    Stop stop = Stop::none;
    qint64 maxBytes = 0;
    std::shared_ptr<BodyWatcher> watcher; // set while an answer with status 200 is read
    bool watcherHoldsViews = false;       // the watcher reads the body in place: stop it before it goes
};

// Room for `more` bytes and the JSON parser's padding behind them.
void makeRoom(QByteArray &body, qint64 more)
{
    const qint64 needed = body.size() + more + bodyPadding;
    if (body.capacity() >= needed)
        return;
    const qint64 grown = body.capacity() > 0 ? std::max<qint64>(needed, 2 * qint64(body.capacity())) : needed;
    body.reserve(qsizetype(grown));
    HugePages::advise(body.constData(), body.capacity());
}

// Lets go of a large body away from the thread that received it: freeing hundreds of megabytes
// takes a while.
void dropBody(Transfer &transfer)
{
    if (transfer.watcherHoldsViews) {
        transfer.watcherHoldsViews = false;
        transfer.watcher->stop();
    }
    transfer.borrowed.reset();
    transfer.arrived = 0;
    QByteArray body = std::exchange(transfer.body, {});
    if (body.capacity() > freeInPlace)
        (void)QtConcurrent::run([body = std::move(body)] {});
}

// Whether the server answered at all. A reply that carries an HTTP status holds the server's
// answer, whatever that status is (Qt turns 4xx and 5xx, and a redirect it does not follow,
// into errors of its own); a failure of the connection itself leaves no answer to read.
bool connectionFailed(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownProxyError:
        return true;
    default:
        return false;
    }
}

bool fetchable(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where a redirect may lead: to an http(s) address, never from https down to http.
std::optional<QUrl> redirectTarget(const QNetworkReply &reply)
{
    const QByteArray location = reply.rawHeader("Location");
    if (location.isEmpty())
        return std::nullopt;
    const QUrl target = reply.url().resolved(QUrl::fromEncoded(location, QUrl::StrictMode));
    const bool downgrade = reply.url().scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https");
    if (!fetchable(target) || downgrade)
        return std::nullopt;
    return target;
}

// The error's name, never its text: Qt's texts quote the whole address, credentials included.
const char *errorName(QNetworkReply::NetworkError error)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? name : "UnknownError";
}

// Aborts on the next turn of the event loop: never from inside a signal of the reply or of a
// timer that the resumed coroutine would then destroy.
void abortSoon(QNetworkReply *reply)
{
    QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
}

std::chrono::milliseconds remaining(const QDeadlineTimer &deadline)
{
    return std::max(0ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()));
}

// The client of the thread that receives catalogues, on that thread only.
thread_local QNetworkAccessManager *t_manager = nullptr;

// Receives whole catalogues. On the GUI thread, every piece of a 60 MB answer waits for the GUI's
// event loop before Qt reads the next one from the socket (the read-ahead limit), so a busy GUI
// thread, or the other catalogue's pieces, held each transfer back, and the two home catalogues
// came one after the other. Here only the pieces are collected.
class TransferThread : public QThread
{
public:
    TransferThread()
    {
        setObjectName(QStringLiteral("transfers"));
        m_context.moveToThread(this);
        start();
    }
    ~TransferThread() override
    {
        quit();
        wait();
    }
    QObject *context() { return &m_context; }

protected:
    void run() override
    {
        QNetworkAccessManager manager;
        t_manager = &manager;
        exec();
        t_manager = nullptr;
    }

private:
    QObject m_context;
};

TransferThread &transferThread()
{
    // Ends with the application, which waits for it.
    static QPointer<QThread> thread;
    if (!thread)
        thread = new TransferThread;
    if (!thread->parent())
        thread->setParent(QCoreApplication::instance());
    return *static_cast<TransferThread *>(thread.data());
}

QCoro::Task<> deliver(std::shared_ptr<QPromise<Result<Response>>> promise, QUrl url, Options options)
{
    std::optional<Result<Response>> result;
    {
        auto request = get(std::move(url), options);
        result = co_await request;
    }
    // The cancellation belongs to the caller's thread: its last hold goes there, not here.
    options = {};
    promise->addResult(std::move(*result));
    promise->finish();
}

// Runs the whole request on the transfer thread; the answer comes back as a future.
QFuture<Result<Response>> onTransferThread(QUrl url, Options options)
{
    auto promise = std::make_shared<QPromise<Result<Response>>>();
    QFuture<Result<Response>> future = promise->future();
    promise->start();
    QMetaObject::invokeMethod(transferThread().context(), [promise, url = std::move(url), options = std::move(options)]() mutable {
        [[maybe_unused]] QCoro::Task<> delivering = deliver(promise, std::move(url), std::move(options));
    }, Qt::QueuedConnection);
    return future;
}

} // namespace

void Cancellation::cancel()
{
    if (m_cancelled.exchange(true))
        return;
    Q_EMIT cancelled();
}

QNetworkAccessManager &shared()
{
    if (t_manager)
        return *t_manager;
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    }
    Q_ASSERT(manager->thread() == QThread::currentThread());
    return *manager;
}

Limits limits(Purpose purpose)
{
    return g_limits[size_t(purpose)];
}

QCoro::Task<Result<Response>> get(QUrl url, Options options)
{
    if (options.purpose == Purpose::catalogue && !t_manager) {
        const std::shared_ptr<Cancellation> keep = options.cancellation;
        QFuture<Result<Response>> received = onTransferThread(std::move(url), std::move(options));
        Result<Response> result = co_await received;
        co_return result;
    }
    const Limits limit = limits(options.purpose);
    QDeadlineTimer deadline(limit.deadline);
    if (!options.deadline.isForever() && options.deadline < deadline)
        deadline = options.deadline;
    const std::shared_ptr<Cancellation> cancellation = options.cancellation;
    const QString name = Diagnostics::requestName(url);
    if (!fetchable(url)) {
        qCDebug(lcNetwork).noquote() << name << "not sent: not an http(s) address";
        co_return Failure{Failure::Kind::unreachable};
    }

    QElapsedTimer clock;
    clock.start();
    const auto failed = [&](Failure failure, const char *why) {
        qCDebug(lcNetwork).noquote() << name << Failure::kindName(failure.kind) << why << "after" << clock.elapsed() << "ms"
                                     << Diagnostics::maskedAddress(url);
        return failure;
    };

    for (int redirects = 0;; ++redirects) {
        if (cancellation && cancellation->isCancelled())
            co_return failed(Failure{Failure::Kind::cancelled}, "before sending");
        if (deadline.hasExpired())
            co_return failed(Failure{Failure::Kind::timedOut}, "deadline before sending");

        QNetworkRequest request(url);
        request.setRawHeader("Accept", "application/json");
        request.setRawHeader("User-Agent", UserAgent::text());
        // Redirects are followed here rather than by Qt, which follows any scheme it knows.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        // No cookies either way: the credentials in the query are the only ones.
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        const bool borrow = t_manager && options.borrowBody && g_borrowBodies;
        if (borrow)
            request.setAttribute(QNetworkRequest::MaximumDownloadBufferSizeAttribute, limit.maxBytes);

        std::unique_ptr<QNetworkReply, DeleteLater> reply(shared().get(request));
        reply->setParent(nullptr);
        reply->setReadBufferSize(t_manager ? catalogueReadAhead : readAhead);
        QNetworkReply *const replyPtr = reply.get();
        auto transfer = std::make_shared<Transfer>();
        transfer->maxBytes = limit.maxBytes;
        const std::shared_ptr<BodyWatcher> watcher = options.watcher;
        const auto stop = [transfer, replyPtr](Stop why) {
            if (transfer->stop != Stop::none)
                return;
            transfer->stop = why;
            // Whatever is decoded of this answer is void: its threads stop now, not once the
            // caller has heard.
            if (transfer->watcher)
                transfer->watcher->stop();
            abortSoon(replyPtr);
        };

        // Both timers belong to the reply: they go with it, never before it.
        auto *idle = new QTimer(replyPtr);
        idle->setSingleShot(true);
        QObject::connect(idle, &QTimer::timeout, replyPtr, [stop] { stop(Stop::idle); });
        idle->start(limit.idle);
        auto *overall = new QTimer(replyPtr);
        overall->setSingleShot(true);
        overall->setTimerType(Qt::PreciseTimer);
        QObject::connect(overall, &QTimer::timeout, replyPtr, [stop] { stop(Stop::deadline); });
        if (!deadline.isForever())
            overall->start(remaining(deadline));
        if (cancellation) {
            QObject::connect(cancellation.get(), &Cancellation::cancelled, replyPtr, [stop] { stop(Stop::cancelled); });
            // Cancelled from another thread before the connection above: no signal comes.
            if (cancellation->isCancelled())
                stop(Stop::cancelled);
        }

        QObject::connect(replyPtr, &QNetworkReply::metaDataChanged, replyPtr, [transfer, replyPtr, idle, stop, watcher, borrow] {
            idle->start();
            if (watcher && !transfer->watcher && transfer->body.isEmpty()
                && replyPtr->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
                transfer->watcher = watcher;
                watcher->begin();
            }
            const qint64 length = replyPtr->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            if (length > transfer->maxBytes)
                stop(Stop::tooLarge); // known too large before a byte of it is read
            else if (length > 0 && transfer->body.isEmpty() && !transfer->borrowed) {
                // Qt keeps small answers in such a buffer of its own accord: only a caller that
                // holds the storage gets one handed on.
                if (borrow)
                    transfer->borrowed = replyPtr->attribute(QNetworkRequest::DownloadBufferAttribute).value<QSharedPointer<char>>();
                if (transfer->borrowed)
                    HugePages::advise(transfer->borrowed.data(), length);
                else
                    makeRoom(transfer->body, length); // only reserved: pages never written are never taken
                if (transfer->watcher && !transfer->watcherHoldsViews)
                    transfer->watcherHoldsViews = transfer->watcher->settled();
            }
        });
        QObject::connect(replyPtr, &QNetworkReply::readyRead, replyPtr, [transfer, replyPtr, idle, stop, name, cancellation] {
            idle->start();
            // A fast answer queues pieces ahead of the cancellation's signal: seen here, a cancel
            // does not wait behind megabytes still to be handled.
            if (cancellation && cancellation->isCancelled())
                stop(Stop::cancelled);
            const qint64 available = replyPtr->bytesAvailable();
            if (available <= 0)
                return;
            if (transfer->borrowed) {
                // Never read: what is available is what Qt has written into its buffer so far.
                if (transfer->stop != Stop::none || available <= transfer->arrived)
                    return;
                if (transfer->arrived == 0)
                    Timing::mark("first byte", name);
                transfer->arrived = available;
                if (transfer->watcher)
                    transfer->watcher->received(QByteArrayView(transfer->borrowed.data(), available));
                return;
            }
            if (transfer->stop != Stop::none) {
                replyPtr->skip(available); // stopped: what still arrives is dropped, not kept
                return;
            }
            QByteArray &body = transfer->body;
            if (body.isEmpty())
                Timing::mark("first byte", name);
            if (body.size() + available > transfer->maxBytes) {
                stop(Stop::tooLarge);
                dropBody(*transfer);
                replyPtr->skip(available);
                return;
            }
            if (transfer->watcherHoldsViews && body.size() + available + bodyPadding > body.capacity()) {
                // More than the promised length would move the body under the watcher's views:
                // its runs are void, and the whole answer is decoded once it is in.
                transfer->watcherHoldsViews = false;
                transfer->watcher->stop();
                transfer->watcher.reset();
            }
            makeRoom(body, available);
            const qsizetype at = body.size();
            body.resize(at + qsizetype(available));
            const qint64 got = replyPtr->read(body.data() + at, available);
            body.resize(at + qsizetype(std::max<qint64>(got, 0)));
            if (transfer->watcher && got > 0)
                transfer->watcher->received(body);
        });
        co_await replyPtr;
        Timing::mark("last byte", name);
        // Whatever way this attempt ends, its body was let go of or handed on by then.
        const auto forgetWatcher = qScopeGuard([transfer] {
            transfer->watcherHoldsViews = false;
            transfer->watcher.reset();
        });
        idle->stop();
        overall->stop();
        if (cancellation)
            QObject::disconnect(cancellation.get(), nullptr, replyPtr, nullptr);

        const QVariant statusAttribute = replyPtr->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = statusAttribute.toInt();
        if (transfer->stop != Stop::none)
            dropBody(*transfer);
        switch (transfer->stop) {
        case Stop::cancelled:
            co_return failed(Failure{Failure::Kind::cancelled}, "by the caller");
        case Stop::idle:
            co_return failed(Failure{Failure::Kind::timedOut, status}, "idle");
        case Stop::deadline:
            co_return failed(Failure{Failure::Kind::timedOut, status}, "deadline");
        case Stop::tooLarge:
            co_return failed(Failure{Failure::Kind::tooLarge, status}, "past the size limit");
        case Stop::none:
            break;
        }
        const QNetworkReply::NetworkError error = replyPtr->error();
        if (!statusAttribute.isValid() || error == QNetworkReply::TimeoutError || connectionFailed(error) || isRedirect(status))
            dropBody(*transfer); // no body to hand on
        if (!statusAttribute.isValid() || error == QNetworkReply::TimeoutError) {
            const Failure::Kind kind =
                error == QNetworkReply::TimeoutError ? Failure::Kind::timedOut : Failure::Kind::unreachable;
            co_return failed(Failure{kind}, errorName(error));
        }
        if (connectionFailed(error)) // the status line came, the whole body did not
            co_return failed(Failure{Failure::Kind::serverFailed, status}, errorName(error));

        if (isRedirect(status)) {
            const std::optional<QUrl> next = redirectTarget(*replyPtr);
            if (!next)
                co_return failed(Failure{Failure::Kind::serverFailed, status}, "redirect not followed");
            if (redirects >= maxRedirects)
                co_return failed(Failure{Failure::Kind::serverFailed, status}, "too many redirects");
            qCDebug(lcNetwork).noquote() << name << "status" << status << "to" << Diagnostics::maskedAddress(*next);
            url = *next;
            continue;
        }
        // Qt ends a reply without an error when the server closes the connection early; a body
        // shorter than its promised length is a broken answer, never a shorter catalogue. (When Qt
        // inflates a compressed body itself it drops the length header, so this only compares
        // the bytes that crossed the wire.)
        if (transfer->borrowed)
            transfer->arrived = std::max(transfer->arrived, replyPtr->bytesAvailable());
        const qint64 received = transfer->borrowed ? transfer->arrived : transfer->body.size();
        const QVariant promised = replyPtr->header(QNetworkRequest::ContentLengthHeader);
        if (promised.isValid() && received < promised.toLongLong() && status != 204 && status != 304) {
            dropBody(*transfer);
            co_return failed(Failure{Failure::Kind::serverFailed, status}, "body shorter than promised");
        }
        // Handed on with the body: whoever decodes it finishes the watcher first.
        transfer->watcherHoldsViews = false;
        Response response{status, std::exchange(transfer->body, {}), nullptr};
        if (transfer->borrowed) {
            response.body = QByteArray::fromRawData(transfer->borrowed.data(), qsizetype(transfer->arrived));
            // The reply and Qt's thread let go of the buffer as they end: ours frees it.
            response.storage = std::shared_ptr<const void>(transfer->borrowed.data(), [keep = transfer->borrowed](const void *) {});
            transfer->borrowed.reset();
        } else {
            makeRoom(response.body, 0); // a body that filled its room exactly: the parser reads a little past the end
        }
        qCDebug(lcNetwork).noquote() << name << "status" << status << response.body.size() << "bytes"
                                     << (response.storage ? "in Qt's buffer" : "") << clock.elapsed() << "ms"
                                     << Diagnostics::maskedAddress(url);
        co_return response;
    }
}

namespace testing {
void setLimits(Purpose purpose, Limits limits)
{
    g_limits[size_t(purpose)] = limits;
}

void setTransferTimeout(std::chrono::milliseconds timeout)
{
    for (Limits &limit : g_limits)
        limit.idle = timeout;
}

void resetLimits()
{
    g_limits = programLimits;
}

void setBorrowBodies(bool borrow)
{
    g_borrowBodies = borrow;
}
} // namespace testing

} // namespace Network
