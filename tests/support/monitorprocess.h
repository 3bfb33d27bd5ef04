#pragma once
// hubmonitor run as a separate process, offscreen, in a given folder: for
// the tests that start it as a guard post does (--port, signals, stderr).
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <csignal>
#include <map>
#include <optional>
#include <sys/types.h>

namespace testsupport {

struct MonitorProcess {
    QProcess proc;
    QByteArray err;
    // env: variables to set (a value) or to remove (nullopt) for this run.
    MonitorProcess(const QString& folder, const QStringList& args,
                   const std::map<QString, std::optional<QString>>& env = {}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("QT_QPA_PLATFORM", "offscreen");
        for (const auto& [name, value] : env) {
            if (value) e.insert(name, *value);
            else e.remove(name);
        }
        proc.setProcessEnvironment(e);
        proc.setWorkingDirectory(folder);
        proc.start(qEnvironmentVariable("HUB_BUILD_DIR") + "/monitor/hubmonitor", args);
    }
    ~MonitorProcess() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
    // Whether stderr holds text within ms.
    bool said(const char* text, int ms) {
        QElapsedTimer t;
        t.start();
        while (!err.contains(text) && t.elapsed() < ms) {
            proc.waitForReadyRead(100);
            err += proc.readAllStandardError();
        }
        return err.contains(text);
    }
    void signal(int sig) { ::kill(static_cast<pid_t>(proc.processId()), sig); }
    // Ended by itself within ms, with this status.
    bool endsWith(int code, int ms) {
        const bool ended = proc.waitForFinished(ms);
        err += proc.readAllStandardError();
        return ended && proc.exitStatus() == QProcess::NormalExit && proc.exitCode() == code;
    }
};

} // namespace testsupport
