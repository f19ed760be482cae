#pragma once

#include <QList>
#include <QString>

#include <chrono>

// The player's store against each fault of the lab, route by route: how long until the screen
// settles, what the user is shown, whether Retry recovers, and what it cost (the longest stall
// of the GUI thread, peak memory, whole-catalogue downloads). The fault-matrix tests and
// bench_faults both run it.
//
// Stream routes (live, movie and catch-up media) are the player's and are not run here.
namespace FaultMatrix {

struct Scenario
{
    QString route; // a row of routes()
    QString fault; // as the lab reads it: "stall", "status:503", "trickle:200", …
    bool once = false; // the fault spoils one request, then the route works again
};

struct Outcome
{
    QString shown;           // the failure's words, "" when nothing failed
    QString place;           // where the failure is shown ("home", "connect", …), "" for none
    bool optional = false;   // the route is an extra: its failure is shown as nothing
    bool emptySuccess = false; // a fault that left a required place empty without a failure
    qint64 settleMs = 0;     // from the request until every spinner is gone
    qint64 limitMs = 0;      // the deadline the route's requests have
    bool recovered = false;  // Retry (after the fault is gone, or the next attempt) worked
    qint64 longestStallMs = 0; // the longest gap of a 16 ms heartbeat on the GUI thread, less its wait for a processor
    qint64 peakMemoryKb = 0; // the process's peak resident memory so far
    int catalogueDownloads = 0; // whole-catalogue requests the lab saw
    bool preferencesKept = true; // the saved playlist and theme survived
};

struct Limits
{
    std::chrono::milliseconds idle{1000};
    std::chrono::milliseconds deadline{3000};
    std::chrono::milliseconds connectDeadline{2000};
    std::chrono::milliseconds catalogueDeadline{4000};
    qint64 maxBytes = 8 * 1024 * 1024;
    qint64 catalogueMaxBytes = 64 * 1024 * 1024;
};

// "account", "live categories", …, "device settings".
QStringList routes();
// The faults `route` is tried with: all of them, but the account's refusal only where the
// provider answers.
QStringList faults(const QString &route);

// Runs one scenario against a lab of its own, with a store on private preferences.
Outcome run(const Scenario &scenario, const Limits &limits = {});

} // namespace FaultMatrix
