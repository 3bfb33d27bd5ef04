// hubroom: the control room. Follows every site on an MQTT broker.
#include "common/DialogSeam.h"
#include "hubroom/RoomWindow.h"
#include "hubroom/SiteGrid.h"
#include "hubroom/SiteMonitor.h"
#include "hubroom/payloads.h"
#include "hubroom/room.h"
#include "monitor/language.h"
#include "monitor/version.h"
#include "hubroom/roomlink.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QTranslator>
#include <QElapsedTimer>
#include <csignal>
#include <memory>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalFd[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalFd[0], &c, 1);
}

int usage(const QString& why) {
    std::fprintf(stderr, "hubroom: %s\n", qPrintable(why));
    std::fprintf(stderr, "usage: hubroom --broker mqtt[s]://USER@HOST[:PORT] [--password-file FILE] "
                         "[--ca-file FILE] [--archive DIR] [--prefix hub] [--silent-after 30] "
                         "[--history FILE] [--client-id ID] [--config FILE]\n");
    return 2;
}

QString readPassword(const QString& file, QString* error) {
    if (file.isEmpty()) return qEnvironmentVariable("HUBROOM_PASSWORD");
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(file, f.errorString());
        return QString();
    }
    // The first line; a trailing newline is not part of the password.
    return QString::fromUtf8(f.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
}

