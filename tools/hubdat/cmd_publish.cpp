// hubdat publish: a recording played to an MQTT broker as one site or many,
// through the same uplink as hubmonitor (journal, numbering, confirmations).
#include "command.h"

#include "common/tdatetime.h"
#include "monitor/datafile.h"
#include "uplink/siteuplink.h"
#include "uplink/uplinkoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace hubdat {
namespace {

const char kSynopsis[] =
    "publish FILE.dat --uplink URL [--site NAME | --sites N] [--rate R] [--now]\n"
    "                 [--uplink-password-file FILE] [--uplink-ca-file FILE] [--prefix P]\n"
    "                 [--journal-dir DIR] [--timeout SECONDS]";
const char kHelp[] =
    "Publishes the recording as a site on an MQTT broker (URL mqtt[s]://USER@HOST[:PORT]/SITE),\n"
    "      through hubmonitor's uplink: numbered events journaled, each kept until the broker\n"
    "      confirms it. --site names the site when the URL does not; --sites N plays it as N\n"
    "      sites NAME-001... (each connecting as the URL's user, or as its own name when the\n"
    "      URL's user is NAME). --rate R plays at R times the recorded pace (default 1; 0 or\n"
    "      \"max\": as fast as possible). --now stamps events with the time they are published\n"
    "      (load tests, demonstrations) instead of the recorded time. The password comes from\n"
    "      the file or from HUB_UPLINK_PASSWORD. Journals go to DIR (default: hubdat's data\n"
    "      folder), as SITE.outbox, so numbering continues from one run to the next. Exits 0\n"
    "      once every event is confirmed; 1 when the broker refuses the site, a journal\n"
    "      fails or the time-out (default none) passes first.";

struct Record {
    std::uint8_t type = 0;
    double time = 0;
    std::uint8_t kind = 0;
    QByteArray payload; // settings block or state record
};

int usage(const QString& why) {
    std::fprintf(stderr, "hubdat publish: %s\nUsage: hubdat %s\n", qPrintable(why), kSynopsis);
    return kUsage;
}

bool readRecords(const QString& path, std::vector<Record>& out, QString* error) {
    hub::RecordFile f;
    if (!f.open(path, error)) return false;
    for (;;) {
        Record r;
        if (!f.readHeader(r.type, r.time)) break;
        if (r.type == hub::kRecordStartEnd) {
        } else if (r.type == hub::kRecordSettings) {
            std::uint8_t block[hub::kTcBlockSize];
            int n = 0;
            if (!f.readSettings(r.kind, block, n)) break;
            r.payload = QByteArray(reinterpret_cast<const char*>(block), n);
        } else if (r.type == hub::kRecordState) {
            hub::StateRecord s;
            if (!f.readState(s)) break;
            r.payload = QByteArray(reinterpret_cast<const char*>(s.data()), 12);
        } else {
            break; // the readers stop at an unknown type too
        }
        out.push_back(std::move(r));
    }
    return true;
}

// One site playing the records at its pace.
struct Player {
    std::unique_ptr<hub::SiteUplink> uplink;
    QString site;
    std::size_t next = 0;
    bool inAcquisition = false;
    bool drained = false;
    QString lastDetail; // the connection's last word before the stop
    QTimer timer;
};

int run(const QStringList& args) {
    QString path, site;
    hub::UplinkSettings set;
    int sites = 0;
    double rate = 1;
    bool now = false;
    int timeoutS = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) return false;
            out = args.at(++i);
            return true;
        };
        QString v;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::printf("Usage: hubdat %s\n\n      %s\n", kSynopsis, kHelp);
            return kOk;
        } else if (a == QLatin1String("--uplink")) {
            if (!value(set.url)) return usage(a + " needs a value");
        } else if (a == QLatin1String("--uplink-password-file")) {
            if (!value(set.passwordFile)) return usage(a + " needs a value");
        } else if (a == QLatin1String("--uplink-ca-file")) {
            if (!value(set.caFile)) return usage(a + " needs a value");
        } else if (a == QLatin1String("--prefix")) {
            if (!value(set.prefix)) return usage(a + " needs a value");
        } else if (a == QLatin1String("--journal-dir")) {
            if (!value(set.journalDir)) return usage(a + " needs a value");
        } else if (a == QLatin1String("--site")) {
            if (!value(site)) return usage(a + " needs a value");
        } else if (a == QLatin1String("--sites")) {
            bool ok = false;
            if (!value(v) || (sites = v.toInt(&ok), !ok) || sites < 1 || sites > 999)
                return usage("--sites needs a number from 1 to 999");
        } else if (a == QLatin1String("--rate")) {
            bool ok = false;
            if (!value(v)) return usage(a + " needs a value");
            rate = v == QLatin1String("max") ? 0 : v.toDouble(&ok);
            if (v != QLatin1String("max") && (!ok || !std::isfinite(rate) || rate < 0))
                return usage("--rate needs a number of 0 or more, or max");
        } else if (a == QLatin1String("--timeout")) {
            bool ok = false;
            if (!value(v) || (timeoutS = v.toInt(&ok), !ok) || timeoutS < 0)
                return usage("--timeout needs a number of seconds");
        } else if (a == QLatin1String("--now")) {
            now = true;
        } else if (a.startsWith(QLatin1Char('-')) || !path.isEmpty()) {
            return usage(QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) return usage("no file given");
    if (set.url.isEmpty()) return usage("--uplink URL is required");
    QString error;
    auto url = hub::MqttUrl::parse(set.url, &error);
    if (!url) return usage(error);
    if (!site.isEmpty()) {
        if (!hub::isValidSiteName(site)) return usage(QStringLiteral("bad site name '%1'").arg(site));
        url->site = site;
    }
    if (url->site.isEmpty()) return usage("no site: give it in the URL (/SITE) or with --site");
    if (sites > 0 && url->site.size() > 60) return usage("the site name is too long for --sites");
    const auto password = hub::readUplinkPassword(set.passwordFile, &error);
    if (!password) {
        std::fprintf(stderr, "hubdat publish: %s\n", qPrintable(error));
        return kUsage;
    }

    std::vector<Record> records;
    if (!readRecords(path, records, &error)) {
        std::fprintf(stderr, "hubdat publish: %s: %s\n", qPrintable(path), qPrintable(error));
        return kFileError;
    }

    QString journalDir = set.journalDir;
    if (journalDir.isEmpty())
        journalDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/outbox");
    if (!QDir().mkpath(journalDir)) {
        std::fprintf(stderr, "hubdat publish: cannot create the journal folder %s\n", qPrintable(journalDir));
        return kFileError;
    }

    // A few network threads carry every site: hundreds of threads would cost
    // more than the sites themselves.
    const int count = std::max(1, sites);
    std::vector<std::unique_ptr<QThread>> threads;
    const int nThreads = std::clamp(count / 50, 1, 4);
    for (int t = 0; t < nThreads; ++t) {
        threads.push_back(std::make_unique<QThread>());
        threads.back()->setObjectName(QStringLiteral("uplink%1").arg(t));
        threads.back()->start();
    }

    int exitCode = -1;
    int drainedCount = 0;
    const QString program = QStringLiteral("hubdat publish");
    std::vector<std::unique_ptr<Player>> players;
    for (int k = 0; k < count; ++k) {
        auto p = std::make_unique<Player>();
        hub::UplinkConfig c;
        c.url = *url;
        if (sites > 0) {
            c.url.site = url->site + QStringLiteral("-%1").arg(k + 1, 3, 10, QLatin1Char('0'));
            if (url->user == url->site) c.url.user = c.url.site;
        }
        c.password = *password;
        c.caFile = set.caFile;
        if (!set.prefix.isEmpty()) c.prefix = set.prefix;
        c.program = program;
        c = hub::withJournalIn(c, journalDir);
        p->site = c.url.site;
        p->uplink = std::make_unique<hub::SiteUplink>(c, threads[size_t(k % nThreads)].get());
        if (!p->uplink->start(&error)) {
            std::fprintf(stderr, "hubdat publish: %s: %s\n", qPrintable(p->site), qPrintable(error));
            return kFileError;
        }
        if (!p->uplink->journalNote().isEmpty())
            std::fprintf(stderr, "hubdat publish: %s\n", qPrintable(p->uplink->journalNote()));
        Player* raw = p.get();
        QObject::connect(p->uplink.get(), &hub::SiteUplink::statusChanged, [raw, &exitCode](const hub::UplinkStatus& s) {
            if (s.connection != hub::UplinkStatus::Connection::Off) raw->lastDetail = s.detail;
            static QString lastJournalError;
            if (!s.journalError.isEmpty() && s.journalError != lastJournalError) {
                std::fprintf(stderr, "hubdat publish: %s: %s\n", qPrintable(raw->site), qPrintable(s.journalError));
                exitCode = kFileError;
                QCoreApplication::exit(kFileError);
            }
            lastJournalError = s.journalError;
            // The broker dropping an event (its ACL) ends the run like a refused
            // connection: the events wait in the journal.
            if (!s.refusal.isEmpty() && exitCode < 0) {
                std::fprintf(stderr, "hubdat publish: %s: %s\n", qPrintable(raw->site), qPrintable(s.refusal));
                exitCode = kFileError;
                QCoreApplication::exit(kFileError);
            }
            if (s.connection == hub::UplinkStatus::Connection::Refused && exitCode < 0) {
                std::fprintf(stderr, "hubdat publish: %s: %s\n", qPrintable(raw->site), qPrintable(s.detail));
                exitCode = kFileError;
                QCoreApplication::exit(kFileError);
            }
        });
        QObject::connect(p->uplink.get(), &hub::SiteUplink::drained, [raw, &drainedCount, count](std::uint64_t) {
            if (raw->drained) return;
            raw->drained = true;
            if (++drainedCount == count) QCoreApplication::exit(kOk);
        });
        players.push_back(std::move(p));
    }

    // Each site plays the records; a site's start is spread over the first
    // second so that N sites do not all speak at the same instant.
    QElapsedTimer clock;
    clock.start();
    const double t0 = records.empty() ? 0 : records.front().time;
    const QString port = QFileInfo(path).fileName();
    for (int k = 0; k < count; ++k) {
        Player* p = players[size_t(k)].get();
        const qint64 offsetMs = (rate > 0 && count > 1) ? qint64(k) * 1000 / count : 0;
        p->timer.setSingleShot(true);
        QObject::connect(&p->timer, &QTimer::timeout, [p, &records, &clock, rate, t0, offsetMs, now, port] {
            const qint64 elapsed = clock.elapsed();
            while (p->next < records.size()) {
                const Record& r = records[p->next];
                const qint64 due = rate > 0 ? offsetMs + qint64(std::llround((r.time - t0) * 86400000.0 / rate)) : 0;
                if (due > elapsed) {
                    p->timer.start(int(std::min<qint64>(due - elapsed, 1 << 30)));
                    return;
                }
                ++p->next;
                QDateTime t = now ? QDateTime::currentDateTimeUtc() : hub::fromTDateTime(r.time);
                if (!t.isValid()) t = QDateTime::currentDateTimeUtc();
                switch (r.type) {
                case hub::kRecordStartEnd:
                    if (!p->inAcquisition) {
                        p->uplink->postAcquisitionStarted(port, t);
                        p->uplink->postLink(hub::LinkState::Receiving, port, QString(), t);
                    } else {
                        p->uplink->postAcquisitionEnded(t);
                    }
                    p->inAcquisition = !p->inAcquisition;
                    break;
                case hub::kRecordSettings: p->uplink->postSettings(r.kind, r.payload, t); break;
                case hub::kRecordState: {
                    hub::StateRecord s;
                    std::memcpy(s.data(), r.payload.constData(), s.size());
                    p->uplink->postState(s, t);
                    break;
                }
                }
            }
            p->uplink->postDrain();
        });
        p->timer.start(0);
    }
    bool timedOut = false;
    if (timeoutS > 0)
        QTimer::singleShot(timeoutS * 1000, [&exitCode, &timedOut] {
            if (exitCode < 0) {
                timedOut = true;
                exitCode = kFileError;
                QCoreApplication::exit(kFileError);
            }
        });

    const int rc = QCoreApplication::exec();
    for (auto& p : players) {
        p->timer.stop();
        p->uplink->stop();
    }
    QCoreApplication::sendPostedEvents(); // the uplinks' last status reports
    std::uint64_t unconfirmed = 0, events = 0;
    for (auto& p : players) {
        unconfirmed += p->uplink->status().unconfirmed;
        events += p->uplink->status().lastSeq;
    }
    for (auto& t : threads) {
        t->quit();
        t->wait();
    }
    if (rc == kOk) {
        std::printf("hubdat publish: %d site%s, every event confirmed (last seq %llu%s)\n", count,
                    count == 1 ? "" : "s", static_cast<unsigned long long>(events), count == 1 ? "" : " summed");
        return kOk;
    }
    if (timedOut) {
        std::fprintf(stderr, "hubdat publish: time-out: %d of %d sites confirmed everything\n", drainedCount, count);
        for (auto& p : players)
            if (!p->drained) {
                std::fprintf(stderr, "hubdat publish: %s: %s\n", qPrintable(p->site), qPrintable(p->lastDetail));
                break;
            }
    }
    if (unconfirmed > 0)
        std::fprintf(stderr, "hubdat publish: %llu events not confirmed; they stay in the journals in %s\n",
                     static_cast<unsigned long long>(unconfirmed), qPrintable(journalDir));
    return rc;
}

const Register reg({"publish", kSynopsis, kHelp, run});

} // namespace
} // namespace hubdat
