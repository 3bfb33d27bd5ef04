// hubdat-chart: the one hubdat command that draws. hubdat hands "chart" and its
// arguments over (see chart_launch.cpp); run alone it takes the same ones.
#include "chart_texts.h"
#include "command.h"
#include "output.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <memory>

int main(int argc, char** argv) {
    using namespace hubdat;
    // The chart's texts need the font database, which only a GUI application
    // has; nothing is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The toolkit looks for the session's runtime folder at start-up and warns
    // where there is none (a cron job, a root shell): a private one, removed
    // at exit, is all a drawing needs.
    std::unique_ptr<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime = std::make_unique<QTemporaryDir>();
        if (runtime->isValid()) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.front() == QLatin1String("chart")) args.removeFirst();
    return finishStdout("hubdat chart", runChart(args));
}
