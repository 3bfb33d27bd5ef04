// hubdat-chart: the one hubdat command that draws. hubdat hands "chart" and its
// arguments over (see chart_launch.cpp); run alone it takes the same ones.
#include "chart_texts.h"
#include "command.h"
#include "output.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    using namespace hubdat;
    // The chart's texts need the font database, which only a GUI application
    // has; nothing is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.front() == QLatin1String("chart")) args.removeFirst();
    return finishStdout("hubdat chart", runChart(args));
}
