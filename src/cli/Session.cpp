#include "cli/Session.h"

#include "host/ModbusDevCom.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/RealScheduler.h"
#include "platform/VirtualScheduler.h"

namespace zd {

namespace {

// Fades run on after a command; the line is saved once its lamps have settled. The longest fade
// takes 90.5 s.
constexpr std::int64_t kSettleLimitMs = 100'000;

}  // namespace

HeadlessSession::HeadlessSession(const SessionOptions& options, std::FILE* console)
    : m_options(options), m_dialogs(console), m_messages(options.language) {
    if (options.modbus.empty()) {
        auto scheduler = std::make_unique<VirtualScheduler>();
        VirtualScheduler* clock = scheduler.get();
        m_runUntil = [clock](const std::function<bool()>& done, std::int64_t limitMs) {
            return clock->RunUntil(done, limitMs);
        };
        m_scheduler = std::move(scheduler);
    } else {
        auto scheduler = std::make_unique<RealScheduler>();
        RealScheduler* clock = scheduler.get();
        m_runUntil = [clock](const std::function<bool()>& done, std::int64_t limitMs) {
            return clock->RunUntil(done, limitMs);
        };
        m_scheduler = std::move(scheduler);
    }

    m_station = StationDocument::Load(options.stationFile);
    m_terminal = options.position >= 0 ? m_station.ChooseTerminal(options.position)
                                       : m_station.ChooseTerminal();
    if (options.modbus.empty()) {
        m_line = sim::LoadLineFile(options.lineFile);
        if (auto note = LinePlacementNote(m_line, options.lineFile, m_terminal, options.stationFile))
            std::fprintf(console, "zd4270: %s\n", note->c_str());
        m_simulated = CreateSimulatedDevCom(*m_scheduler, m_terminal, m_line);
        if (options.prepareSimulatedLine) options.prepareSimulatedLine(*m_simulated);
        m_devCom = m_simulated;
    } else {
        m_devCom = std::make_shared<ModbusDevCom>(ParseModbusEndpoint(options.modbus));
    }

    const Context context{*m_scheduler, m_dialogs, m_messages};
    m_control = std::make_unique<configZD4270>(context, m_registry, m_state);
}

void HeadlessSession::Open() {
    m_control->RefreshData(m_terminal, m_devCom, StationUserData(m_terminal));
    if (const auto error = ErrorSince(0)) throw ControlError(ForConsole(*error));
}

HeadlessSession::~HeadlessSession() = default;

bool HeadlessSession::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    return m_runUntil(done, limitMs);
}

std::optional<std::string> HeadlessSession::ErrorSince(std::size_t mark) const {
    const auto& shown = m_dialogs.Shown();
    for (std::size_t i = mark; i < shown.size(); ++i)
        if (shown[i].icon == MsgIcon::Critical) return ForConsole(shown[i].text);
    return std::nullopt;
}

std::optional<std::string> HeadlessSession::LastBoxSince(std::size_t mark) const {
    const auto& shown = m_dialogs.Shown();
    if (shown.size() <= mark) return std::nullopt;
    return ForConsole(shown.back().text);
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
    m_control->Terminate();
    if (!m_simulated || m_options.saveLineFile.empty()) return;
    sim::Terminal& terminal = m_simulated->Terminal();
    RunUntil(
        [&] {
            terminal.AdvanceToNow();
            const sim::Micros nowUs = m_scheduler->Now() * 1000;
            for (const auto& gear : terminal.GetLine().Gear())
                if (gear->FadeRunningAt(nowUs)) return false;
            return true;
        },
        kSettleLimitMs);
    const std::string text = sim::WriteLineDescription(sim::CaptureLine(terminal, m_line.terminal));
    WriteFileAtomically(m_options.saveLineFile, text);
}

}  // namespace zd
