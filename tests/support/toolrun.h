#pragma once
// Runs the hubdat program built beside the test programs and keeps what it
// said and how it ended.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace testtool {

struct ToolRun {
    int code = -1; // -1: did not finish in time; -2: crashed
    QByteArray out, err;
};

// hubdat is built in the same tree as the test programs.
inline QString hubdatPath() {
    return QCoreApplication::applicationDirPath() + "/../tools/hubdat/hubdat";
}

inline ToolRun hubdat(const QStringList& args,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(hubdatPath(), args);
    ToolRun r;
    if (!p.waitForFinished(60000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace testtool
