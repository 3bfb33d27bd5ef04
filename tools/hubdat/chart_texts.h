#pragma once
// The chart command's texts, shared by hubdat (which lists the command and
// hands it on) and hubdat-chart (which runs it).
#include <QStringList>

namespace hubdat {

constexpr const char* kChartSynopsis =
    "chart FILE.dat --couple A|B|C|D --day YYYY-MM-DD [--hour H] [--image OUT.bmp|OUT.png]";
constexpr const char* kChartHelp =
    "Writes FILE.dat.DMo (the day chart's file) or, with --hour, FILE.dat.HMo\n"
    "      for the couple; with --image also the chart as the chart windows draw it.";

// The command itself, in hubdat-chart.
int runChart(const QStringList& args);

} // namespace hubdat
