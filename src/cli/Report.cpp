#include "cli/Report.h"

namespace zd {

PreparedCommand PrepareReport(const CommandArguments&) {
    return [](HeadlessSession& session) { return Json{{"devices", ReadReportDevices(session)}}; };
}

ReportFormat ReportFormatOf(const CommandArguments& arguments) {
    const auto format = arguments.Value("--format");
    const auto chosen = format && !format->empty() ? ReportFormatNamed(*format)
                                                   : ReportFormatOfFile(arguments.words.at(0));
    if (!chosen) throw UsageError("report takes --format html, pdf or csv");
    return *chosen;
}

}  // namespace zd
