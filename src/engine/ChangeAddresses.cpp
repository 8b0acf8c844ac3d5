#include "engine/ChangeAddresses.h"

#include <algorithm>
#include <array>

#include "engine/internal/AddressingDrive.h"
#include "engine/internal/ChangeAddresses.h"
#include "engine/internal/StepRunner.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

bool IsShortAddress(std::int32_t n) {
    return n >= 0 && n <= kMaxShortAddress;
}

}  // namespace

void ChangeAddressesRun::Status(const std::string& text) {
    if (m_view.showStatus) m_view.showStatus(text);
}

ChangeAddrEnd ChangeAddressesRun::RunStep(bool bStart, bool bStop, bool& bFinished) {
    bFinished = false;
    const Context& context = m_line.GetContext();
    const MessageCatalogue& msg = context.messages;
    if (bStart) m_state = ChangeAddrStep::Start;
    if (bStop) m_state = ChangeAddrStep::Stop;
    try {
        switch (m_state) {
            case ChangeAddrStep::Idle:
                break;
            case ChangeAddrStep::Start:
                if (PlanHasDouble()) {
                    bFinished = true;
                    m_state = ChangeAddrStep::Idle;
                    break;
                }
                Status(msg.Load(5106) + "...");
                m_planned = MovesLeft();
                m_state = ChangeAddrStep::Delete;
                break;
            case ChangeAddrStep::Delete:
                DeleteMasked();
                Status(msg.Load(5108) + "...");
                m_state = ChangeAddrStep::FindFree;
                break;
            case ChangeAddrStep::FindFree:
                m_freeAddress = FindFree();
                if (m_freeAddress >= 0) {
                    Status(msg.Load(5109) + "...");
                    m_state = ChangeAddrStep::Move;
                } else {
                    m_line.Tell(
                        {EngineFailure::Incomplete, {msg::kNoFreeAddress}, NoticeWeight::Warning});
                    m_state = ChangeAddrStep::Idle;
                    return ChangeAddrEnd::NoFreeAddress;
                }
                break;
            case ChangeAddrStep::Move:
                if (MoveOne(m_freeAddress)) {
                    m_state = ChangeAddrStep::FindFree;
                } else {
                    if (m_view.movesMade) m_view.movesMade();
                    m_state = ChangeAddrStep::End;
                }
                break;
            case ChangeAddrStep::End:
                m_state = ChangeAddrStep::Idle;
                return ChangeAddrEnd::Done;
            case ChangeAddrStep::Stop:
                // Moves already made stay on the line and in the device list.
                m_state = ChangeAddrStep::Idle;
                break;
            default:
                Status(msg.Load(5112));
                m_state = ChangeAddrStep::Idle;
                return ChangeAddrEnd::Unknown;
        }
    } catch (...) {
        ReportCurrentException(context, "ChangeAddresses");
        bFinished = true;
    }
    return ChangeAddrEnd::None;
}

void ChangeAddressesRun::ChangeAddr(std::int16_t nFrom, std::int16_t nTo) {
    Guard(m_line.GetContext(), "ChangeAddr", [&] {
        const std::uint8_t nData = nTo == kDaliMask ? kDaliMask : AddressByte(nTo);
        m_line.Send(kCmdDataTransferRegister, nData, AddressKind::Broadcast, 0);
        m_line.Send(kCmdStoreDtrAsShortAddress, 0, AddressKind::Short, nFrom);
    });
}

// Exchanges the gear at nA and nB through the free address, so that no two gear ever answer to
// one address; with nobody at nB this is a plain move from nA to nB.
void ChangeAddressesRun::SwapAddressViaFree(std::int16_t nA, std::int16_t nB, std::int16_t nFree) {
    ChangeAddr(nA, nFree);
    ChangeAddr(nB, nA);
    ChangeAddr(nFree, nB);
}

