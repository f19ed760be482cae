// Prints the fault matrix: every store route of the player against every fault of the lab,
// permanent and once, with the time to settle, what the user is shown, whether Retry recovers,
// the longest GUI-thread stall, peak memory and whole-catalogue downloads.
//
//   bench_faults [route-substring]
#include "faultmatrix.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString only = app.arguments().value(1);
    QTextStream out(stdout);
    out << "route | fault | mode | settle ms (limit) | shown at | words | recovered | stall ms | peak MB | catalogue downloads\n";
    int scenarios = 0, failures = 0;
    for (const QString &route : FaultMatrix::routes()) {
        if (!only.isEmpty() && !route.contains(only))
            continue;
        for (const QString &fault : FaultMatrix::faults(route)) {
            for (const bool once : {false, true}) {
                const FaultMatrix::Outcome o = FaultMatrix::run({route, fault, once});
                const bool good = o.settleMs <= o.limitMs + 1000 && !o.emptySuccess
                                  && o.recovered && o.longestStallMs <= 50 && o.preferencesKept;
                ++scenarios;
                failures += good ? 0 : 1;
                out << route << " | " << fault << " | " << (once ? "once" : "permanent") << " | " << o.settleMs << " ("
                    << o.limitMs << ") | " << (o.place.isEmpty() ? (o.optional ? QStringLiteral("(optional)") : QStringLiteral("-")) : o.place)
                    << " | " << o.shown << " | " << (o.recovered ? "yes" : "NO") << " | " << o.longestStallMs << " | "
                    << o.peakMemoryKb / 1024 << " | " << o.catalogueDownloads << (good ? "" : " | FAILED") << Qt::endl;
            }
        }
    }
    out << scenarios << " scenarios, " << failures << " failed" << Qt::endl;
    return failures == 0 ? 0 : 1;
}