// HUBROOM_SCREENSHOT_DIR=dir: after HUBROOM_SCREENSHOT_DELAY_MS (3000) save the
// grid, the most urgent site's monitor and the log there, and quit.
void scheduleScreenshots(hub::room::RoomWindow& w) {
    const QString dir = qEnvironmentVariable("HUBROOM_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("HUBROOM_SCREENSHOT_DELAY_MS", &ok);
    if (!ok) delay = 3000;
    QTimer::singleShot(delay, &w, [&w, dir] {
        QDir().mkpath(dir);
        w.refreshNow();
        const QString grid = dir + QStringLiteral("/room-grid.png");
        w.grab().save(grid);
        std::printf("%s\n", qPrintable(grid));
        if (!w.grid()->tiles().empty()) {
            auto* m = w.openSite(w.grid()->tiles().front().name);
            const QString mon = dir + QStringLiteral("/room-monitor.png");
            m->grab().save(mon);
            std::printf("%s\n", qPrintable(mon));
        }
        const QString log = dir + QStringLiteral("/room-log.png");
        w.logView()->grab().save(log);
        std::printf("%s\n", qPrintable(log));
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}

// HUBROOM_PROBE=file: the load bench's figures, written when the room stops:
// the longest stall of the event loop (a 50 ms timer's lateness), the longest
// grid paint, the paints, the log's entries and the events taken in.
class LoadProbe : public QObject {
public:
    LoadProbe(QString path, hub::room::RoomWindow& w, hub::room::Room& room)
        : path_(std::move(path)), w_(w), room_(room) {
        since_.start();
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = since_.elapsed();
            stall_ = std::max(stall_, now - last_ - 50);
            last_ = now;
        });
        last_ = 0;
        timer_.start();
        QObject::connect(&room_, &hub::room::Room::siteChanged, this, [this] { ++messages_; });
    }
    ~LoadProbe() override {
        QFile f(path_);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        long long events = 0;
        for (const auto& [name, s] : room_.sites().sites()) events += static_cast<long long>(s.contiguous);
        f.write(QStringLiteral("longest_stall_ms %1\nlongest_paint_ms %2\npaints %3\nlog_entries %4\n"
                               "site_messages %5\nsites %6\nevents_contiguous %7\nstored_events %8\n")
                    .arg(stall_)
                    .arg(w_.grid()->longestPaintUs() / 1000.0, 0, 'f', 2)
                    .arg(w_.grid()->paints())
                    .arg(room_.history().search({}).size())
                    .arg(messages_)
                    .arg(room_.sites().sites().size())
                    .arg(events)
                    .arg(room_.history().storedEvents())
                    .toUtf8());
    }

private:
    QString path_;
    hub::room::RoomWindow& w_;
    hub::room::Room& room_;
    QTimer timer_;
    QElapsedTimer since_;
    qint64 last_ = 0;
    qint64 stall_ = 0;
    long long messages_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hubroom"));
    QApplication::setApplicationVersion(QString::fromLatin1(hub::kProgramVersion));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The control room: every site on the broker at a glance."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption oBroker(QStringLiteral("broker"), QStringLiteral("The broker: mqtt[s]://USER@HOST[:PORT]."), QStringLiteral("URL"));
    const QCommandLineOption oPass(QStringLiteral("password-file"), QStringLiteral("The password's file (else HUBROOM_PASSWORD)."), QStringLiteral("FILE"));
    const QCommandLineOption oCa(QStringLiteral("ca-file"), QStringLiteral("The CA to trust for mqtts."), QStringLiteral("FILE"));
    const QCommandLineOption oArchive(QStringLiteral("archive"), QStringLiteral("Write every site's stream to DIR/SITE/YYYY-MM-DD.dat."), QStringLiteral("DIR"));
    const QCommandLineOption oPrefix(QStringLiteral("prefix"), QStringLiteral("The topic prefix (hub)."), QStringLiteral("PREFIX"));
    const QCommandLineOption oSilent(QStringLiteral("silent-after"), QStringLiteral("Seconds without data before a receiving site is silent (30)."), QStringLiteral("S"));
    const QCommandLineOption oHistory(QStringLiteral("history"), QStringLiteral("The history database (in the data folder by default)."), QStringLiteral("FILE"));
    const QCommandLineOption oClient(QStringLiteral("client-id"), QStringLiteral("The room's fixed client id (hubroom-USER)."), QStringLiteral("ID"));
    const QCommandLineOption oConfig(QStringLiteral("config"), QStringLiteral("Read the same settings from an INI file."), QStringLiteral("FILE"));
    p.addOptions({oBroker, oPass, oCa, oArchive, oPrefix, oSilent, oHistory, oClient, oConfig});
    p.process(app);

    // The command line wins over the configuration file.
    QSettings* cfg = nullptr;
    if (p.isSet(oConfig)) {
        if (!QFile::exists(p.value(oConfig))) return usage(p.value(oConfig) + QStringLiteral(": no such file"));
        cfg = new QSettings(p.value(oConfig), QSettings::IniFormat, &app);
    }
    const auto value = [&](const QCommandLineOption& o, const QString& def = QString()) {
        if (p.isSet(o)) return p.value(o);
        if (cfg) return cfg->value(o.names().first(), def).toString();
        return def;
    };

    const QString brokerText = value(oBroker);
    if (brokerText.isEmpty()) return usage(QStringLiteral("--broker is required"));
    QString err;
    const auto url = hub::MqttUrl::parse(brokerText, &err);
    if (!url) return usage(err);
    if (!url->site.isEmpty()) return usage(QStringLiteral("the room's broker URL names no site"));
    bool ok = false;
    const int silentAfter = value(oSilent, QStringLiteral("30")).toInt(&ok);
    if (!ok || silentAfter < 1) return usage(QStringLiteral("--silent-after takes whole seconds, 1 or more"));
    const QString prefix = value(oPrefix, QStringLiteral("hub"));
    if (!hub::isValidSiteName(prefix)) return usage(QStringLiteral("--prefix: letters, digits, - and _ only"));
    const QString password = readPassword(value(oPass), &err);
    if (!err.isEmpty()) return usage(err);

    hub::room::RoomOptions o;
    o.prefix = prefix;
    o.silentAfter = silentAfter;
    o.archiveDir = value(oArchive);
    o.historyPath = value(oHistory);
    if (o.historyPath.isEmpty()) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);
        o.historyPath = dir + QStringLiteral("/hubroom.sqlite");
    }
    hub::room::Room room(o);
    if (!room.open(&err)) {
        std::fprintf(stderr, "hubroom: %s\n", qPrintable(err));
        return 1;
    }

    const QString language = hub::interfaceLanguage(QLocale::system());
    QTranslator toolkit;
    if (hub::loadToolkitTranslation(toolkit, language)) QApplication::installTranslator(&toolkit);
    hub::room::RoomWindow w(room, language == QLatin1String("ITA"));
    room.setBeeper([] { hub::beep(); });

    hub::room::RoomLink link(room, hub::room::roomMqttOptions(*url, password, value(oCa), value(oClient)));
    QObject::connect(&link, &hub::room::RoomLink::stateChanged, &w,
                     [&w, url](const QString& detail) { w.setConnectionText(url->toString() + QStringLiteral(": ") + detail); });
    link.start();

    // SIGTERM and SIGINT end the room cleanly: the archive's files get their end records.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFd) == 0) {
        auto* n = new QSocketNotifier(signalFd[1], QSocketNotifier::Read, &app);
        QObject::connect(n, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }

    w.show();
    scheduleScreenshots(w);
    std::unique_ptr<LoadProbe> probe;
    if (qEnvironmentVariableIsSet("HUBROOM_PROBE"))
        probe = std::make_unique<LoadProbe>(qEnvironmentVariable("HUBROOM_PROBE"), w, room);
    const int rc = QApplication::exec();
    link.stop();
    probe.reset();
    room.closeArchive();
    return rc;
}
