// The report command: the hand-over report of one or several terminals of a station, read by the
// control as host/Report reads it, in the format that --format or the file's extension names.
#pragma once

#include "cli/HeadlessCommands.h"
#include "host/Report.h"

namespace zd {

// Reads the devices of one terminal, as ReadReportDevices does.
PreparedCommand PrepareReport(const CommandArguments& arguments);

// --format, or the file's extension when it is not given. UsageError when neither says.
ReportFormat ReportFormatOf(const CommandArguments& arguments);

}  // namespace zd
