// Physical selection: ballasts get their short addresses in the order in which the user takes
// their lamps out and puts them back, each confirmed by three flashes of its lamp.
//
// Users put lamps back too early, take the same lamp out twice, or two at once. The steps stay as
// they are; the checks around them keep the list true to the line:
//  - a lamp is recorded only when a gear holds its address after programming (QUERY CONTROL
//    GEAR there, asked twice before silence counts), and only one gear: the gear in the
//    initialisation state draw new random addresses, and QUERY RANDOM ADDRESS H, M and L at the
//    address, which two gear cannot answer alike, must come back clean; a pair gives the address
//    back;
//  - a gear selected a second time keeps the address this run gave it;
//  - two lamps out at once (several answers to QUERY SHORT ADDRESS) are not counted, and the
//    status asks for one lamp at a time.
#include "engine/PhysicalSelection.h"

#include <cstdint>
#include <utility>

#include "engine/internal/AddressingDrive.h"
#include "engine/internal/PhysicalSelection.h"
#include "engine/internal/StepRunner.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// A waiting state moves on once it has counted more than this many poll results, so a single
// stray answer (or a single lost one) never decides.
constexpr std::int16_t kPhySelPollLimit = 4;
// Half a period of the confirmation blink.
constexpr std::int64_t kBlinkPauseMs = 200;
// The ballasts leave the initialisation state 15 minutes after INITIALISE, and with it physical
// selection; a user who takes longer to pull the next lamp would wait in vain. The window is
// renewed this long after it was opened, well inside the 15 minutes.
constexpr std::int64_t kPhySelRenewWindowMs = 5 * 60 * 1000;

// The standard gives a gear 100 ms after RANDOMISE before its new random address holds.
constexpr std::int64_t kPhySelRandomiseSettleMs = 100;

}  // namespace

void PhysicalSelectionRun::Status(const std::string& text) {
    if (m_view.showStatus) m_view.showStatus(text);
}

