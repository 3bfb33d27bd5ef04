// hubmonitor: the live monitor of a hub, or (with one argument) the viewer of
// one recording.
#include "common/DialogSeam.h"
#include "monitor/FAnaBarre.h"
#include "monitor/UplinkIndicator.h"
#include "common/hubport.h"
#include "monitor/language.h"
#include "monitor/unattended.h"
#include "monitor/version.h"
#include "uplink/siteuplink.h"
#include "uplink/uplinkfeed.h"
#include "uplink/uplinkoptions.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// HUBMONITOR_STARTUP_PROBE=1: report the time to the main window's first paint
// (and the language and mode chosen), then quit. Used by the start-up bench.
class FirstPaintProbe : public QObject {
public:
    FirstPaintProbe(hub::TAnalisiBarre* w, const QElapsedTimer& clock) : w_(w), clock_(clock) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == w_ && e->type() == QEvent::Paint && !done_) {
            done_ = true;
            const qint64 ms = clock_.elapsed();
            // After the paint itself, so the figure includes it.
            QTimer::singleShot(0, w_, [this, ms] {
                std::printf("hubmonitor: first paint after %lld ms; language %s; %s mode\n",
                            static_cast<long long>(ms), w_->state().italian() ? "ITA" : "INT",
                            w_->state().viewer() ? "viewer" : "live");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    hub::TAnalisiBarre* w_;
    QElapsedTimer clock_;
    bool done_ = false;
};

// HUBMONITOR_SCREENSHOT=path: after HUBMONITOR_SCREENSHOT_DELAY_MS (3000) save
// the main window as a PNG and quit; under a real X server also the screen, as
// path-screen.png.
void scheduleScreenshot(hub::TAnalisiBarre* w, const QString& path) {
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("HUBMONITOR_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delay < 0) delay = 3000;
    QTimer::singleShot(delay, w, [w, path] {
        int rc = 0;
        if (w->grab().save(path, "PNG")) {
            std::printf("screenshot: %s\n", qPrintable(QFileInfo(path).absoluteFilePath()));
        } else {
            std::fprintf(stderr, "hubmonitor: cannot write %s\n", qPrintable(path));
            rc = 1;
        }
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            QString screenPath = path;
            if (screenPath.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
                screenPath.chop(4);
            screenPath += QStringLiteral("-screen.png");
            if (QScreen* s = QGuiApplication::primaryScreen();
                s && s->grabWindow(0).save(screenPath, "PNG"))
                std::printf("screenshot: %s\n",
                            qPrintable(QFileInfo(screenPath).absoluteFilePath()));
        }
        std::fflush(stdout);
        QCoreApplication::exit(rc);
    });
}

const char kUsage[] =
    "Usage: hubmonitor [FILE.dat]\n"
    "       hubmonitor --replay FILE.dat\n"
    "       hubmonitor --port DEVICE [--record NAME | --no-record]\n"
    "       hubmonitor ... [--uplink URL [--uplink-password-file FILE] [--uplink-ca-file FILE]]\n"
    "                      [--config FILE]\n"
    "\n"
    "The live monitor of an infrared perimeter-protection hub.\n"
    "\n"
    "  (no argument)        open the main window; \"RECEIVE DATA\" starts an acquisition\n"
    "  FILE.dat             open the recording FILE.dat in viewer mode\n"
    "  --replay FILE.dat    open FILE.dat in viewer mode with the replay player beside it\n"
    "  --port DEVICE        start acquiring from DEVICE at once (ttyUSB0 means /dev/ttyUSB0)\n"
    "  --record NAME        record to NAME__PORT-DEVICE.dat\n"
    "  --no-record          acquire without recording\n"
    "  --uplink URL         hand the site's events to an MQTT broker, URL\n"
    "                       mqtt[s]://USER@HOST[:PORT]/SITE; the password comes from\n"
    "                       --uplink-password-file FILE or HUB_UPLINK_PASSWORD, never\n"
    "                       from the command line\n"
    "  --uplink-ca-file FILE  the CA certificate that signs the broker's (mqtts)\n"
    "  --config FILE        the uplink's settings from an INI file: [uplink] url=,\n"
    "                       password-file=, ca-file=, prefix=, journal-dir=; options given\n"
    "                       on the command line win\n"
    "  --help, -h           show this text and exit\n"
    "\n"
    "With --port nobody is expected at the screen: every message goes to stderr and no\n"
    "message box is shown. The acquisition outlives its device: when the device vanishes\n"
    "(or is missing at the start) the recording stays open, the window shows NO DATA and\n"
    "the same device is reopened every 2 s; a path that can never be a serial line (not\n"
    "a terminal, a folder, a missing folder outside /dev) is said once and tried every 30 s.\n"
    "A recording that cannot be created (a missing folder, another program recording to\n"
    "the same file) is reported and the acquisition runs without it: the live display\n"
    "still guards. A full disk pauses the recording (the file keeps whole records only)\n"
    "and it resumes by itself when space comes back.\n"
    "SIGINT and SIGTERM end a running acquisition cleanly (end record written) and quit,\n"
    "closing any open dialog; if the stop has not ended within 8 s the program exits\n"
    "with status 1 (the recording then lacks only its end record).\n"
    "For a USB adapter give its stable name, /dev/serial/by-id/usb-...: unlike\n"
    "ttyUSB0 it stays the same when the adapter comes back as another tty.\n"
    "With an uplink every event is numbered and written to SITE.outbox before it is\n"
    "published, and stays there until the broker confirms it; unconfirmed events go out\n"
    "again, in order, after a reconnect or a restart. The journal (and SITE.acks, the\n"
    "control room's acknowledgements) is in journal-dir, else beside the recordings when\n"
    "--port records, else in the program's data folder. The window title shows the\n"
    "uplink's state; with --port its changes and any journal failure go to stderr.\n"
    "\n"
    "The replay player plays a recording back through time: a time strip with a lane\n"
    "per barrier, play and pause (Space), speeds x1 to x64, previous and next record\n"
    "(Left, Right) and event (PgUp, PgDn), a jump to a typed date and time. While it is\n"
    "open the main window shows the state at the player's position. Ctrl+R opens it\n"
    "whenever the main window shows a recording.\n";

// The uplink from the settings given; 0, or the exit status after saying why
// on stderr (2: a bad setting; 1: the journal cannot be used).
int startUplink(hub::TAnalisiBarre& w, const hub::UplinkSettings& set, const hub::UnattendedStart& unattended,
                std::unique_ptr<hub::SiteUplink>& uplink, std::unique_ptr<hub::UplinkFeed>& feed) {
    QString error;
    const auto url = hub::MqttUrl::parse(set.url, &error);
    if (!url) {
        std::fprintf(stderr, "hubmonitor: --uplink: %s\n", qPrintable(error));
        return 2;
    }
    if (url->site.isEmpty()) {
        std::fprintf(stderr, "hubmonitor: --uplink: the URL names no site (mqtt://USER@HOST/SITE)\n");
        return 2;
    }
    const auto password = hub::readUplinkPassword(set.passwordFile, &error);
    if (!password) {
        std::fprintf(stderr, "hubmonitor: %s\n", qPrintable(error));
        return 2;
    }
    hub::UplinkConfig c;
    c.url = *url;
    c.password = *password;
    c.caFile = set.caFile;
    if (!set.prefix.isEmpty()) c.prefix = set.prefix;
    c.program = QStringLiteral("hubmonitor ") + QLatin1String(hub::kProgramVersion);
    // Beside the recordings (they go to the working folder), else in the data folder.
    QString dir = set.journalDir;
    if (dir.isEmpty())
        dir = unattended.requested && unattended.record != false
                  ? QDir::currentPath()
                  : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    c = hub::withJournalIn(c, dir);
    uplink = std::make_unique<hub::SiteUplink>(c);
    if (!uplink->start(&error)) {
        std::fprintf(stderr, "hubmonitor: uplink: %s\n", qPrintable(error));
        return 1;
    }
    if (!uplink->journalNote().isEmpty())
        std::fprintf(stderr, "hubmonitor: uplink: %s\n", qPrintable(uplink->journalNote()));
    feed = std::make_unique<hub::UplinkFeed>(*uplink);
    w.setLinkObserver(feed.get());
    auto* indicator = new hub::UplinkIndicator(&w);
    const QString site = url->site;
    const bool toStderr = unattended.requested;
    QObject::connect(uplink.get(), &hub::SiteUplink::statusChanged, indicator,
                     [indicator, site, toStderr, last = hub::UplinkStatus()](const hub::UplinkStatus& s) mutable {
                         indicator->setText(s.text(site));
                         if (toStderr && (s.connection != last.connection || s.detail != last.detail) &&
                             s.connection != hub::UplinkStatus::Connection::Connecting &&
                             !s.detail.startsWith(QLatin1String("connecting")))
                             std::fprintf(stderr, "hubmonitor: uplink %s: %s\n", qPrintable(site),
                                          qPrintable(s.detail));
                         // An event the broker refused is as serious: said whatever the mode.
                         if (s.refusal != last.refusal && !s.refusal.isEmpty())
                             std::fprintf(stderr, "hubmonitor: uplink %s: %s\n", qPrintable(site),
                                          qPrintable(s.refusal));
                         // A failing journal is said every time its reason changes, never dropped.
                         if (s.journalError != last.journalError && !s.journalError.isEmpty())
                             std::fprintf(stderr, "hubmonitor: uplink %s: %s; events are kept in memory\n",
                                          qPrintable(site), qPrintable(s.journalError));
                         last = s;
                     });
    indicator->setText(hub::UplinkStatus().text(site));
    return 0;
}

// The last resort after SIGTERM / SIGINT: a normal stop takes about 2.5 s.
constexpr int kStopDeadlineSeconds = 8;

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    // Before the application object: --help must work without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // hubmonitor --replay FILE.dat: the viewer of FILE.dat and the replay player.
    const bool replay = argc >= 2 && std::strcmp(argv[1], "--replay") == 0;
    if (replay && (argc != 3 || argv[2][0] == '\0')) {
        std::fputs("hubmonitor: --replay needs one recording, FILE.dat\n\n", stderr);
        std::fputs(kUsage, stderr);
        return 2;
    }
    QApplication app(argc, argv);
    // The title the desktop shows for the application; the window has its own.
    QApplication::setApplicationName(QLatin1String(hub::kApplicationTitle));
    // Before the first window: the toolkit's dialogs speak the window's language.
    QTranslator toolkitTexts;
    if (hub::loadToolkitTranslation(toolkitTexts, hub::interfaceLanguage(QLocale::system())))
        QApplication::installTranslator(&toolkitTexts);

    hub::ComHubPort port;
    hub::TAnalisiBarre w(port, hub::SystemClock::instance());
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    // The uplink's options first, so that the rest reads as it always has.
    const hub::UplinkArguments uplinkArgs = hub::takeUplinkArguments(args);
    if (!uplinkArgs.error.isEmpty()) {
        std::fprintf(stderr, "hubmonitor: %s\n", qPrintable(uplinkArgs.error));
        return 2;
    }
    // hubmonitor --port DEVICE [--record NAME | --no-record]: start acquiring at
    // once. Only when the first argument is an option; otherwise as always.
    const hub::UnattendedStart unattended = replay ? hub::UnattendedStart{} : hub::parseUnattended(args);
    if (!unattended.error.isEmpty()) {
        std::fprintf(stderr, "hubmonitor: %s\n", qPrintable(unattended.error));
        return 2;
    }
    w.startAs(hub::interfaceLanguage(QLocale::system()) == QLatin1String("ITA")
                  ? hub::MainWindowState::Language::Italian
                  : hub::MainWindowState::Language::English,
              replay                 ? args.at(2)
              : unattended.requested ? QString()
                                     : hub::viewerFileFromArguments(args));
    if (replay) w.openPlayerAfterLoad();

    std::unique_ptr<hub::SiteUplink> uplink;
    std::unique_ptr<hub::UplinkFeed> feed;
    if (uplinkArgs.given) {
        const int rc = startUplink(w, uplinkArgs.settings, unattended, uplink, feed);
        if (rc != 0) return rc;
    }

    FirstPaintProbe probe(&w, clock);
    if (qEnvironmentVariableIntValue("HUBMONITOR_STARTUP_PROBE") == 1) w.installEventFilter(&probe);
    const QString shot = qEnvironmentVariable("HUBMONITOR_SCREENSHOT");
    if (!shot.isEmpty()) scheduleScreenshot(&w, shot);

    // Centred on the screen, as the window was designed.
    if (QScreen* s = QGuiApplication::primaryScreen())
        w.move(s->availableGeometry().center() - w.rect().center());
    w.show();

    // SIGTERM / SIGINT end a running acquisition cleanly (stop bytes, end
    // record, port and file closed) without asking, and the program quits.
    // Open dialogs are closed first and none opens after: nobody would close
    // it. Any other orderly quit closes the acquisition the same way.
    hub::QuitSignals quitSignals(
        [&w] {
            hub::DialogSeam::quitting();
            w.stopWithoutAsking();
            QCoreApplication::exit(0); // not quit(): that would ask the window to close
        },
        kStopDeadlineSeconds);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &w, &hub::TAnalisiBarre::stopWithoutAsking);
    // A file-size limit reached by the recording is a failed write (the
    // recording pauses on a whole record), not the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);
    if (unattended.requested) {
        hub::DialogSeam::setUnattended(true);
        const hub::TAnalisiBarre::RiceviPreset preset{unattended.port, unattended.record, unattended.name, true};
        QTimer::singleShot(0, &w, [&w, preset] { w.SBRiceviClick(preset); });
    }
    const int rc = app.exec();
    if (uplink) {
        w.stopWithoutAsking(); // its last messages go out before "offline"
        w.setLinkObserver(nullptr);
        uplink->stop();
    }
    return rc;
}
