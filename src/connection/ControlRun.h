// One terminal's line as a front end hosts it for the engine's procedures: the command line's
// headless run or the window. The readings both share (the device scan, a device's readout, the
// hand-over report, backup and restore) need only this much of their host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/AddressingLine.h"
#include "engine/Progress.h"
#include "platform/Dialogs.h"
#include "platform/HostTexts.h"
#include "platform/RegistryAccess.h"

namespace zd {

using Json = nlohmann::ordered_json;

// The longest a procedure may take, on the clock of the run: a whole line of 64 gear addressed by
// the control takes well under half an hour.
inline constexpr std::int64_t kProcedureLimitMs = 2 * 60 * 60 * 1000;

// The exit codes of a command: done; failed (the command, the line or a file); refused, nothing
// sent; a test that ran to its result and failed.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitRefused = 2;
inline constexpr int kExitTestFailed = 3;

// A command that ran but did not achieve what it was asked: what it found goes with the error.
class CommandFailed : public std::runtime_error {
  public:
    explicit CommandFailed(const std::string& reason, Json details = Json::object())
        : std::runtime_error(reason), m_details(std::move(details)) {}
    explicit CommandFailed(const char* reason, Json details = Json::object())
        : CommandFailed(std::string(reason), std::move(details)) {}
    // A wording of the host's texts with its arguments, put into the reader's language by Text.
    CommandFailed(const HostWording& wording, Json details = Json::object())
        : std::runtime_error(wording.In(Language::English)),
          m_details(std::move(details)),
          m_wording(wording) {}
    // The same failure with the details of the step that met it.
    CommandFailed(const CommandFailed& failure, Json details) : CommandFailed(failure) {
        m_details = std::move(details);
    }
    const Json& Details() const { return m_details; }
    std::string Text(Language language) const {
        return m_wording ? m_wording->In(language) : HostMessage(language, what());
    }
    // kExitFailed, or kExitTestFailed for a test whose result is a failure.
    int ExitCode() const { return m_exitCode; }
    CommandFailed& ExitingWith(int exitCode) {
        m_exitCode = exitCode;
        return *this;
    }

  private:
    Json m_details;
    std::optional<HostWording> m_wording;
    int m_exitCode = kExitFailed;
};

class ControlRun {
  public:
    virtual ~ControlRun() = default;

    // The line the engine's procedures run on.
    virtual AddressingLine& Line() = 0;
    ModuleState& State() { return Line().Terminal().state; }
    const Context& GetContext() { return Line().GetContext(); }
    // The terminal still runs a random addressing of its own that it began before this run
    // opened it: the line is busy until it ends.
    virtual bool TerminalStillAddressing() = 0;
    // The device list is about to be replaced (views that point into it let go) and has been
    // (views show the new one).
    virtual void DeviceListReplacing() {}
    virtual void DeviceListReplaced() {}
    // Lets the run's clock pass until done() holds; false when limitMs passed first.
    virtual bool RunUntil(const std::function<bool()>& done,
                          std::int64_t limitMs = kProcedureLimitMs) = 0;
    // An engine procedure run by this host: what it shows as it goes, whether the host asks it to
    // stop (asked between two steps), and its end, after which a host that was asked to stop by
    // a signal ends the command (the command line throws CommandInterrupted).
    virtual void ShowProgress(const ProgressState&) {}
    virtual bool StopRequested(const std::string& /*what*/) { return false; }
    // Asks the user the question before a procedure changes what the user must agree to (the
    // restore's plan); true on Yes. The window asks in a box, the command line answers from its
    // options.
    virtual bool Confirm(const MessageBoxRequest& question) = 0;
    virtual void EndEngineRun() {}
    // The store this run keeps its records in (the emergency test log), or null.
    virtual RegistryAccess* Store() { return nullptr; }
    // The engine's procedures return their failures typed; the errors of the control's error
    // convention (a transaction that failed, a procedure that threw) are reported as boxes, which
    // are counted so that a reading can ask for the errors reported since it began.
    std::size_t BoxCount() const { return ShownBoxes().size(); }
    // The text of the first error box shown since mark, if any.
    std::optional<std::string> ErrorSince(std::size_t mark) const;
    // A procedure's failure as this run tells it: the last notice the procedure told, else the
    // first error reported since mark, else the outcome's own text.
    std::string FailureText(const EngineOutcome& outcome, std::size_t mark);

  protected:
    // Every box the control has shown in this run, oldest first.
    virtual const std::vector<MessageBoxRequest>& ShownBoxes() const = 0;
    // A box's text as this run tells it.
    virtual std::string BoxText(const std::string& text) const { return text; }
};

}  // namespace zd
