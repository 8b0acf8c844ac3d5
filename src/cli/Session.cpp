#include "cli/Session.h"

#include <csignal>

#include <algorithm>
#include <chrono>

#include "cli/FrameLog.h"
#include "connection/OpenTerminal.h"
#include "link/Commands.h"
#include "maintenance/EmergencyReadout.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Interrupt.h"
#include "platform/RealScheduler.h"
#include "platform/Utf8.h"
#include "platform/VirtualScheduler.h"

namespace zd {

namespace {

// Fades run on after a command; the line is saved once its lamps have settled. The longest fade
// takes 90.5 s.
constexpr std::int64_t kSettleLimitMs = 100'000;

// The description in an error box's text ("Error: PROCEDURE: DESCRIPTION", then its source and
// number on lines of their own); another text as it is.
std::string ErrorDescriptionOf(const std::string& boxText) {
    const std::string prefix = "Error: ";
    const std::size_t procedureEnd = boxText.find(": ", prefix.size());
    const std::size_t source = boxText.rfind("\nSource: ");
    if (boxText.rfind(prefix, 0) != 0 || procedureEnd == std::string::npos ||
        source == std::string::npos || source < procedureEnd)
        return boxText;
    return boxText.substr(procedureEnd + 2, source - procedureEnd - 2);
}

}  // namespace

std::optional<std::string> LastNoticeText(const EngineOutcome& outcome, Language language) {
    if (outcome.notices.empty()) return std::nullopt;
    return ForConsole(MessageText(outcome.notices.back().message, language));
}

const char* StopName(int signal) {
    return signal == kCancelRequested ? "cancelled" : InterruptName(signal);
}

int StopExitCode(int signal) {
    return InterruptExitCode(signal == kCancelRequested ? SIGINT : signal);
}

HeadlessSession::HeadlessSession(const SessionOptions& options, std::FILE* console)
    : m_options(options), m_console(console), m_dialogs(console), m_messages(options.language) {
    // The store the window uses, so that the device list and the logging switches carry over
    // from run to run and between the window and the command line.
    const ConnectionTarget& connection = options.connection;
    m_registry = connection.registryFile.empty()
                     ? std::make_unique<IniRegistry>()
                     : std::make_unique<IniRegistry>(connection.registryFile);
    // A store that cannot be read is left as it is, and the run does not begin without its
    // device list.
    if (const auto& error = m_registry->LoadError())
        throw ControlError(*error + "; the store was left as it was", kLibraryTitle,
                           kErrPathFileAccess);
    // Virtual time on the simulated line, real time on a wire.
    if (!connection.OverModbus() && !options.realTimeSimulation)
        m_scheduler = std::make_unique<VirtualScheduler>();
    else
        m_scheduler = std::make_unique<RealScheduler>();

    OpenedTerminal opened = OpenTerminal(connection, *m_scheduler, [&](const std::string& note) {
        if (connection.lineFileGiven)
            std::fprintf(console, "zd4270: %s\n", HostMessage(options.language, note).c_str());
    });
    m_station = std::move(opened.station);
    m_terminal = opened.terminal;
    m_lineFile = std::move(opened.line);
    m_devCom = std::move(opened.devCom);
    m_simulated = std::move(opened.simulated);
    if (m_simulated && options.prepareSimulatedLine) options.prepareSimulatedLine(*m_simulated);
    // From the first frame on: the refresh's own frames belong to the run as well.
    if (m_simulated && !options.frameLogFile.empty()) m_simulated->Terminal().SetFrameLog(true);

    const Context context{*m_scheduler, m_dialogs, m_messages};
    // A person watching a long run sees how far it has come; a script reading stderr does not
    // want the redrawn line.
    m_progress = std::make_unique<ProgressLine>(console, *m_scheduler,
                                                !options.quiet && IsTerminal(console));
    m_dialogs.SetBeforePrint([this] { m_progress->End(); });
    m_connection = std::make_unique<TerminalConnection>(context, *m_registry, m_state);
    // The engine's notices are printed as they arise, as the window shows its boxes, and the
    // command's document keeps them among its messages.
    m_connection->Line().Terminal().tell = [this](const EngineNotice& notice) {
        m_dialogs.MessageBox(NoticeBox(notice, m_messages));
    };
    m_connection->SetLogFilePrefix(options.logFilePrefix);
}

void HeadlessSession::Open() {
    // A terminal that cannot be reached ends the run with what went wrong, said once; the box
    // with its procedure, source and number stays in the document's messages.
    m_dialogs.SetHoldErrors(true);
    m_connection->Open(m_terminal, m_devCom, StationUserData(m_terminal));
    m_dialogs.SetHoldErrors(false);
    if (m_state.devices)
        for (const auto& [key, device] : m_state.devices->Items())
            m_storedAtOpen.push_back(*device);
    if (const auto error = ErrorSince(0)) throw ControlError(ErrorDescriptionOf(*error));
    m_startMs = m_scheduler->Now();
    if (Interrupted()) throw CommandInterrupted{m_interrupted};
}

void HeadlessSession::BeginCommand() {
    m_finishing = false;
    m_interrupted = 0;
    m_interruptNote.reset();
    m_keepStoredList = false;
    m_given.clear();
    m_storedListWiped = false;
    m_storedAtOpen.clear();
    if (m_state.devices)
        for (const auto& [key, device] : m_state.devices->Items())
            m_storedAtOpen.push_back(*device);
    m_messages.SetLanguage(m_options.language);
    m_dialogs.ForgetShown();
    m_dialogs.SetAssumeYes(false);
    m_dialogs.SetFilePath(std::nullopt);
    m_observedWhat.clear();
    m_endMs.reset();
    m_frameLogSaved = false;
    m_failuresAtBegin = m_connection->TerminalLink().CommunicationFailures();
    m_startMs = m_scheduler->Now();
}

HeadlessSession::~HeadlessSession() {
    // The terminal goes first, and the progress line no longer sees it while it is taken down.
    if (m_connection) m_connection->Close(!m_keepStoredList);
    m_connection.reset();
}

void HeadlessSession::NoteAddressesGiven(const std::vector<std::int16_t>& addresses,
                                         bool storedListWiped) {
    m_given.insert(m_given.end(), addresses.begin(), addresses.end());
    m_storedListWiped = m_storedListWiped || storedListWiped;
}

void HeadlessSession::KeepStoredListWithAddressesGiven() {
    auto devices = std::make_shared<colDevices>();
    if (!m_storedListWiped)
        for (const clsDevice& device : m_storedAtOpen) devices->Add(device);
    m_state.devices = devices;
    for (const std::int16_t address : m_given) Line().AddAddressedDevice(address);
}

bool HeadlessSession::CommunicationFailed() const {
    if (!m_connection) return false;
    const Link& link = m_connection->TerminalLink();
    return link.CommunicationFailures() > m_failuresAtBegin || link.UntrustedWords().has_value();
}

bool HeadlessSession::Untrusted() const {
    return m_connection && m_connection->TerminalLink().UntrustedWords().has_value();
}

std::string HeadlessSession::AddressingLogPath() const {
    return m_connection->LogFilePrefix() + kAddressingLogFile;
}

bool HeadlessSession::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    const bool reached = m_scheduler->RunUntil(
        [&] {
            // The clock loop looks between two timer callbacks, so the transaction under way is
            // complete. The engine's procedures ask StopRequested themselves; a plain wait ends.
            if (Interrupted()) return true;
            return done();
        },
        limitMs);
    m_progress->End();
    if (m_interrupted && !m_finishing) throw CommandInterrupted{m_interrupted};
    return reached;
}

