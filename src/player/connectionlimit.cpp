#include "connectionlimit.h"

#include "api/diagnostics.h"
#include "api/mavuapi.h"
#include "api/streamaddress.h"

namespace ConnectionLimit {

namespace {
// The answer decides whether to wait and try again; a slow one would only delay the failure.
constexpr int askWithinMs = 2500;
} // namespace

bool canTell(const QUrl &stream)
{
    return StreamAddress::accountOf(stream).has_value();
}

QCoro::Task<bool> reached(QUrl stream)
{
    const auto playlist = StreamAddress::accountOf(stream);
    if (!playlist)
        co_return false;
    MavuAPI::Options options;
    options.deadline = QDeadlineTimer(askWithinMs);
    auto request = MavuAPI::accountStatus(*playlist, options);
    const Result<MavuAPI::AccountStatus> account = co_await request;
    const bool full = account && account->atConnectionLimit();
    qCDebug(lcPlayer) << "stream failed; account" << (account ? "answered" : "did not answer")
                      << (full ? "at its connection limit" : "below its connection limit");
    co_return full;
}

} // namespace ConnectionLimit
