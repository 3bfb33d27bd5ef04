#pragma once
// Shared helpers of the recording tests: a display reset on the model and a
// whole-model comparison. Records are built with the shared builder.
#include "monitor/datafile.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"
#include "recording.h"

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

// The shared record builders, also under this namespace.
using testrec::settings;
using testrec::startEnd;
using testrec::state;
using testrec::writeFile;

// Empty when equal, else the differences found. ignoreHeads: the head brushes
// (the blink) are not compared.
std::string modelDifference(const hub::MonitorModel& a, const hub::MonitorModel& b,
                            bool ignoreHeads = false);

std::string hex(hub::Rgb c);

} // namespace rectest
