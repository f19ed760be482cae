#pragma once

#include <QByteArray>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

namespace Network {

// The one HTTP client of the program, made on first use on the thread that uses it.
QNetworkAccessManager &shared();

// GET `url` with the single header "Accept: application/json" and a 20-second transfer time-out.
// The status code is not examined: the body of every reply that carries an HTTP status is
// returned, also with a 3xx, 4xx or 5xx status. Nothing when the connection fails (refused,
// closed before the body was whole, timed out) or for addresses that are not http(s).
QCoro::Task<std::optional<QByteArray>> getBody(QUrl url);

std::chrono::milliseconds transferTimeout();

namespace testing {
// Lets tests shorten the time-out; the program keeps 20 seconds.
void setTransferTimeout(std::chrono::milliseconds timeout);
} // namespace testing

} // namespace Network