bool PhysicalSelectionRun::RunOwnStep(bool& bFinished) {
    const MessageCatalogue& msg = m_line.GetContext().messages;
    // The last step's command still collided after every try: another master keeps the line.
    if (m_line.CollisionsGoOn() && m_s.nPhySelState != PhySelStep::Start) {
        m_line.TellCollisions();
        bFinished = true;
        m_s.nPhySelState = PhySelStep::Idle;
        return true;
    }
    switch (m_s.nPhySelState) {
        case PhySelStep::Start:
            m_given.clear();
            PrepareLine();
            m_s.lPhySelInitialisedMs = m_line.GetContext().scheduler.Now();
            m_s.nPhySelAddress = m_options.startAddress;
            m_s.nPhySelLampNo = 0;
            m_s.nPhySelState = PhySelStep::WaitForLamp;
            break;
        case PhySelStep::WaitForLamp:
            m_line.Send(kCmdPhysicalSelection, 0, AddressKind::Broadcast, 0);
            m_line.Send(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
            ++m_s.nPhySelLampNo;
            m_s.nPhySelPollCount = 0;
            m_s.nPhySelOldAddress = -1;
            m_s.nPhySelRepeatAddress = -1;
            m_s.bPhySelTwoOut = false;
            Status(msg.Load(5081) + "...");
            m_s.nPhySelState = PhySelStep::PollRemoved;
            break;
        case PhySelStep::PollRemoved: {
            if (m_line.GetContext().scheduler.Now() - m_s.lPhySelInitialisedMs >=
                kPhySelRenewWindowMs) {
                m_line.Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
                m_line.Send(kCmdPhysicalSelection, 0, AddressKind::Broadcast, 0);
                m_s.lPhySelInitialisedMs = m_line.GetContext().scheduler.Now();
            }
            // Only a ballast whose lamp is out answers while the line is in physical selection.
            m_line.Send(kCmdQueryShortAddress, 0, AddressKind::Broadcast, 0);
            std::uint8_t nAnswer = 0;
            const Result result = m_line.Receive(nAnswer, true);
            if (result == Result::Done) {
                ++m_s.nPhySelPollCount;
                m_s.nPhySelOldAddress = (nAnswer & 0x81) == 0x01 ? nAnswer >> 1 : -1;
            } else if (result == Result::Collision || result == Result::CorruptFrame) {
                // Several selected gear answer at once: programming now would give them
                // one address.
                m_s.nPhySelPollCount = 0;
                Status(msg.Load(5152) + "...");
                if (!std::exchange(m_s.bPhySelTwoOut, true))
                    m_line.NoteRecovery("two-lamps", "two lamps were out at once: asked for one",
                                        -1, -1);
            }
            if (m_s.nPhySelPollCount > kPhySelPollLimit) {
                if (m_given.count(m_s.nPhySelOldAddress) != 0) {
                    // The lamp of a gear addressed earlier in this run: it keeps that
                    // address, and its first record stays true.
                    m_s.nPhySelRepeatAddress = m_s.nPhySelOldAddress;
                    m_s.nPhySelPollCount = 0;
                    Status(msg.Load(5154) + "...");
                    m_line.NoteRecovery("selected-again",
                                        "the gear at address " +
                                            std::to_string(m_s.nPhySelOldAddress) +
                                            " was selected again: it keeps its address",
                                        m_s.nPhySelOldAddress, -1);
                    m_s.nPhySelState = PhySelStep::PollReinserted;
                } else {
                    Status(msg.Load(5082) + "...");
                    m_s.nPhySelState = PhySelStep::FindFree;
                }
            }
            break;
        }
        case PhySelStep::FindFree: {
            // Free only when it stays silent twice: a gear that missed an answer would
            // otherwise share the address.
            std::uint8_t nAnswer = 0;
            if (m_line.QueryTwice(kCmdQueryBallast, 0, AddressKind::Short, m_s.nPhySelAddress,
                                  nAnswer) != Result::Timeout) {
                ++m_s.nPhySelAddress;
                if (m_s.nPhySelAddress > kMaxShortAddress) {
                    m_line.TellAddressLimit();
                    bFinished = true;
                    m_s.nPhySelState = PhySelStep::Idle;
                }
            } else {
                m_s.nPhySelState = PhySelStep::Program;
            }
            break;
        }
        case PhySelStep::Program:
            // Only the physically selected ballast takes the address.
            m_line.Send(kCmdProgramShortAddress, AddressByte(m_s.nPhySelAddress),
                        AddressKind::Short, 0);
            m_s.nPhySelPollCount = 0;
            m_s.nPhySelState = PhySelStep::PollReinserted;
            break;
        case PhySelStep::PollReinserted: {
            // The lamp is back once its ballast stops reporting a lamp failure.
            const bool repeat = m_s.nPhySelRepeatAddress >= 0;
            const std::int16_t address = repeat ? m_s.nPhySelRepeatAddress : m_s.nPhySelAddress;
            m_line.Send(kCmdQueryLampFailure, 0, AddressKind::Short, address);
            std::uint8_t nAnswer = 0;
            if (m_line.Receive(nAnswer, true) != Result::Done) ++m_s.nPhySelPollCount;
            if (m_s.nPhySelPollCount <= kPhySelPollLimit) break;
            // A lamp that gets no row: the next one takes its number.
            if (repeat || !HolderIsOne(m_s.nPhySelAddress)) {
                // A gear selected again is confirmed as a new one would be.
                if (repeat) Blink(address);
                --m_s.nPhySelLampNo;
                m_line.Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
                m_s.lPhySelInitialisedMs = m_line.GetContext().scheduler.Now();
                m_s.nPhySelState = PhySelStep::WaitForLamp;
                break;
            }
            if (m_view.showLamp) m_view.showLamp(m_s.nPhySelLampNo, m_s.nPhySelAddress);
            Status(msg.Load(5083) + "...");
            m_s.nPhySelState = PhySelStep::Confirm;
            break;
        }
        case PhySelStep::Confirm:
            Blink(m_s.nPhySelAddress);
            // A ballast that had an address before is now at its new one: its old record
            // would stand for a ballast that is no longer there.
            if (m_s.nPhySelOldAddress >= 0 && m_s.nPhySelOldAddress != m_s.nPhySelAddress &&
                m_line.Terminal().state.devices)
                m_line.Terminal().state.devices->Remove(m_s.nPhySelOldAddress);
            m_line.AddAddressedDevice(m_s.nPhySelAddress, false);
            m_given.insert(m_s.nPhySelAddress);
            ++m_s.nPhySelAddress;
            if (m_s.nPhySelAddress <= kMaxShortAddress) {
                m_line.Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
                m_s.lPhySelInitialisedMs = m_line.GetContext().scheduler.Now();
                m_s.nPhySelState = PhySelStep::WaitForLamp;
            } else {
                m_line.Send(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
                m_line.TellAddressLimit();
                bFinished = true;
                m_s.nPhySelState = PhySelStep::Idle;
            }
            break;
        default:
            return false;
    }
    return true;
}

// Whether exactly one gear holds the address just programmed; when not, says so in the status
// and the notes, and gives the address back where several took it.
bool PhysicalSelectionRun::HolderIsOne(std::int16_t nShortAddress) {
    const MessageCatalogue& msg = m_line.GetContext().messages;
    std::uint8_t nAnswer = 0;
    if (m_line.QueryTwice(kCmdQueryBallast, 0, AddressKind::Short, nShortAddress, nAnswer) ==
        Result::Timeout) {
        // The lamp was back before PROGRAM SHORT ADDRESS, which only a selected gear takes.
        Status(msg.Load(5153) + "...");
        m_line.NoteRecovery("lamp-back-early",
                            "no gear took address " + std::to_string(nShortAddress) +
                                ": the lamp was back before it was programmed",
                            nShortAddress, -1);
        return false;
    }
    // Gear that are alike answer alike; new random addresses tell them apart.
    m_line.Send(kCmdRandomise, 0, AddressKind::Broadcast, 0);
    m_line.GetContext().scheduler.Sleep(kPhySelRandomiseSettleMs);
    for (const std::int16_t command :
         {kCmdQueryRandomAddressH, kCmdQueryRandomAddressM, kCmdQueryRandomAddressL}) {
        const Result result =
            m_line.QueryTwice(command, 0, AddressKind::Short, nShortAddress, nAnswer);
        if (result != Result::Collision && result != Result::CorruptFrame) continue;
        m_line.Send(kCmdDataTransferRegister, kDaliMask, AddressKind::Broadcast, 0);
        m_line.Send(kCmdStoreDtrAsShortAddress, 0, AddressKind::Short, nShortAddress);
        Status(msg.Load(5152) + "...");
        m_line.NoteRecovery("two-gear",
                            "two gear took address " + std::to_string(nShortAddress) +
                                ": address given back, one lamp at a time",
                            nShortAddress, -1);
        return false;
    }
    return true;
}

// Ends whatever the line was doing, darkens it and opens the initialisation window, clearing
// addresses, groups and scenes as the options ask.
void PhysicalSelectionRun::PrepareLine() {
    m_line.PrepareAddressing(m_options.newInstallation, m_options.deleteGroups,
                             m_options.deleteScenes);
}

// Three flashes of the freshly addressed lamp; it stays at its maximum until the line is darkened
// for the next lamp. The pauses hold the thread on purpose: nothing else may reach the line.
void PhysicalSelectionRun::Blink(std::int16_t nShortAddress) {
    for (int flash = 0; flash < 2; ++flash) {
        m_line.Send(kCmdRecallMaxLevel, 0, AddressKind::Short, nShortAddress);
        m_line.GetContext().scheduler.Sleep(kBlinkPauseMs);
        m_line.Send(kCmdRecallMinLevel, 0, AddressKind::Short, nShortAddress);
        m_line.GetContext().scheduler.Sleep(kBlinkPauseMs);
    }
    m_line.Send(kCmdRecallMaxLevel, 0, AddressKind::Short, nShortAddress);
}

// The run as the window's Start button and timer drive it (the same steps, waits and log lines),
// without the window.
PhysicalSelectionReport RunPhysicalSelection(AddressingLine& line,
                                             const PhysicalSelectionOptions& options, bool log,
                                             const std::string& logPath, const ProgressFn& progress,
                                             const std::function<bool()>& stop) {
    PhysicalSelectionReport report;
    EngineTerminal& terminal = line.Terminal();
    const Context& context = terminal.context;
    const MessageCatalogue& msg = context.messages;
    Link& link = terminal.link;
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    PhysicalSelectionRun run(line);
    run.SetOptions(options);
    ProgressState now;
    const std::int64_t startMs = context.scheduler.Now();
    run.SetView({[&](const std::string& text) { now.detail = text; },
                 [&](std::int16_t lampNo, std::int16_t address) {
                     now.lamps.emplace_back(lampNo, address);
                     now.addressed = static_cast<int>(now.lamps.size());
                 }});
    bool failed = false;
    AddressingDrive drive;
    drive.logWords = "physical addressing";
    drive.log = log;
    drive.logPath = logPath;
    drive.intervalMs = kPhySelIntervalMs;
    drive.step = [&](bool bStart, bool bStop, bool& bFinished) {
        EngineMachineStep(
            context, run.MachineState(), bStart, bStop, bFinished, "AddressingPhysical",
            [&] { return run.RunOwnStep(bFinished); },
            [&] {
                now.detail.clear();
                line.Send(kCmdTerminate, 0, AddressKind::Broadcast, 0);
            },
            [&] { now.detail = msg.Load(5112); }, failed);
    };
    drive.stepped = [&] {
        now.elapsedMs = context.scheduler.Now() - startMs;
        if (progress) progress(now);
    };
    drive.cancelled = stop;
    now.detail = msg.Load(5079) + "...";
    const AddressingDriveEnd end = DriveAddressingRun(line, drive);
    if (end.timedOut)
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the physical selection did not end in time"},
                            msg.GetLanguage());

    report.lamps = now.lamps;
    report.recovered = line.Recovered();
    if (link.CommunicationLost()) {
        report.outcome.Fail(
            EngineFailure::CommunicationLost,
            EngineMessage{0,
                          "the connection to the terminal was lost during the physical selection"},
            msg.GetLanguage());
    } else if (failed) {
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the physical selection ended with an error"},
                            msg.GetLanguage());
    } else if (line.CollisionsGoOn()) {
        report.outcome.Fail(EngineFailure::Incomplete, {msg::kCollisionsGoOn}, msg.GetLanguage());
    }
    report.outcome.notices = line.Told();
    return report;
}

}  // namespace zd
