#include "engine/DeviceScan.h"

#include <algorithm>
#include <string>

#include "engine/internal/DeviceScan.h"
#include "engine/internal/StepRunner.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// The address queried next of the 64.
ProgressState ProgressAt(std::int16_t address) {
    ProgressState progress;
    progress.address = address;
    progress.done = address;
    progress.total = 64;
    progress.fraction = address / 64.0;
    return progress;
}

}  // namespace

namespace {

constexpr std::int16_t kLastShortAddress = 63;

}  // namespace

void DeviceScan::Begin(const ScanOptions& options) {
    m_options = options;
    EngineTerminal& terminal = m_line.Terminal();
    terminal.state.devices = std::make_shared<colDevices>();
    m_line.ClearRecovered();
    if (options.quick) terminal.link.ResetQuickTiming();
    terminal.link.BeginProcedure();
    m_address = 0;
}

bool DeviceScan::QueryNext(bool& found) {
    found = false;
    Link& link = m_line.TerminalLink();
    std::int16_t nCommandId = kCmdQueryBallast;
    std::uint8_t nData = 0;
    AddressKind nAddrType = AddressKind::Short;
    std::int16_t nAddr = m_address;
    const Link::Pacing before = link.CurrentPacing();
    if (m_options.quick) link.SetPacing(Link::Pacing::Quick);
    m_line.Send(nCommandId, nData, nAddrType, nAddr, false);
    std::uint8_t answer = 0;
    Result received = link.ReceiveDALIData(answer, nullptr);
    // A gear that lost one answer, or answers every second question, is found on the second ask.
    if (received == Result::Timeout && m_options.askTwice) {
        m_line.Send(nCommandId, nData, nAddrType, nAddr, false);
        received = link.ReceiveDALIData(answer, nullptr);
        if (received != Result::Timeout) {
            m_line.NoteRecovery(
                "second-ask",
                "address " + std::to_string(m_address) + " answered only when asked again",
                m_address, -1);
        }
    }
    link.SetPacing(before);
    // The answer's value does not matter.
    if (received == Result::Done || received == Result::CorruptFrame) {
        clsDevice device;
        device.m_nShortAddress = m_address;
        device.m_nNewShortAddress = m_address;
        device.m_nRandomAddress = 0;
        device.m_bDALIConflict = received == Result::CorruptFrame;
        ModuleState& state = m_line.Terminal().state;
        if (!state.devices) state.devices = std::make_shared<colDevices>();
        state.devices->Add(device, std::to_string(m_address));
        found = true;
    }
    return ++m_address > kLastShortAddress;
}

void DeviceScan::End() {
    m_line.TerminalLink().EndProcedure();
}

std::vector<ScannedDevice> DeviceListOf(const ModuleState& state) {
    std::vector<ScannedDevice> devices;
    if (state.devices)
        for (const auto& [key, device] : state.devices->Items())
            devices.push_back({device->m_nShortAddress, device->m_bDALIConflict});
    std::sort(devices.begin(), devices.end(), [](const ScannedDevice& a, const ScannedDevice& b) {
        return a.shortAddress < b.shortAddress;
    });
    return devices;
}

ScanReport RunDeviceScan(AddressingLine& line, const ScanOptions& options,
                         const ProgressFn& progress, const std::function<bool()>& cancelled) {
    ScanReport report;
    EngineTerminal& terminal = line.Terminal();
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    const auto darken = [&] {
        std::int16_t command = kCmdRecallMinLevel;
        std::uint8_t data = 0;
        AddressKind kind = AddressKind::Broadcast;
        std::int16_t address = 0;
        terminal.link.SendDALICommand(command, data, kind, address, nullptr);
    };
    if (options.opticalFeedback) darken();
    DeviceScan scan(line);
    scan.Begin(options);
    bool cancel = false;
    bool failed = false;
    bool queried = false;
    const bool ended = RunSteps(
        terminal.context.scheduler, options.quick ? kQuickScanIntervalMs : kScanIntervalMs,
        [&] {
            // The scan ends a period after its last question, as the window's timer ends it.
            if (queried) return false;
            if (progress) progress(ProgressAt(scan.Address()));
            bool found = false;
            bool done = false;
            try {
                done = scan.QueryNext(found);
            } catch (...) {
                ReportCurrentException(terminal.context, "ScanDevices");
                failed = true;
                return false;
            }
            queried = done;
            // The connection is gone: querying the other addresses would only fail again.
            return !terminal.link.CommunicationLost();
        },
        [&] { return cancel = cancelled && cancelled(); });
    scan.End();
    const Language language = terminal.context.messages.GetLanguage();
    if (options.opticalFeedback && !terminal.link.CommunicationLost()) darken();
    if (terminal.link.CommunicationLost()) {
        report.outcome.Fail(EngineFailure::CommunicationLost,
                            EngineMessage{0,
                                          "the connection to the terminal was lost during "
                                          "the scan"},
                            language);
    } else if (failed) {
        report.outcome.Fail(EngineFailure::Error, EngineMessage{0, "the scan ended with an error"},
                            language);
    } else if (cancel) {
        report.outcome.Fail(EngineFailure::Cancelled, EngineMessage{0, "the scan was cancelled"},
                            language);
    } else if (!ended) {
        report.outcome.Fail(EngineFailure::Error, EngineMessage{0, "the scan did not end in time"},
                            language);
    }
    if (progress) progress(ProgressAt(64));
    report.devices = DeviceListOf(terminal.state);
    report.recovered = line.Recovered();
    return report;
}

}  // namespace zd