// A plan that gives two devices one address would leave two gear answering to it: refused before
// anything is sent. Any number of devices may be planned for deletion.
bool ChangeAddressesRun::PlanHasDouble() {
    std::array<int, kMaxShortAddress + 1> counters{};
    const ModuleState& state = m_line.Terminal().state;
    if (!state.devices) return false;
    for (const auto& [key, device] : state.devices->Items()) {
        const std::int16_t planned = device->m_nNewShortAddress;
        if (!IsShortAddress(planned)) continue;
        if (++counters[static_cast<std::size_t>(planned)] > 1) {
            m_line.Tell({EngineFailure::Refused,
                         {msg::kDoubleAddress, {}, {std::to_string(planned)}},
                         NoticeWeight::Warning});
            return true;
        }
    }
    return false;
}

void ChangeAddressesRun::DeleteMasked() {
    ModuleState& state = m_line.Terminal().state;
    if (!state.devices) return;
    std::vector<std::int16_t> deleted;
    for (const auto& [key, device] : state.devices->Items()) {
        if (device->m_nNewShortAddress == kDaliMask && IsShortAddress(device->m_nShortAddress))
            deleted.push_back(device->m_nShortAddress);
    }
    for (std::int16_t nShortAddress : deleted) {
        ChangeAddr(nShortAddress, kDaliMask);
        state.devices->Remove(nShortAddress);
    }
}

// The highest address that no gear answers and no device is planned for, or -1. Only the
// queries are logged: the run's log would otherwise fill with 64 timeouts per move.
std::int16_t ChangeAddressesRun::FindFree() {
    const ModuleState& state = m_line.Terminal().state;
    for (std::int16_t a = kMaxShortAddress; a >= 0; --a) {
        m_line.Send(kCmdQueryBallast, 0, AddressKind::Short, a);
        std::uint8_t nAnswer = 0;
        if (m_line.Receive(nAnswer, false) != Result::Timeout) continue;
        bool bPlanned = false;
        if (state.devices) {
            for (const auto& [key, device] : state.devices->Items())
                bPlanned = bPlanned || device->m_nNewShortAddress == a;
        }
        if (!bPlanned) return a;
    }
    return -1;
}

int ChangeAddressesRun::MovesLeft() const {
    const ModuleState& state = m_line.Terminal().state;
    if (!state.devices) return 0;
    int left = 0;
    for (const auto& [key, device] : state.devices->Items()) {
        left += device->m_nNewShortAddress != device->m_nShortAddress &&
                IsShortAddress(device->m_nShortAddress) &&
                IsShortAddress(device->m_nNewShortAddress);
    }
    return left;
}

// Moves the first device that is not yet at its planned address, exchanging it with whatever
// gear sits there; returns whether there was one to move.
bool ChangeAddressesRun::MoveOne(std::int16_t nFree) {
    ModuleState& state = m_line.Terminal().state;
    if (!state.devices) return false;
    std::shared_ptr<clsDevice> moving;
    for (const auto& [key, device] : state.devices->Items()) {
        if (device->m_nNewShortAddress != device->m_nShortAddress &&
            IsShortAddress(device->m_nShortAddress) && IsShortAddress(device->m_nNewShortAddress)) {
            moving = device;
            break;
        }
    }
    if (!moving) return false;

    const std::int16_t from = moving->m_nShortAddress;
    const std::int16_t to = moving->m_nNewShortAddress;
    SwapAddressViaFree(from, to, nFree);
    IgnoreErrors([&] {
        if (clsDevice* occupant = state.devices->Item(to)) occupant->m_nShortAddress = from;
    });
    moving->m_nShortAddress = to;

    // File every record under its address again. The conflict mark does not survive: the gear
    // that answers at an address is no longer the one that was marked.
    std::vector<clsDevice> records;
    for (const auto& [key, device] : state.devices->Items()) {
        clsDevice copy = *device;
        copy.m_bDALIConflict = false;
        records.push_back(copy);
    }
    m_line.EmptyDeviceList();
    for (const clsDevice& record : records) state.devices->Add(record);
    return true;
}

