// The control's one error type and its reporting: a guarded procedure catches at its boundary and
// shows "Error: <procedure>: <description>" with source and number in a critical box titled with
// message 5113. Procedures without a handler of their own let the error pass to their caller.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Context.h"

namespace zd {

// The title of the control library: error source and registry key name.
inline constexpr const char* kLibraryTitle = "OrvixVTermZD4270";

// Error numbers the control raises itself (the classic run-time error numbers).
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrTypeMismatch = 13;
inline constexpr std::int32_t kErrFileNotFound = 53;
inline constexpr std::int32_t kErrPathFileAccess = 75;
inline constexpr std::int32_t kErrObjectRequired = 424;
inline constexpr std::int32_t kErrAutomation = 440;
inline constexpr std::int32_t kErrXmlParse = 30000;
inline constexpr std::int32_t kErrDevCom = 30001;

class ControlError : public std::runtime_error {
  public:
    ControlError(std::string description, std::string source = kLibraryTitle,
                 std::int32_t number = kErrAutomation);

    const std::string& Description() const { return m_description; }
    const std::string& Source() const { return m_source; }
    std::int32_t Number() const { return m_number; }

  private:
    std::string m_description;
    std::string m_source;
    std::int32_t m_number;
};

// An error the user has been shown already (the first failure of a lost connection): handlers end
// their procedure on it without a box of their own.
class ReportedError : public ControlError {
  public:
    using ControlError::ControlError;
};

// "Error: " + procedure + ": " + description + CR LF + "Source: " + source + CR LF + "Number: " + n
std::string FormatErrorText(std::string_view procedure, const ControlError& error);

// Shows the error box. Never throws: a failing dialog is ignored.
void ReportError(const Context& context, std::string_view procedure, const ControlError& error);

// Reports the exception in flight (call from a catch block); any exception type is accepted.
void ReportCurrentException(const Context& context, std::string_view procedure);

// Runs body; on any exception reports it under procedure and returns 1. body returns the status.
template <class Body>
std::int16_t GuardStatus(const Context& context, std::string_view procedure, Body&& body) {
    try {
        return static_cast<std::int16_t>(body());
    } catch (...) {
        ReportCurrentException(context, procedure);
        return 1;
    }
}

// Runs body; on any exception reports it under procedure. For handlers that return nothing.
template <class Body>
void Guard(const Context& context, std::string_view procedure, Body&& body) {
    try {
        body();
    } catch (...) {
        ReportCurrentException(context, procedure);
    }
}

// Runs body and swallows any error: for statements that run "with errors ignored".
template <class Body>
void IgnoreErrors(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace zd