bool HeadlessSession::Interrupted() {
    if (m_finishing || !m_connection) return false;
    if (m_interrupted) return true;
    m_interrupted = PendingInterruption();
    if (!m_interrupted) return false;
    m_progress->End();
    std::fprintf(
        m_console, "zd4270: %s\n",
        HostText(m_options.language, "%1: ending the run", {StopName(m_interrupted)}).c_str());
    return true;
}

void HeadlessSession::ShowProgress(const ProgressState& state) {
    m_progress->Update(state);
    if (m_options.progressObserver) {
        // A new procedure's time counts from its first report, as the progress line counts it.
        if (state.what != m_observedWhat) {
            m_observedWhat = state.what;
            m_observedBeginMs = m_scheduler->Now();
        }
        m_options.progressObserver(*this, state, m_scheduler->Now() - m_observedBeginMs);
    }
}

int HeadlessSession::PendingInterruption() const {
    if (const int signal = InterruptSignal()) return signal;
    if (m_options.cancelRequested && m_options.cancelRequested()) return kCancelRequested;
    return 0;
}

bool HeadlessSession::StopRequested(const std::string& what) {
    if (m_finishing) return false;
    if (m_options.betweenSteps) {
        // The hook may run a whole job on this session, which brings its own hooks: this one's
        // come back after it.
        const auto betweenSteps = m_options.betweenSteps;
        betweenSteps();
    }
    if (m_interrupted) return true;
    m_interrupted = PendingInterruption();
    if (!m_interrupted) return false;
    m_progress->End();
    std::fprintf(
        m_console, "zd4270: %s\n",
        HostText(m_options.language, "%1: cancelling %2", {StopName(m_interrupted), what}).c_str());
    return true;
}