std::optional<std::int16_t> ApplyChangePlan(ModuleState& state,
                                            const std::vector<std::pair<int, int>>& plan) {
    for (const auto& [from, to] : plan) {
        clsDevice* device = state.devices ? state.devices->Item(from) : nullptr;
        if (!device) return static_cast<std::int16_t>(from);
        device->m_nNewShortAddress = static_cast<std::int16_t>(to);
    }
    return std::nullopt;
}

// The run as the window's Start button and timer drive it (the same steps, waits, log lines and
// boxes), without the window.
ChangeAddressesReport RunChangeAddresses(AddressingLine& line, bool log, const std::string& logPath,
                                         const ProgressFn& progress,
                                         const std::function<bool()>& cancelled) {
    ChangeAddressesReport report;
    EngineTerminal& terminal = line.Terminal();
    const Context& context = terminal.context;
    const MessageCatalogue& msg = context.messages;
    Link& link = terminal.link;
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    ChangeAddressesRun run(line);
    std::string status;
    const std::int64_t startMs = context.scheduler.Now();
    run.SetView({[&](const std::string& text) { status = text; }, {}});
    const auto tell = [&] {
        if (!progress) return;
        // A move can put another device where it belongs too, or displace one: never backwards.
        ProgressState now;
        now.detail = status;
        now.total = run.Planned();
        now.done = std::clamp(run.Planned() - run.MovesLeft(), 0, run.Planned());
        if (run.Planned() > 0)
            now.fraction =
                std::clamp(1.0 - run.MovesLeft() / static_cast<double>(run.Planned()), 0.0, 1.0);
        now.elapsedMs = context.scheduler.Now() - startMs;
        progress(now);
    };

    status = msg.Load(5107) + "...";
    ChangeAddrEnd end = ChangeAddrEnd::None;
    bool bFinished = false;
    AddressingDrive drive;
    drive.logWords = "change addresses";
    drive.log = log;
    drive.logPath = logPath;
    drive.intervalMs = kChangeAddrIntervalMs;
    drive.step = [&](bool bStart, bool bStop, bool& finished) {
        const ChangeAddrEnd stepEnd = run.RunStep(bStart, bStop, finished);
        if (!bStop) end = stepEnd;
        if (finished) bFinished = true;
    };
    drive.stepped = tell;
    drive.cancelled = cancelled;
    // The run ended itself: the log closes with its end line unless the step was not known, and
    // a plan carried out whole says so.
    drive.endedItself = [&] { return end != ChangeAddrEnd::None; };
    drive.selfEnd = [&] {
        line.CloseLog(end == ChangeAddrEnd::Unknown ? "" : " end change addresses");
        if (end == ChangeAddrEnd::Done)
            line.Tell(
                {EngineFailure::None, {msg::kAllAddressesChanged}, NoticeWeight::Information});
    };
    const AddressingDriveEnd driven = DriveAddressingRun(line, drive);
    const bool cancel = driven.cancelled;
    const Language language = msg.GetLanguage();
    if (driven.finishedAtStart)
        report.outcome.Fail(
            EngineFailure::Refused,
            EngineMessage{0, "the plan gives two devices one address: nothing was changed"},
            language);
    if (driven.timedOut)
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the address change did not end in time"}, language);

    if (link.CommunicationLost()) {
        report.outcome.Fail(
            EngineFailure::CommunicationLost,
            EngineMessage{0, "the connection to the terminal was lost during the address change"},
            language);
    } else if (cancel) {
        report.outcome.Fail(EngineFailure::Cancelled,
                            EngineMessage{0, "the address change was cancelled"}, language);
    } else if (end == ChangeAddrEnd::NoFreeAddress) {
        report.outcome.Fail(EngineFailure::Incomplete, {msg::kNoFreeAddress}, language);
    } else if (end == ChangeAddrEnd::Unknown || (bFinished && end == ChangeAddrEnd::None)) {
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the address change ended with an error"}, language);
    }
    report.done = end == ChangeAddrEnd::Done;
    report.outcome.notices = line.Told();
    return report;
}

}  // namespace zd
