// The colour temperature of type 8 gear in the hand-over report: read with the device, shown in
// a column of its own that appears only when the line has such gear.
#pragma once

#include <string>

#include "connection/ControlRun.h"
#include "platform/Messages.h"

namespace zd {

// Reads the colour part of the device at address into device["colour"] (kelvin, mirek and the
// limits); what could not be read goes to device["problems"].
void AddColourToReport(ControlRun& run, int address, Json& device);
// Whether any device of the station's report has a colour part.
bool ReportHasColour(const Json& station);
// "3000 K (2700 K to 6500 K)"; "-" for a device without a colour part.
std::string ReportColourText(const Json& device, Language language);

}  // namespace zd