bool HeadlessSession::StopRequestedLeavingRunning(const std::string& what) {
    if (m_finishing) return false;
    if (m_interrupted) return true;
    m_interrupted = PendingInterruption();
    if (!m_interrupted) return false;
    m_progress->End();
    m_interruptNote = HostText(m_options.language,
                               "%1 goes on in the terminal, which does not let the control stop "
                               "it; scan once it has finished",
                               {what});
    std::fprintf(m_console, "zd4270: %s: %s\n", StopName(m_interrupted), m_interruptNote->c_str());
    return true;
}

void HeadlessSession::EndProgress() {
    m_progress->End();
}

void HeadlessSession::EndEngineRun() {
    m_progress->End();
    if (m_interrupted && !m_finishing) throw CommandInterrupted{m_interrupted};
}

std::int64_t HeadlessSession::LineTimeMs() const {
    return m_endMs.value_or(m_scheduler->Now()) - m_startMs;
}

Json HeadlessSession::Messages() const {
    Json messages = Json::array();
    for (const MessageBoxRequest& box : m_dialogs.Shown()) {
        messages.push_back(
            {{"icon", IconWord(box.icon)}, {"title", box.title}, {"text", ForConsole(box.text)}});
    }
    return messages;
}

void HeadlessSession::Finish() {
    EndJob(true);
}

void HeadlessSession::EndCommand() {
    EndJob(false);
}

void HeadlessSession::EndJob(bool close) {
    // What follows (saving, letting fades settle for the line file) is no part of the command.
    m_finishing = true;
    m_endMs = m_scheduler->Now();
    m_progress->End();
    if (close) {
        m_connection->Close(!m_keepStoredList);
    } else if (!m_keepStoredList) {
        m_connection->SaveDeviceList();
    } else {
        // The store keeps its list; so does the session, for the jobs that follow.
        auto devices = std::make_shared<colDevices>();
        for (const clsDevice& device : m_storedAtOpen) devices->Add(device);
        m_state.devices = devices;
    }
    // The device list has just been written to the store; a store that cannot be written loses
    // it, which the user must hear of.
    if (!m_registry->Sync()) {
        throw ControlError("The store " + m_registry->FileName() +
                               " cannot be written: " + m_registry->LastError(),
                           kLibraryTitle, kErrPathFileAccess);
    }
    if (const auto& dropped = m_registry->DroppedNote())
        std::fprintf(m_console, "zd4270: %s\n",
                     PrintableText(HostMessage(m_options.language, *dropped)).c_str());
    // The frames up to the end of the run: the wait for fades to settle before the line is saved
    // is no part of it, so the log is the same with or without --save-line. The line file goes
    // first, so that a frame log that cannot be written does not cost the line.
    const bool frameLog = m_simulated && !m_options.frameLogFile.empty() && !m_frameLogSaved;
    const std::string frames = frameLog ? FrameLogText(m_simulated->Terminal().FrameLog()) : "";
    if (m_simulated && !m_options.saveLineFile.empty()) SaveLine(close);
    if (frameLog) WriteFrameLog(frames);
}

void HeadlessSession::SaveFrameLog() {
    if (!m_simulated || m_options.frameLogFile.empty() || m_frameLogSaved) return;
    WriteFrameLog(FrameLogText(m_simulated->Terminal().FrameLog()));
}

void HeadlessSession::WriteFrameLog(const std::string& text) {
    m_frameLogSaved = true;
    WriteFileAtomically(m_options.frameLogFile, text);
}

HeadlessSession::JobState HeadlessSession::SaveJob() const {
    return {m_options,       m_startMs,         m_endMs,           m_interrupted,
            m_interruptNote, m_finishing,       m_frameLogSaved,   m_keepStoredList,
            m_storedAtOpen,  m_given,           m_storedListWiped, m_failuresAtBegin,
            m_observedWhat,  m_observedBeginMs, m_dialogs.Shown(), m_dialogs.AssumeYes()};
}

void HeadlessSession::RestoreJob(const JobState& job) {
    m_options = job.options;
    m_startMs = job.startMs;
    m_endMs = job.endMs;
    m_interrupted = job.interrupted;
    m_interruptNote = job.interruptNote;
    m_finishing = job.finishing;
    m_frameLogSaved = job.frameLogSaved;
    m_keepStoredList = job.keepStoredList;
    m_storedAtOpen = job.storedAtOpen;
    m_given = job.given;
    m_storedListWiped = job.storedListWiped;
    m_failuresAtBegin = job.failuresAtBegin;
    m_observedWhat = job.observedWhat;
    m_observedBeginMs = job.observedBeginMs;
    m_dialogs.SetShown(job.shown);
    m_dialogs.SetAssumeYes(job.assumeYes);
    m_messages.SetLanguage(job.options.language);
}

