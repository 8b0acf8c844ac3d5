// The report command: the hand-over report of one or several terminals of a station, read by the
// control as report/HandoverReport reads it, in the format that --format or the file's extension
// names.
#pragma once

#include <optional>
#include <string>

#include "cli/HeadlessCommands.h"
#include "report/HandoverReport.h"

namespace zd {

// Reads the devices of one terminal, as ReadReportDevices does.
PreparedCommand PrepareReport(const CommandArguments& arguments);

// The report a command writes: the file of `report FILE`, or of `--report FILE` after a command
// that looks for devices (the devices are then read once that command has ended, also when it
// failed); none for any other command.
std::optional<std::string> ReportFileOf(const std::string& command,
                                        const CommandArguments& arguments);
// --format, or the report file's extension when it is not given. UsageError when neither says.
ReportFormat ReportFormatOf(const std::string& file, const CommandArguments& arguments);

// command, and after it the report's reading of every device it found; a failed command keeps its
// failure, with the devices read into it.
PreparedCommand FollowedByReport(PreparedCommand command, const CommandArguments& arguments);

}  // namespace zd
