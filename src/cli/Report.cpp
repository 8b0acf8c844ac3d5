#include "cli/Report.h"

namespace zd {

PreparedCommand PrepareReport(const CommandArguments&) {
    return [](HeadlessSession& session) { return Json{{"devices", ReadReportDevices(session)}}; };
}

std::optional<std::string> ReportFileOf(const std::string& command,
                                        const CommandArguments& arguments) {
    if (command == "report") return arguments.words.at(0);
    return arguments.Value("--report");
}

PreparedCommand FollowedByReport(PreparedCommand command, const CommandArguments& arguments) {
    return [command = std::move(command),
            report = PrepareReport(arguments)](HeadlessSession& session) {
        Json document = command(session);
        const Json read = report(session);
        document["devices"] = read.at("devices");
        return document;
    };
}

ReportFormat ReportFormatOf(const std::string& file, const CommandArguments& arguments) {
    const auto format = arguments.Value("--format");
    const auto chosen =
        format && !format->empty() ? ReportFormatNamed(*format) : ReportFormatOfFile(file);
    if (!chosen) throw UsageError("the report " + file + " needs --format html, pdf or csv");
    return *chosen;
}

}  // namespace zd
