#pragma once
// Shared helpers of the recording tests: a display reset on the model, record
// builders and a whole-model comparison.
#include "monitor/datafile.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QString>
#include <array>
#include <string>
#include <vector>

namespace rectest {

// The model side of the display reset (AzzeraVideo without the window).
void resetModel(hub::MonitorModel& m, hub::HubState& hub, bool hide, bool compact);

// A model as the display reset and an SW block declaring every couple with
// eight beams leave it: all barriers visible, beams green, status at rest.
void allInstalled(hub::MonitorModel& m, hub::HubState& hub);

// Raw record bytes, to build good and broken files alike.
std::vector<std::uint8_t> startEnd(double t);
std::vector<std::uint8_t> settings(double t, std::uint8_t kind, const std::uint8_t* block);
std::vector<std::uint8_t> state(double t, const hub::StateRecord& s);
void writeFile(const QString& path, const std::vector<std::vector<std::uint8_t>>& records,
               size_t cutLast = 0);

// Empty when equal, else the differences found. ignoreHeads: the head brushes
// (the blink) are not compared.
std::string modelDifference(const hub::MonitorModel& a, const hub::MonitorModel& b,
                            bool ignoreHeads = false);

std::string hex(hub::Rgb c);

} // namespace rectest
