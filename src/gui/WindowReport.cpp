// The window's hand-over report: Connection > Export report... asks for the file and its format,
// and the report of this terminal is read and written as the command line's report command does
// it, with the progress in the status bar and the outcome in a box.
#include <QFileDialog>
#include <QStatusBar>
#include <exception>
#include <filesystem>

#include "frame/configZD4270.h"
#include "gui/MainWindow.h"
#include "gui/Texts.h"
#include "gui/WindowHost.h"
#include "gui/WindowRun.h"
#include "platform/Error.h"

namespace zd {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

bool WindowHost::ExportReport(const std::string& path, ReportFormat format) {
    if (!m_control || !Idle()) return false;
    const Language language = TextLanguage();
    QStatusBar* status = m_window->statusBar();
    m_reporting = true;
    // The user watches the reading; the surface waits until it is done.
    m_window->centralWidget()->setEnabled(false);
    bool written = false;
    try {
        WindowRun run(*m_control, m_boxes);
        Json devices = ReadReportDevices(run, [&](std::size_t done, std::size_t total) {
            status->showMessage(Tr(language, "report: reading device %1 of %2")
                                    .arg(static_cast<qulonglong>(done + 1))
                                    .arg(static_cast<qulonglong>(total)));
        });
        AddSiteNamesTo(devices);
        const std::int32_t position =
            m_control->Position() >= 0 ? m_control->Position() : m_current.PositionOrFirst();
        WriteReport(TerminalReport(m_station, m_current.stationFile, m_terminal, position, devices),
                    format, path, language);
        written = true;
    } catch (const ControlError& e) {
        Say(Tr(language, "The report could not be made: %1").arg(Q(e.Description())).toStdString(),
            MsgIcon::Critical);
    } catch (const std::exception& e) {
        Say(Tr(language, "The report could not be made: %1").arg(Q(e.what())).toStdString(),
            MsgIcon::Critical);
    }
    m_reporting = false;
    if (m_window) {
        m_window->centralWidget()->setEnabled(true);
        status->clearMessage();
        if (written) status->showMessage(Tr(language, "Report written to %1").arg(Q(path)), 10'000);
    }
    // The status bar's note passes unseen while the user looks for the file: a box says where it
    // went, with the whole path.
    if (written) {
        const std::string where = std::filesystem::absolute(path).lexically_normal().string();
        Say(HostText(language, "The report was written to %1.", {where}), MsgIcon::Information);
    }
    return written;
}

void WindowHost::ExportReportAs() {
    const Language language = TextLanguage();
    QFileDialog dialog(m_window.get(), Tr(language, "Export the report"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = {QStringLiteral("HTML (*.html)"), QStringLiteral("PDF (*.pdf)"),
                                 QStringLiteral("CSV (*.csv)")};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("html"));
    // A name typed without an extension takes the chosen filter's.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.section(QStringLiteral("*."), 1).chopped(1));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    std::string path = dialog.selectedFiles().constFirst().toStdString();
    // The name's own extension decides; a name with another one gets the filter's.
    auto format = ReportFormatOfFile(path);
    if (!format) {
        const std::string suffix =
            dialog.selectedNameFilter().section(QStringLiteral("*."), 1).chopped(1).toStdString();
        path += "." + suffix;
        format = ReportFormatNamed(suffix);
    }
    if (format) ExportReport(path, *format);
}

}  // namespace zd
