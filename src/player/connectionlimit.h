#pragma once

#include <QCoroTask>
#include <QUrl>

// libVLC says that a stream failed, not why: a provider that refuses a connection beyond the
// account's limit looks like any other failure. The account answer tells (it counts the
// connections held), without opening a stream connection of its own.
namespace ConnectionLimit {

// Whether `stream` is a provider stream whose account can be asked.
bool canTell(const QUrl &stream);
// Whether the account of `stream` holds as many stream connections as it may; false when the
// account cannot be asked in time or does not say.
QCoro::Task<bool> reached(QUrl stream);

} // namespace ConnectionLimit
