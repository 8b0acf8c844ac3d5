// The hand-over report: per terminal the devices found on its line, and per device its short and
// random address, device type, levels, groups and scene levels, as a customer signs it off: HTML
// or PDF (a title page, a section per terminal, tables with conflicts and silent devices marked)
// or CSV (one row per device).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "connection/ControlRun.h"
#include "documents/StationDocument.h"
#include "platform/Messages.h"

namespace zd {

enum class ReportFormat { Html, Pdf, Csv };

// Reads the devices of one terminal: a scan, then each device's variables, groups and scenes as
// the engine reads them (nothing that changes a device is sent). A device that does not answer
// stays in the list with what could not be read, and what it answered ("answer", "lampFailure").
// progress, where given, hears of each device before it is read (done of total). CommandFailed when
// the scan fails.
Json ReadReportDevices(
    ControlRun& run, const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The format a name says: "html" (or "htm"), "pdf" or "csv", as a format or as a file's
// extension; none for anything else.
std::optional<ReportFormat> ReportFormatNamed(const std::string& name);
// The format a file name's extension says, or none.
std::optional<ReportFormat> ReportFormatOfFile(const std::string& path);

// The report document of one terminal of a station, as RunStationCommand makes it for several:
// the station, the terminal's position, name and coupler, and its devices.
Json TerminalReport(const StationDocument& station, const std::string& stationFile,
                    const XmlNode& terminal, std::int32_t position, Json devices);

// Writes the report of a station document (as RunStationCommand makes it) to path, replacing the
// file only once it is complete. Throws ControlError.
// Its headings and words follow language.
void WriteReport(const Json& station, ReportFormat format, const std::string& path,
                 Language language = Language::English);

// The report as text, for the formats that are text.
std::string ReportHtml(const Json& station, Language language = Language::English);
std::string ReportCsv(const Json& station, Language language = Language::English);

}  // namespace zd
