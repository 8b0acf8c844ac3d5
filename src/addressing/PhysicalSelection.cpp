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
#include <cstdint>
#include <utility>

#include "addressing/AddressingFrame.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

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

AddressingRun configZD4270::PhySelRun() {
    AddressingRun run;
    run.button = &cmdPhySelStart;
    run.timer = &timerPhySel;
    run.intervalMs = kPhySelIntervalMs;
    run.statusLabel = &lblPhySelStatus;
    run.running = &m_bPhySelRunning;
    run.enableOptions = [this](bool bEnable) { EnablePhySelOptions(bEnable); };
    run.startMessage = 5079;
    run.logWords = "physical addressing";
    run.step = [this](bool bStart, bool bStop, bool& bFinished) {
        AddressingPhysical(bStart, bStop, bFinished);
    };
    return run;
}

void configZD4270::cmdPhySelStart_Click() {
    Guard(m_context, "cmdPhySelStart_Click", [this] { AddressingStartClick(PhySelRun()); });
}

void configZD4270::timerPhySel_Timer() {
    Guard(m_context, "timerPhySel_Timer", [this] { AddressingTimerTick(PhySelRun()); });
}

void configZD4270::AddressingPhysical(bool bStart, bool bStop, bool& bFinished) {
    bFinished = false;
    AddressingState& st = m_addressingState;
    const MessageCatalogue& msg = m_context.messages;
    const AddressingMachine machine{"AddressingPhysical", &lblPhySelStatus, true, false};
    AddressingMachineStep(machine, st.nPhySelState, bStart, bStop, bFinished, [&] {
        switch (st.nPhySelState) {
            case PhySelStep::Start:
                m_phySelGiven.clear();
                PhySelPrepareLine();
                st.lPhySelInitialisedMs = m_context.scheduler.Now();
                st.nPhySelAddress = static_cast<std::int16_t>(cboPhySelStartAddress.ListIndex());
                st.nPhySelLampNo = 0;
                st.nPhySelState = PhySelStep::WaitForLamp;
                break;
            case PhySelStep::WaitForLamp:
                SendAddressingCommand(kCmdPhysicalSelection, 0, AddressKind::Broadcast, 0);
                SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
                ++st.nPhySelLampNo;
                st.nPhySelPollCount = 0;
                st.nPhySelOldAddress = -1;
                st.nPhySelRepeatAddress = -1;
                st.bPhySelTwoOut = false;
                lblPhySelStatus.SetCaption(msg.Load(5081) + "...");
                st.nPhySelState = PhySelStep::PollRemoved;
                break;
            case PhySelStep::PollRemoved: {
                if (m_context.scheduler.Now() - st.lPhySelInitialisedMs >= kPhySelRenewWindowMs) {
                    SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
                    SendAddressingCommand(kCmdPhysicalSelection, 0, AddressKind::Broadcast, 0);
                    st.lPhySelInitialisedMs = m_context.scheduler.Now();
                }
                // Only a ballast whose lamp is out answers while the line is in physical selection.
                SendAddressingCommand(kCmdQueryShortAddress, 0, AddressKind::Broadcast, 0);
                std::uint8_t nAnswer = 0;
                const Result result = ReceiveAddressingData(nAnswer, true);
                if (result == Result::Done) {
                    ++st.nPhySelPollCount;
                    st.nPhySelOldAddress = (nAnswer & 0x81) == 0x01 ? nAnswer >> 1 : -1;
                } else if (result == Result::Collision || result == Result::CorruptFrame) {
                    // Several selected gear answer at once: programming now would give them
                    // one address.
                    st.nPhySelPollCount = 0;
                    lblPhySelStatus.SetCaption(msg.Load(5152) + "...");
                    if (!std::exchange(st.bPhySelTwoOut, true))
                        NoteRecovery("two-lamps", "two lamps were out at once: asked for one", -1,
                                     -1);
                }
                if (st.nPhySelPollCount > kPhySelPollLimit) {
                    if (m_phySelGiven.count(st.nPhySelOldAddress) != 0) {
                        // The lamp of a gear addressed earlier in this run: it keeps that
                        // address, and its first record stays true.
                        st.nPhySelRepeatAddress = st.nPhySelOldAddress;
                        st.nPhySelPollCount = 0;
                        lblPhySelStatus.SetCaption(msg.Load(5154) + "...");
                        NoteRecovery("selected-again",
                                     "the gear at address " + std::to_string(st.nPhySelOldAddress) +
                                         " was selected again: it keeps its address",
                                     st.nPhySelOldAddress, -1);
                        st.nPhySelState = PhySelStep::PollReinserted;
                    } else {
                        lblPhySelStatus.SetCaption(msg.Load(5082) + "...");
                        st.nPhySelState = PhySelStep::FindFree;
                    }
                }
                break;
            }
            case PhySelStep::FindFree: {
                // Free only when it stays silent twice: a gear that missed an answer would
                // otherwise share the address.
                std::uint8_t nAnswer = 0;
                if (AddressingQueryTwice(kCmdQueryBallast, 0, AddressKind::Short, st.nPhySelAddress,
                                         nAnswer) != Result::Timeout) {
                    ++st.nPhySelAddress;
                    if (st.nPhySelAddress > kMaxShortAddress) {
                        ShowAddressLimitMessage();
                        bFinished = true;
                        st.nPhySelState = PhySelStep::Idle;
                    }
                } else {
                    st.nPhySelState = PhySelStep::Program;
                }
                break;
            }
            case PhySelStep::Program:
                // Only the physically selected ballast takes the address.
                SendAddressingCommand(kCmdProgramShortAddress, AddressByte(st.nPhySelAddress),
                                      AddressKind::Short, 0);
                st.nPhySelPollCount = 0;
                st.nPhySelState = PhySelStep::PollReinserted;
                break;
            case PhySelStep::PollReinserted: {
                // The lamp is back once its ballast stops reporting a lamp failure.
                const bool repeat = st.nPhySelRepeatAddress >= 0;
                const std::int16_t address = repeat ? st.nPhySelRepeatAddress : st.nPhySelAddress;
                SendAddressingCommand(kCmdQueryLampFailure, 0, AddressKind::Short, address);
                std::uint8_t nAnswer = 0;
                if (ReceiveAddressingData(nAnswer, true) != Result::Done) ++st.nPhySelPollCount;
                if (st.nPhySelPollCount <= kPhySelPollLimit) break;
                // A lamp that gets no row: the next one takes its number.
                if (repeat || !PhySelHolderIsOne(st.nPhySelAddress)) {
                    // A gear selected again is confirmed as a new one would be.
                    if (repeat) PhySelBlink(address);
                    --st.nPhySelLampNo;
                    SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
                    st.lPhySelInitialisedMs = m_context.scheduler.Now();
                    st.nPhySelState = PhySelStep::WaitForLamp;
                    break;
                }
                AddLampRow(lstPhySelView, st.nPhySelLampNo, st.nPhySelAddress);
                lblPhySelStatus.SetCaption(msg.Load(5083) + "...");
                st.nPhySelState = PhySelStep::Confirm;
                break;
            }
            case PhySelStep::Confirm:
                PhySelBlink(st.nPhySelAddress);
                // A ballast that had an address before is now at its new one: its old record
                // would stand for a ballast that is no longer there.
                if (st.nPhySelOldAddress >= 0 && st.nPhySelOldAddress != st.nPhySelAddress &&
                    m_state.devices)
                    m_state.devices->Remove(st.nPhySelOldAddress);
                AddAddressedDevice(st.nPhySelAddress, false);
                m_phySelGiven.insert(st.nPhySelAddress);
                ++st.nPhySelAddress;
                if (st.nPhySelAddress <= kMaxShortAddress) {
                    SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
                    st.lPhySelInitialisedMs = m_context.scheduler.Now();
                    st.nPhySelState = PhySelStep::WaitForLamp;
                } else {
                    SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
                    ShowAddressLimitMessage();
                    bFinished = true;
                    st.nPhySelState = PhySelStep::Idle;
                }
                break;
            default:
                return false;
        }
        return true;
    });
}

