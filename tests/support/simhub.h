#pragma once
// The simulated hub as the real-time tests run it: hubsim on its own
// pseudo-terminal, reached through a link in the test's folder, logging what
// it sends; SIGTERM when the test is done with it.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

namespace testsupport {

struct SimHub {
    QProcess proc;
    QString link, log;
    SimHub(const QTemporaryDir& dir, QStringList args, const QString& logName = QStringLiteral("sim.log")) {
        log = dir.filePath(logName);
        args << "--link" << dir.filePath("hub") << "--log" << log;
        proc.start(qEnvironmentVariable("HUB_BUILD_DIR") + "/tools/hubsim/hubsim", args);
        if (proc.waitForReadyRead(5000)) link = QString::fromLocal8Bit(proc.readLine()).trimmed();
    }
    ~SimHub() {
        proc.terminate();
        proc.waitForFinished(3000);
    }
    SimHub(const SimHub&) = delete;
    SimHub& operator=(const SimHub&) = delete;

    // The device vanishes at once (the pty's other side closes).
    void vanish() {
        proc.kill();
        proc.waitForFinished(3000);
    }
    // Settings blocks ("S") and state records ("R"; "G" for a bad marker) sent, in order.
    std::vector<std::vector<std::uint8_t>> lines(char tag) const {
        std::vector<std::vector<std::uint8_t>> out;
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& l : f.readAll().split('\n')) {
            if (l.size() < 2 || l[0] != tag) continue;
            const QByteArray bytes = QByteArray::fromHex(l.mid(2));
            out.emplace_back(bytes.begin(), bytes.end());
        }
        return out;
    }
    int recordsSent() const { return static_cast<int>(lines('R').size()); }
};

} // namespace testsupport
