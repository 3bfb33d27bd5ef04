// hubdat chart draws with QtGui, which takes milliseconds to load; the other
// commands do without it. hubdat lists the command and hands it to the
// hubdat-chart program, built beside it and installed in libexec.
#include "chart_texts.h"
#include "command.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace hubdat {
namespace {

QString helperPath() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& p : {dir + QStringLiteral("/hubdat-chart"),
                             dir + QStringLiteral("/" HUBDAT_LIBEXEC_REL "/hubdat-chart")}) {
        if (QFileInfo(p).isExecutable()) return QFileInfo(p).absoluteFilePath();
    }
    return {};
}

int launch(const QStringList& args) {
    const QString helper = helperPath();
    if (helper.isEmpty()) {
        std::fprintf(stderr, "hubdat chart: hubdat-chart is missing beside %s and in its libexec folder\n",
                     QCoreApplication::applicationDirPath().toLocal8Bit().constData());
        return kFileError;
    }
    std::vector<QByteArray> owned{helper.toLocal8Bit(), QByteArrayLiteral("chart")};
    for (const QString& a : args) owned.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    execv(argv[0], argv.data());
    std::fprintf(stderr, "hubdat chart: cannot run %s: %s\n", argv[0], std::strerror(errno));
    return kFileError;
}

const Register reg{{"chart", kChartSynopsis, kChartHelp, launch}};

} // namespace
} // namespace hubdat
