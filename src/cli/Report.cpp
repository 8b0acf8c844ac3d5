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
        Json document;
        try {
            document = command(session);
        } catch (const CommandFailed& failure) {
            // The devices a failed command leaves on the line (an addressing run that met two
            // gear on one address, say) are handed over all the same: unread, the report would
            // show each of them as "?" in every column, healthy ones too. The command's failure
            // stands. Without a connection, or outside DALI mode, there is nothing to read.
            Json details = failure.Details();
            if (!session.Line().TerminalLink().CommunicationLost() &&
                session.State().m_nOperationMode == kModeDali) {
                try {
                    details["devices"] = report(session).at("devices");
                } catch (const CommandFailed&) {
                    // The report's own scan failed: the devices the command found stay.
                }
            }
            throw CommandFailed(failure, details);
        }
        const Json read = report(session);
        document["devices"] = read.at("devices");
        return document;
    };
}

ReportFormat ReportFormatOf(const std::string& file, const CommandArguments& arguments) {
    const auto format = arguments.Value("--format");
    const auto chosen =
        format && !format->empty() ? ReportFormatNamed(*format) : ReportFormatOfFile(file);
    if (!chosen) throw UsageError("the report %1 needs --format html, pdf or csv", {file});
    return *chosen;
}

}  // namespace zd
