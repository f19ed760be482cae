#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QUrl>

// Diagnostics of the player, all off unless QT_LOGGING_RULES turns them on, for example
// QT_LOGGING_RULES="mavu.*.debug=true". Nothing here is written in normal use.
Q_DECLARE_LOGGING_CATEGORY(lcNetwork) // "mavu.network": each request's action, status, size and time
Q_DECLARE_LOGGING_CATEGORY(lcDecode)  // "mavu.decode": each answer's rows and decoding time
Q_DECLARE_LOGGING_CATEGORY(lcStore)   // "mavu.store": the store's phases and connections
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)  // "mavu.player": what the players open and the states they report
Q_DECLARE_LOGGING_CATEGORY(lcTiming)  // "mavu.timing": milliseconds from START to each phase of loading

namespace Diagnostics {

// The address as it may appear in a log: the account's user name and password replaced by
// "***" wherever the provider's addresses carry them (the "username" and "password" query
// items, the two path places of stream and catch-up addresses, user information before the
// host). Every address that goes into a log goes through here.
QString maskedAddress(const QUrl &url);

// The provider action an address asks for ("get_vod_streams"; "account" for the account
// request), or the path for addresses that are not the provider's.
QString requestName(const QUrl &url);

} // namespace Diagnostics

// Where the time of a start goes: each phase (an answer's first and last byte, its decoding,
// the sorting, the rows drawn) is logged with the milliseconds since START. Callers name a
// phase and a request name (an action, never an address), so nothing of the account shows.
namespace Timing {

// START (or a manual connection) was pressed: later phases count from now. Before the first
// call they count from the program's start.
void begin();
// Milliseconds since begin().
double sinceBegin();
// Logs "<phase> <what> <ms> ms" when "mavu.timing" is on; costs a test of the category otherwise.
void mark(const char *phase, const QString &what = {});

} // namespace Timing