// Whether exactly one gear holds the address just programmed; when not, says so in the status
// and the notes, and gives the address back where several took it.
bool configZD4270::PhySelHolderIsOne(std::int16_t nShortAddress) {
    const MessageCatalogue& msg = m_context.messages;
    std::uint8_t nAnswer = 0;
    if (AddressingQueryTwice(kCmdQueryBallast, 0, AddressKind::Short, nShortAddress, nAnswer) ==
        Result::Timeout) {
        // The lamp was back before PROGRAM SHORT ADDRESS, which only a selected gear takes.
        lblPhySelStatus.SetCaption(msg.Load(5153) + "...");
        NoteRecovery("lamp-back-early",
                     "no gear took address " + std::to_string(nShortAddress) +
                         ": the lamp was back before it was programmed",
                     nShortAddress, -1);
        return false;
    }
    // Gear that are alike answer alike; new random addresses tell them apart.
    SendAddressingCommand(kCmdRandomise, 0, AddressKind::Broadcast, 0);
    m_context.scheduler.Sleep(kPhySelRandomiseSettleMs);
    for (const std::int16_t command :
         {kCmdQueryRandomAddressH, kCmdQueryRandomAddressM, kCmdQueryRandomAddressL}) {
        const Result result =
            AddressingQueryTwice(command, 0, AddressKind::Short, nShortAddress, nAnswer);
        if (result != Result::Collision && result != Result::CorruptFrame) continue;
        SendAddressingCommand(kCmdDataTransferRegister, kDaliMask, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdStoreDtrAsShortAddress, 0, AddressKind::Short, nShortAddress);
        lblPhySelStatus.SetCaption(msg.Load(5152) + "...");
        NoteRecovery("two-gear",
                     "two gear took address " + std::to_string(nShortAddress) +
                         ": address given back, one lamp at a time",
                     nShortAddress, -1);
        return false;
    }
    return true;
}

