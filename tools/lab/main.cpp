// mavu-lab: a local provider panel and device service with a generated catalogue, real media
// and switchable faults. See "mavu-lab --help".
#include "labserver.h"
#include "m3ulist.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// Ctrl-C and kill end the event loop, so that a running ffmpeg is stopped and temporary files
// are removed on the way out.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

QString kilobytes(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? u"%1 MB"_s.arg(double(bytes) / (1024 * 1024), 0, 'f', 1)
                                : u"%1 KB"_s.arg(double(bytes) / 1024, 0, 'f', 1);
}

void print(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

int fail(const QString &text)
{
    std::fputs(qPrintable(u"mavu-lab: "_s + text + u'\n'), stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"mavu-lab"_s);
    QCoreApplication::setApplicationVersion(u"1.0"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A local provider panel and device service for MAVU: a generated catalogue, a programme guide "
        "relative to the current time, real media made by ffmpeg and faults to switch on.\n\n"
        "Faults, while running: GET /lab/fault?route=ROUTE&kind=KIND[&ms=N|&status=N|&seconds=N|&mb=N|&to=loop|file][&count=N],\n"
        "kind=none switches a route's fault off, GET /lab/reset all of them, GET /lab shows the state,\n"
        "the routes and the kinds. Kinds: delay[:ms] stall status[:code] notjson cut break[:seconds] flaky[:seconds]\n"
        "notfound trickle[:ms] huge[:mb] redirect[:loop|file] shortbody silence noauth."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(u"port"_s, u"Port to listen on (default 18080)."_s, u"port"_s, u"18080"_s);
    const QCommandLineOption address(u"address"_s, u"Address to listen on (default 127.0.0.1)."_s, u"address"_s, u"127.0.0.1"_s);
    const QCommandLineOption seed(u"seed"_s, u"Seed of the generated catalogue (default 1)."_s, u"number"_s, u"1"_s);
    const QCommandLineOption preset(u"preset"_s, u"Catalogue size: demo (default), large (60,000 channels, 200,000 movies, 30,000 shows) or one-category (large, with all 200,000 movies in the first movie category and 20,000 channels in the first live category)."_s,
                                    u"name"_s, u"demo"_s);
    const QCommandLineOption username(u"username"_s, u"The account's user name (default lab)."_s, u"text"_s, u"lab"_s);
    const QCommandLineOption password(u"password"_s, u"The account's password (default lab)."_s, u"text"_s, u"lab"_s);
    const QCommandLineOption authFailure(u"auth-failure"_s, u"How wrong credentials are answered: 401 (default, with a JSON body) or empty (200 with an empty list)."_s,
                                         u"kind"_s, u"401"_s);
    const QCommandLineOption expiry(u"expiry-days"_s, u"Days until the account expires (default 45), or never."_s, u"days"_s, u"45"_s);
    const QCommandLineOption fault(u"fault"_s, u"A fault from the start, e.g. get_live_streams=delay:3000, live=break:5, *=stall (repeatable)."_s,
                                   u"route=kind[:argument]"_s);
    const QCommandLineOption guideDays(u"guide-days"_s, u"Days of programme guide before and after now in /xmltv.php (default 2, about 13 MB; 0.25 with --preset large, about 380 MB)."_s,
                                       u"days"_s);
    const QCommandLineOption noTitles(u"no-titles"_s, u"Serve the clips made at build time instead of rendering each stream's name onto its picture."_s);
    const QCommandLineOption media(u"media"_s, u"Folder of the media made at build time."_s, u"folder"_s, Lab::MediaLibrary::defaultDirectory());
    const QCommandLineOption makeMedia(u"make-media"_s, u"Make the media into a folder with ffmpeg and exit (the build does this)."_s, u"folder"_s);
    const QCommandLineOption maxConnections(u"max-connections"_s, u"Concurrent stream connections the account may hold (default 1; 0: any number); also at /lab/connections?max=N."_s,
                                            u"count"_s, u"1"_s);
    const QCommandLineOption slowClose(u"slow-close"_s, u"Milliseconds a closed stream connection still counts (default 0); also at /lab/connections?slow_close_ms=N."_s,
                                       u"ms"_s, u"0"_s);
    const QCommandLineOption writeM3u(u"write-m3u"_s, u"Write the catalogue's M3U list (what /get.php?…&type=m3u_plus answers, addresses on this port) into a file and exit."_s,
                                      u"file"_s);
    parser.addOptions({port, address, seed, preset, username, password, authFailure, expiry, fault, guideDays, noTitles, media, makeMedia,
                       maxConnections, slowClose, writeM3u});
    parser.process(app);

    if (parser.isSet(makeMedia)) {
        QString errors;
        if (!Lab::MediaLibrary::make(parser.value(makeMedia), &errors))
            return fail(errors.trimmed());
        return 0;
    }

    Lab::Options options;
    bool ok = false;
    options.port = quint16(parser.value(port).toUShort(&ok));
    if (!ok)
        return fail(u"--port takes a number from 0 to 65535"_s);
    if (!options.address.setAddress(parser.value(address)))
        return fail(u"--address takes an IP address"_s);
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok)
        return fail(u"--seed takes a whole number"_s);
    const auto chosen = Lab::presetFromName(parser.value(preset));
    if (!chosen)
        return fail(u"--preset is demo, large or one-category"_s);
    options.preset = *chosen;
    options.username = parser.value(username);
    options.password = parser.value(password);
    if (parser.value(authFailure) == "empty"_L1)
        options.authFailure = Lab::Options::AuthFailure::emptyList;
    else if (parser.value(authFailure) != "401"_L1)
        return fail(u"--auth-failure is 401 or empty"_s);
    if (parser.value(expiry) == "never"_L1) {
        options.expiryDays = -1;
    } else {
        options.expiryDays = parser.value(expiry).toInt(&ok);
        if (!ok || options.expiryDays < 0)
            return fail(u"--expiry-days takes a number of days or never"_s);
    }
    for (const QString &text : parser.values(fault)) {
        const qsizetype equals = text.indexOf(u'=');
        const QString route = text.left(equals);
        const auto parsed = Lab::Fault::parse(text.mid(equals + 1));
        if (equals <= 0 || !Lab::Server::routeNames().contains(route) || !parsed)
            return fail(u"--fault %1: expected ROUTE=KIND[:ARGUMENT] with a route and kind listed at /lab"_s.arg(text));
        options.faults.append({route, *parsed});
    }
    if (parser.isSet(guideDays)) {
        options.guideDays = parser.value(guideDays).toDouble(&ok);
        if (!ok || options.guideDays < 0 || options.guideDays > 60)
            return fail(u"--guide-days takes a number of days from 0 to 60"_s);
    }
    options.maxConnections = parser.value(maxConnections).toInt(&ok);
    if (!ok || options.maxConnections < 0)
        return fail(u"--max-connections takes a whole number, 0 for any number"_s);
    options.slowCloseMs = parser.value(slowClose).toInt(&ok);
    if (!ok || options.slowCloseMs < 0 || options.slowCloseMs > 600000)
        return fail(u"--slow-close takes milliseconds from 0 to 600000"_s);
    options.titledMedia = !parser.isSet(noTitles);
    options.mediaDirectory = parser.value(media);

    if (parser.isSet(writeM3u)) {
        const QString base = u"http://%1:%2"_s.arg(options.address.toString()).arg(options.port == 0 ? 18080 : options.port);
        const auto catalogue = std::make_shared<const Lab::Catalogue>(options.seed, options.preset, base);
        QFile file(parser.value(writeM3u));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(u"cannot write %1: %2"_s.arg(file.fileName(), file.errorString()));
        Lab::M3u::Writer writer(catalogue, {base, options.username, options.password});
        qint64 bytes = 0;
        for (QByteArray piece = writer.next(1 << 20); !piece.isEmpty(); piece = writer.next(1 << 20)) {
            if (file.write(piece) != piece.size())
                return fail(u"cannot write %1: %2"_s.arg(file.fileName(), file.errorString()));
            bytes += piece.size();
        }
        print(u"%1: %2 entries, %3"_s.arg(file.fileName()).arg(writer.entries()).arg(kilobytes(bytes)));
        return 0;
    }

    quitOnSignals(app);
    Lab::Server server(options);
    QElapsedTimer clock;
    clock.start();
    const QString base = server.start();
    if (base.isEmpty())
        return fail(u"cannot listen on %1 port %2 (is another lab running?)"_s.arg(parser.value(address), parser.value(port)));
    const Lab::Catalogue &catalogue = server.catalogue();
    print(u"mavu-lab listening on %1 (preset %2, seed %3)"_s.arg(base, Lab::presetName(options.preset)).arg(options.seed));
    print(u"  catalogue: %1 live channels, %2 movies, %3 shows, made in %4 ms"_s.arg(catalogue.live().size())
              .arg(catalogue.movies().size()).arg(catalogue.shows().size()).arg(clock.elapsed()));
    print(u"  whole-section answers: live %1, movies %2, shows %3"_s.arg(kilobytes(catalogue.streamsAnswerSize(Lab::Kind::live)),
                                                                          kilobytes(catalogue.streamsAnswerSize(Lab::Kind::movie)),
                                                                          kilobytes(catalogue.streamsAnswerSize(Lab::Kind::series))));
    print(u"  provider: %1  user %2  password %3"_s.arg(base, options.username, options.password));
    print(u"  playlist the device service attaches: %1"_s.arg(server.playlistAddress()));
    print(u"  device service base: %1 (the player's MAVU_DEVICE_SERVICE_URL)"_s.arg(base));
    print(u"  plain M3U list: %1/lists/plain.m3u"_s.arg(base));
    print(u"  programme guide: %1/xmltv.php?username=%2&password=%3"_s.arg(base, options.username, options.password));
    print(u"  faults: %1/lab/fault?route=ROUTE&kind=KIND   state: %1/lab"_s.arg(base));
    print(u"  stream connections: at most %1%2   switch: %3/lab/connections?max=N&slow_close_ms=N"_s
              .arg(options.maxConnections == 0 ? u"any number"_s : QString::number(options.maxConnections),
                   options.slowCloseMs > 0 ? u", a closed one counts %1 ms more"_s.arg(options.slowCloseMs) : QString(), base));
    for (const auto &[route, active] : server.faults().all())
        print(u"  fault on %1: %2"_s.arg(route, active.describe()));
    if (!server.media().isComplete())
        print(u"  warning: media missing in %1; streams answer 404 (build the mavu_lab_media target)"_s.arg(options.mediaDirectory));
    return app.exec();
}