void HeadlessSession::SaveLineTo(const std::string& path) {
    if (!m_simulated) return;
    sim::Terminal& terminal = m_simulated->Terminal();
    terminal.AdvanceToNow();
    WriteFileAtomically(path,
                        sim::WriteLineDescription(sim::CaptureLine(terminal, m_lineFile.terminal)));
}

void HeadlessSession::SaveLine(bool settle) {
    sim::Terminal& terminal = m_simulated->Terminal();
    terminal.AdvanceToNow();
    if (settle) {
        RunUntil(
            [&] {
                terminal.AdvanceToNow();
                const sim::Micros nowUs = m_scheduler->Now() * 1000;
                for (const auto& gear : terminal.GetLine().Gear())
                    if (gear->FadeRunningAt(nowUs)) return false;
                return true;
            },
            kSettleLimitMs);
    }
    const std::string text =
        sim::WriteLineDescription(sim::CaptureLine(terminal, m_lineFile.terminal));
    WriteFileAtomically(m_options.saveLineFile, text);
}

Json HeadlessSession::StartGearTest(const EmergencyTestRequest& request) {
    const Language language = m_options.language;
    if (std::any_of(m_gearTests.begin(), m_gearTests.end(), [&](const GearTest& test) {
            return test.run->Request().address == request.address;
        })) {
        throw CommandFailed(HostText(language, "a test runs at short address %1 already",
                                     {std::to_string(request.address)}));
    }
    GearTest test;
    test.run = std::make_unique<EmergencyTestRun>(Line().Terminal(), request);
    if (!test.run->Start()) {
        const EmergencyTestReport report = test.run->Finish(false);
        throw CommandFailed(HostMessage(language, report.outcome.text),
                            EmergencyTestResultJson(report));
    }
    test.nextPollMs = m_scheduler->Now() + test.run->PollMs();
    Json document = {{"address", request.address},
                     {"test", EmergencyTestKindName(request.kind)},
                     {"started", true},
                     {"pollMs", test.run->PollMs()},
                     {"limitMs", test.run->LimitMs()}};
    m_gearTests.push_back(std::move(test));
    return document;
}

bool HeadlessSession::StopGearTest(std::int16_t address) {
    const auto found = std::find_if(m_gearTests.begin(), m_gearTests.end(), [&](const auto& t) {
        return t.run->Request().address == address;
    });
    if (found == m_gearTests.end()) return false;
    GearTest test = std::move(*found);
    m_gearTests.erase(found);
    EndGearTest(test, true);
    return true;
}

void HeadlessSession::WatchGearTests() {
    for (std::size_t i = 0; i < m_gearTests.size();) {
        GearTest& test = m_gearTests[i];
        const std::int64_t now = m_scheduler->Now();
        if (now < test.nextPollMs) {
            ++i;
            continue;
        }
        const bool going = test.run->Poll() && test.run->ElapsedMs() < test.run->LimitMs();
        test.nextPollMs = m_scheduler->Now() + test.run->PollMs();
        if (going) {
            ++i;
            continue;
        }
        GearTest ended = std::move(test);
        m_gearTests.erase(m_gearTests.begin() + static_cast<std::ptrdiff_t>(i));
        EndGearTest(ended, false);
    }
}

void HeadlessSession::EndGearTest(GearTest& test, bool stopped) {
    const EmergencyTestReport report = test.run->Finish(stopped);
    Json document = EmergencyTestResultJson(report);
    document["command"] = "emergency test";
    if (report.result.done && m_registry) {
        RecordEmergencyTest(*m_registry, Line().Terminal().position, report,
                            DateTimeText(std::chrono::system_clock::now()));
        m_registry->Sync();
    }
    if (!report.outcome.Ok()) {
        document["error"] = report.outcome.failure == EngineFailure::Cancelled
                                ? HostText(m_options.language, "the test was stopped")
                                : HostMessage(m_options.language, report.outcome.text);
    }
    // As the command line: a test that ran and failed has an exit code of its own.
    document["exitCode"] = !report.outcome.Ok()           ? kExitFailed
                           : report.result.passed == true ? kExitDone
                                                          : kExitTestFailed;
    if (m_gearTestObserver) m_gearTestObserver(document);
}

std::optional<std::int64_t> HeadlessSession::NextGearPollMs() const {
    std::optional<std::int64_t> next;
    for (const GearTest& test : m_gearTests)
        if (!next || test.nextPollMs < *next) next = test.nextPollMs;
    return next;
}

Json HeadlessSession::GearTests() const {
    Json tests = Json::array();
    for (const GearTest& test : m_gearTests) {
        tests.push_back({{"address", test.run->Request().address},
                         {"test", EmergencyTestKindName(test.run->Request().kind)},
                         {"elapsedMs", test.run->ElapsedMs()},
                         {"limitMs", test.run->LimitMs()}});
    }
    return tests;
}

}  // namespace zd