// Ends whatever the line was doing, darkens it and opens the initialisation window, clearing
// addresses, groups and scenes as the options ask.
void configZD4270::PhySelPrepareLine() {
    SendAddressingCommand(kCmdTerminate, 0, AddressKind::Broadcast, 0);
    SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
    if (chkPhySelCompleteNewInstallation.IsChecked()) {
        SendAddressingCommand(kCmdInitialise, 0, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdDataTransferRegister, kDaliMask, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdStoreDtrAsShortAddress, 0, AddressKind::Broadcast, 0);
        EmptyDeviceList();
    } else {
        SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    }
    if (chkPhySelDeleteAllGroupAssignments.IsChecked()) {
        for (std::uint8_t group = 0; group < 16; ++group)
            SendAddressingCommand(kCmdRemoveFromGroup, group, AddressKind::Broadcast, 0);
    }
    if (chkPhySelDeleteAllScenes.IsChecked()) {
        for (std::uint8_t scene = 0; scene < 16; ++scene)
            SendAddressingCommand(kCmdRemoveFromScene, scene, AddressKind::Broadcast, 0);
    }
}

// Three flashes of the freshly addressed lamp; it stays at its maximum until the line is darkened
// for the next lamp. The pauses hold the thread on purpose: nothing else may reach the line.
void configZD4270::PhySelBlink(std::int16_t nShortAddress) {
    for (int flash = 0; flash < 2; ++flash) {
        SendAddressingCommand(kCmdRecallMaxLevel, 0, AddressKind::Short, nShortAddress);
        m_context.scheduler.Sleep(kBlinkPauseMs);
        SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Short, nShortAddress);
        m_context.scheduler.Sleep(kBlinkPauseMs);
    }
    SendAddressingCommand(kCmdRecallMaxLevel, 0, AddressKind::Short, nShortAddress);
}

}  // namespace zd
