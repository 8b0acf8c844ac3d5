#include "platform/Error.h"

#include <exception>
#include <new>

#include "platform/Utf8.h"

namespace zd {

// Descriptions quote file names, file contents and device texts; they are made valid UTF-8 here
// once, so that every box, log line and JSON document that shows an error can take it.
ControlError::ControlError(std::string description, std::string source, std::int32_t number)
    : std::runtime_error(ValidUtf8(description)),
      m_description(ValidUtf8(description)),
      m_source(ValidUtf8(source)),
      m_number(number) {}

std::string FormatErrorText(std::string_view procedure, const ControlError& error) {
    std::string text = "Error: ";
    text += procedure;
    text += ": ";
    text += error.Description();
    text += "\r\nSource: ";
    text += error.Source();
    text += "\r\nNumber: ";
    text += std::to_string(error.Number());
    return text;
}

void ReportError(const Context& context, std::string_view procedure, const ControlError& error) {
    IgnoreErrors([&] {
        context.dialogs.MessageBox({FormatErrorText(procedure, error), MsgButtons::Ok,
                                    MsgIcon::Critical, context.messages.Load(5113)});
    });
}

void ReportCurrentException(const Context& context, std::string_view procedure) {
    try {
        throw;
    } catch (const ReportedError&) {
    } catch (const ControlError& e) {
        ReportError(context, procedure, e);
    } catch (const std::bad_alloc&) {
        ReportError(context, procedure, ControlError("Out of memory", kLibraryTitle, 7));
    } catch (const std::exception& e) {
        ReportError(context, procedure, ControlError(e.what(), kLibraryTitle, kErrAutomation));
    } catch (...) {
        ReportError(context, procedure,
                    ControlError("Unknown error", kLibraryTitle, kErrAutomation));
    }
}

}  // namespace zd
