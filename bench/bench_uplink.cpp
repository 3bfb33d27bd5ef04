// The uplink under load: one private broker on this machine, hubdat publish
// playing SITES sites (default 200) that each send one event a second for
// SECONDS (default 20) to one subscriber. Prints the end-to-end latency (the
// event's time stamp, taken when the site hands it to its uplink, to its
// arrival at the subscriber), the events lost and duplicated, and the CPU of
// the publishing process, in all and per site.
//   build/default/bench/bench_uplink [SITES] [SECONDS]
#include "broker.h"
#include "subscriber.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void put(QByteArray& b, std::uint8_t type, double t) {
    b.append(char(type));
    b.append(reinterpret_cast<const char*>(&t), 8);
}

// A start, SW settings, then one record a second flipping beam 1 of barrier 1
// (one event a record), and the end.
void writeRecording(const QString& path, int seconds) {
    QByteArray b;
    const double t0 = 46000.5, s = 1.0 / 86400;
    put(b, 100, t0);
    put(b, 1, t0);
    b.append(char(0x40));
    b.append(QByteArray::fromHex("FFFFFFFF55AA03125A"));
    for (int i = 0; i < seconds; ++i) {
        put(b, 2, t0 + (i + 1) * s);
        QByteArray rec(12, '\0');
        rec[0] = char((i % 2 == 0) ? 0x01 : 0x00);
        b.append(rec);
    }
    put(b, 100, t0 + (seconds + 1) * s);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(b);
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int sites = argc > 1 ? std::atoi(argv[1]) : 200;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const QString hubdat = QCoreApplication::applicationDirPath() + "/../tools/hubdat/hubdat";

    testsupport::PrivateBroker broker;
    if (!broker.ok()) {
        std::fprintf(stderr, "broker: %s\n", broker.error().c_str());
        return 1;
    }
    testsupport::Subscriber room(broker.port(), {"hub/+/event"});
    if (!room.waitSubscribed()) {
        std::fprintf(stderr, "the subscriber did not subscribe\n");
        return 1;
    }
    QTemporaryDir dir;
    writeRecording(dir.filePath("load.dat"), seconds);

    const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/Load";
    const std::vector<std::string> args{hubdat.toStdString(), "publish", dir.filePath("load.dat").toStdString(),
                                        "--uplink", url, "--sites", std::to_string(sites), "--rate", "1", "--now",
                                        "--journal-dir", dir.filePath("journals").toStdString()};
    std::vector<char*> av;
    for (const auto& a : args) av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(av[0], av.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::size_t want = std::size_t(sites) * std::size_t(seconds);
    room.waitFor([&](const auto& g) { return g.size() >= want; }, std::chrono::seconds(10));

    std::map<std::string, std::set<long long>> seqs;
    std::vector<double> latency;
    std::size_t duplicates = 0;
    for (const auto& m : room.received()) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
        const long long seq = o.value("seq").toInteger();
        if (!seqs[m.topic].insert(seq).second) ++duplicates;
        const QDateTime t = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
        const double sent = double(t.toMSecsSinceEpoch());
        const double got =
            double(std::chrono::duration_cast<std::chrono::microseconds>(m.wall.time_since_epoch()).count()) / 1000.0;
        latency.push_back(got - sent);
    }
    std::size_t missing = 0;
    for (int k = 1; k <= sites; ++k) {
        char topic[64];
        std::snprintf(topic, sizeof topic, "hub/Load-%03d/event", k);
        const auto& s = seqs[topic];
        for (long long q = 1; q <= seconds; ++q) missing += s.count(q) ? 0 : 1;
    }
    const double cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                       double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    std::printf("hubdat publish: %d sites x %d s, exit %d, wall %.1f s\n", sites, seconds,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall);
    std::printf("events: %zu expected, %zu received, %zu missing, %zu duplicates\n", want, latency.size(), missing,
                duplicates);
    std::printf("latency ms: median %.1f, p99 %.1f, max %.1f\n", percentile(latency, 0.5), percentile(latency, 0.99),
                percentile(latency, 1.0));
    std::printf("publishing CPU: %.2f s user+sys = %.1f %% of a core over the run, %.3f %% of a core per site\n", cpu,
                100 * cpu / wall, 100 * cpu / wall / sites);
    return missing == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
