// The hand-over report: per terminal the devices found on its line, and per device its short and
// random address, device type, levels, groups and scene levels, as a customer signs it off: HTML
// or PDF (a title page, a section per terminal, tables with conflicts and silent devices marked)
// or CSV (one row per device).
#pragma once

#include <optional>
#include <string>

#include "cli/HeadlessCommands.h"

namespace zd {

enum class ReportFormat { Html, Pdf, Csv };

// Reads the devices of one terminal: a scan, then each device's variables, groups and scenes
// through the pages the device tree opens. A device that does not answer stays in the list with
// what could not be read.
PreparedCommand PrepareReport(const CommandArguments& arguments);

// The report a command writes: the file of `report FILE`, or of `--report FILE` after a command
// that looks for devices (the devices are then read once that command has succeeded); none for
// any other command.
std::optional<std::string> ReportFileOf(const std::string& command,
                                        const CommandArguments& arguments);
// --format, or the report file's extension when it is not given. UsageError when neither says.
ReportFormat ReportFormatOf(const std::string& file, const CommandArguments& arguments);

// command, and after it, when it succeeded, the report's reading of every device it found.
PreparedCommand FollowedByReport(PreparedCommand command, const CommandArguments& arguments);

// Writes the report of a station document (as RunStationCommand makes it) to path, replacing the
// file only once it is complete. Throws ControlError.
void WriteReport(const Json& station, ReportFormat format, const std::string& path);

// The report as text, for the formats that are text.
std::string ReportHtml(const Json& station);
std::string ReportCsv(const Json& station);

}  // namespace zd
