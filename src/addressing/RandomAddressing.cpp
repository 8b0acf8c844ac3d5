// Random addressing run by the control: the ballasts draw random addresses, a binary search with
// COMPARE finds the smallest one, which gets the next free short address, is verified, lit and
// withdrawn; then the search goes on above it.
//
// On a real line answers get lost, gear power up and down during the search, two gear draw one
// random address and some answer only every second question. The steps of the search stay as
// they are; where a check shows that a step would leave a duplicate address, a gear without one
// or a record no gear holds, the run gets over it and goes on, and notes what it did:
//  - an address is free only when QUERY CONTROL GEAR stayed silent twice;
//  - a search that closes on a gear given an address earlier in the run means that a gear turned
//    up below it: the search starts again from the bottom instead of programming that gear;
//  - after PROGRAM SHORT ADDRESS the address must be held by exactly the gear searched for:
//    VERIFY SHORT ADDRESS, then QUERY RANDOM ADDRESS H, M and L at the new address, which two
//    gear with different random addresses cannot answer alike;
//  - a verify that nobody answers twice (a lost COMPARE answer put the search where no gear is,
//    or the gear lost its mains) searches again for the gear still taking part;
//  - two gear on one address (one random address) give the address back and draw new random
//    addresses; a gear that fails again and again at the same random address is withdrawn and
//    left, so that every other gear is addressed, and the run ends with a box that says so;
//  - the COMPAREs that end the search (nobody takes part, nobody left) are asked twice.
//
// The fast search, the user's choice beside the paced one, runs the steps back to back and halves
// the search interval at byte boundaries: each probe differs from the one before in one byte, so
// that one search address byte goes out per COMPARE; probes below the last gear found are known
// to stay silent and are not asked; it goes on to the next gear without the COMPARE at 0xFFFFFF
// in between, and learns that nobody is left from a search that nobody answered.
#include <algorithm>
#include <cstdio>
#include <string>

#include "addressing/AddressingFrame.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

std::string UpperHex(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

std::string Hex(std::int32_t value) {
    return "0x" + UpperHex(value);
}

// The standard gives a gear 100 ms after RANDOMISE before its new random address holds; the fast
// search waits that long, and when nobody compares then, once more this long for slower gear.
constexpr std::int64_t kRandomiseSettleMs = 100;
constexpr std::int64_t kRandomiseSlowGearMs = 400;
// A search address at which a gear cannot be addressed (its verify fails, or two gear clash
// there) is tried this often before the gear there is left.
constexpr int kRndAddrAttempts = 3;

// Adds the line time of a check to a total.
class CheckTime {
  public:
    CheckTime(Scheduler& clock, std::int64_t& total)
        : m_clock(clock), m_total(total), m_startMs(clock.Now()) {}
    ~CheckTime() { m_total += m_clock.Now() - m_startMs; }
    CheckTime(const CheckTime&) = delete;
    CheckTime& operator=(const CheckTime&) = delete;

  private:
    Scheduler& m_clock;
    std::int64_t& m_total;
    std::int64_t m_startMs;
};

}  // namespace

AddressingRun configZD4270::RndAddrRun() {
    AddressingRun run;
    run.button = &cmdRndAddrStart;
    run.timer = &timerRndAddr;
    const bool quick = chkRndAddrFastSearch.IsChecked() && !m_link.QuickTimingDistrust();
    run.intervalMs = quick ? kRndAddrFastIntervalMs : kRndAddrIntervalMs;
    run.statusLabel = &lblRndAddrStatus;
    run.running = &m_bRndAddrRunning;
    run.enableOptions = [this](bool bEnable) { EnableRndAddrOptions(bEnable); };
    run.startMessage = 5080;
    run.logWords = "random addressing";
    run.step = [this](bool bStart, bool bStop, bool& bFinished) {
        RandomAddressing(bStart, bStop, bFinished);
    };
    return run;
}

// Firmware before "1H" cannot address at all; up to "1L" the control searches itself; from "1M"
// the terminal does it.
void configZD4270::cmdRndAddrStart_Click() {
    Guard(m_context, "cmdRndAddrStart_Click", [this] {
        const MessageCatalogue& msg = m_context.messages;
        if (m_state.m_nFirmwareVersion < kRandomAddressingMinVersion) {
            m_context.dialogs.MessageBox(
                {msg.Load(5124), MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
            return;
        }
        if (!CheckDaliMode()) return;
        if (m_state.m_nFirmwareVersion < kFirmwareAddressingVersion) {
            AddressingStartClick(RndAddrRun());
        } else {
            StartFirmwareAddressing();
        }
    });
}

void configZD4270::timerRndAddr_Timer() {
    Guard(m_context, "timerRndAddr_Timer", [this] { AddressingTimerTick(RndAddrRun()); });
}

void configZD4270::RandomAddressing(bool bStart, bool bStop, bool& bFinished) {
    bFinished = false;
    // The fast search differs from the paced one only in its waits: the timer's pause between
    // steps and the handshake's, which follows the terminal closely for this run's commands. A
    // terminal that does not keep to what the quick handshake learned of it gets the paced
    // handshake for the rest of the run.
    if (bStart) m_link.ResetQuickTiming();
    const bool fast = chkRndAddrFastSearch.IsChecked();
    const bool distrusted = m_link.QuickTimingDistrust().has_value();
    const Link::Pacing before = m_link.CurrentPacing();
    m_link.SetPacing(fast ? Link::Pacing::Quick : Link::Pacing::Paced);
    RandomAddressingStep(bStart, bStop, bFinished);
    m_link.SetPacing(before);
    if (fast && !distrusted && m_link.QuickTimingDistrust()) {
        NoteRecovery(
            "paced",
            "fast search went on with the paced handshake: " + *m_link.QuickTimingDistrust(), -1,
            -1);
    }
}

void configZD4270::RandomAddressingStep(bool bStart, bool bStop, bool& bFinished) {
    AddressingState& s = m_addressingState;
    const AddressingMachine machine{"RandomAddressing", &lblRndAddrStatus, true, false};
    AddressingMachineStep(machine, s.nRndAddrState, bStart, bStop, bFinished, [&] {
        switch (s.nRndAddrState) {
            case RndAddrStep::Start:
                RndAddrBegin();
                break;
            case RndAddrStep::FirstCompare:
                RndAddrFirstCompare(bFinished);
                break;
            case RndAddrStep::SetSearch:
                RndAddrSetSearchAddress();
                // The fast search compares in the same step.
                if (chkRndAddrFastSearch.IsChecked()) RndAddrCompareAndHalve(bFinished);
                break;
            case RndAddrStep::CompareHalve:
                RndAddrCompareAndHalve(bFinished);
                break;
            case RndAddrStep::FindFree:
                RndAddrFindFreeAddress(bFinished);
                break;
            case RndAddrStep::Program:
                if (s.nRndAddrAddress > kMaxShortAddress) {
                    bFinished = true;
                    s.nRndAddrState = RndAddrStep::Idle;
                    break;
                }
                SendAddressingCommand(kCmdProgramShortAddress, AddressByte(s.nRndAddrAddress),
                                      AddressKind::Short, 0);
                lblRndAddrStatus.SetCaption(m_context.messages.Load(5118) + ": " +
                                            std::to_string(s.nRndAddrAddress));
                s.nRndAddrState = RndAddrStep::Verify;
                break;
            case RndAddrStep::Verify:
                RndAddrVerify(bFinished);
                break;
            case RndAddrStep::CheckHolder:
                RndAddrCheckHolder(bFinished);
                break;
            case RndAddrStep::ShowWithdraw:
                // The new lamp lights up while the others stay at minimum, and leaves the search.
                SendAddressingCommand(kCmdRecallMaxLevel, 0, AddressKind::Short, s.nRndAddrAddress);
                SendAddressingCommand(kCmdWithdraw, 0, AddressKind::Short, 0);
                if (chkRndAddrFastSearch.IsChecked()) {
                    s.nRndAddrState = RndAddrStep::FastNext;
                    break;
                }
                SendAddressingCommand(kCmdSearchAddrH, 255, AddressKind::Broadcast, 0);
                SendAddressingCommand(kCmdSearchAddrM, 255, AddressKind::Broadcast, 0);
                SendAddressingCommand(kCmdSearchAddrL, 255, AddressKind::Broadcast, 0);
                s.nRndAddrState = RndAddrStep::Next;
                break;
            case RndAddrStep::Next:
                RndAddrNextBallast(bFinished);
                break;
            case RndAddrStep::FastNext:
                RndAddrFastNext(bFinished);
                break;
            case RndAddrStep::Clash:
                RndAddrClash();
                break;
            default:
                return false;
        }
        return true;
    });
}

void configZD4270::RndAddrBegin() {
    AddressingState& s = m_addressingState;
    m_rndAddrFound.clear();
    m_rndAddrFailures.clear();
    m_rndAddrLeft.clear();
    m_rndAddrCheckMs = 0;
    SendAddressingCommand(kCmdTerminate, 0, AddressKind::Broadcast, 0);
    SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
    if (chkRndAddrCompleteNewInstallation.IsChecked()) {
        // Every ballast takes part and loses its short address first.
        SendAddressingCommand(kCmdInitialise, 0, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdDataTransferRegister, 255, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdStoreDtrAsShortAddress, 0, AddressKind::Broadcast, 0);
        EmptyDeviceList();
    } else {
        SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    }
    if (chkRndAddrDeleteAllGroupAssignments.IsChecked()) {
        for (std::uint8_t group = 0; group < 16; ++group)
            SendAddressingCommand(kCmdRemoveFromGroup, group, AddressKind::Broadcast, 0);
    }
    if (chkRndAddrDeleteAllScenes.IsChecked()) {
        for (std::uint8_t scene = 0; scene < 16; ++scene)
            SendAddressingCommand(kCmdRemoveFromScene, scene, AddressKind::Broadcast, 0);
    }
    SendAddressingCommand(kCmdRandomise, 0, AddressKind::Broadcast, 0);
    s.lRndAddrRandomisedMs = m_context.scheduler.Now();
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5117) + "...");
    s.nRndAddrAddress = static_cast<std::int16_t>(cboRndAddrStartAddress.ListIndex());
    s.nRndAddrLampNo = 0;
    s.bRndAddrAddressGiven = false;
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// COMPARE and its reply; several ballasts answering at once give a collision or a corrupt frame,
// so everything but a timeout counts as an answer.
Result configZD4270::RndAddrCompare() {
    SendAddressingCommand(kCmdCompare, 0, AddressKind::Broadcast, 0);
    std::uint8_t answer = 0;
    return ReceiveAddressingData(answer);
}

// Whether anybody takes part, at the start and after the search had to start again. The fast
// search first gives the gear the time the standard allows after RANDOMISE, and when nobody
// compares then, a longer one for slow gear before it believes that nobody is there.
void configZD4270::RndAddrFirstCompare(bool& bFinished) {
    AddressingState& s = m_addressingState;
    const bool fast = chkRndAddrFastSearch.IsChecked();
    Scheduler& clock = m_context.scheduler;
    if (fast) {
        const std::int64_t readyMs = s.lRndAddrRandomisedMs + kRandomiseSettleMs;
        if (clock.Now() < readyMs) clock.Sleep(readyMs - clock.Now());
    }
    SendAddressingCommand(kCmdSearchAddrH, 255, AddressKind::Broadcast, 0);
    SendAddressingCommand(kCmdSearchAddrM, 255, AddressKind::Broadcast, 0);
    SendAddressingCommand(kCmdSearchAddrL, 255, AddressKind::Broadcast, 0);
    Result result = RndAddrCompare();
    if (result == Result::Timeout) {
        if (fast) clock.Sleep(kRandomiseSlowGearMs);
        result = RndAddrCompare();
        if (result != Result::Timeout)
            NoteRecovery("second-ask", "COMPARE answered only when asked again", -1, 0xFFFFFF);
    }
    if (result == Result::Timeout) {
        RndAddrFinish(bFinished);
        return;
    }
    s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    RndAddrBeginSearch(0);
}

// The search over what still takes part, all of it at or above floor.
void configZD4270::RndAddrBeginSearch(std::int32_t floor) {
    AddressingState& s = m_addressingState;
    s.lSearchHigh = kSearchAddressMax;
    s.lRndAddrFloor = floor;
    s.nRndAddrState = RndAddrStep::SetSearch;
    if (chkRndAddrFastSearch.IsChecked()) {
        s.lSearchLow = 0;
        s.bRndAddrAnswered = false;
        if (!RndAddrFastProbe()) s.nRndAddrState = RndAddrStep::CompareHalve;
        return;
    }
    s.lSearchLow = floor;
    s.lSearchAddress = s.lSearchLow + HalfRoundedEven(kSearchAddressMax - s.lSearchLow);
}

// The next probe of the fast search: the top of the lower half of an interval whose size is a
// power of two, skipping halves that lie below the floor. False when the interval has closed.
bool configZD4270::RndAddrFastProbe() {
    AddressingState& s = m_addressingState;
    while (s.lSearchLow < s.lSearchHigh) {
        const std::int32_t probe = s.lSearchLow + (s.lSearchHigh - s.lSearchLow + 1) / 2 - 1;
        if (probe >= s.lRndAddrFloor) {
            s.lSearchAddress = probe;
            return true;
        }
        s.lSearchLow = probe + 1;
    }
    return false;
}

void configZD4270::RndAddrSendSearchByte(std::int16_t nCommandId, std::uint8_t nByte,
                                         std::uint8_t& nLast) {
    // The fast search sends only what changed; the paced one sends what the steps say.
    if (chkRndAddrFastSearch.IsChecked() && nByte == nLast) return;
    SendAddressingCommand(nCommandId, nByte, AddressKind::Broadcast, 0);
    nLast = nByte;
}

// Only the bytes that changed go on the line: the low end of the search moves one byte at a time.
void configZD4270::RndAddrSetSearchAddress() {
    AddressingState& s = m_addressingState;
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5119) + ": 0x" +
                                UpperHex(s.lSearchAddress));
    s.bySearchH = SearchHigh(s.lSearchAddress);
    s.bySearchM = SearchMiddle(s.lSearchAddress);
    s.bySearchL = SearchLow(s.lSearchAddress);
    if (s.bySearchH != s.byLastSearchH) {
        SendAddressingCommand(kCmdSearchAddrH, s.bySearchH, AddressKind::Broadcast, 0);
        s.byLastSearchH = s.bySearchH;
    }
    if (s.bySearchM != s.byLastSearchM) {
        SendAddressingCommand(kCmdSearchAddrM, s.bySearchM, AddressKind::Broadcast, 0);
        s.byLastSearchM = s.bySearchM;
    }
    if (s.bySearchL != s.byLastSearchL) {
        SendAddressingCommand(kCmdSearchAddrL, s.bySearchL, AddressKind::Broadcast, 0);
        s.byLastSearchL = s.bySearchL;
    }
    s.nRndAddrState = RndAddrStep::CompareHalve;
}

void configZD4270::RndAddrCompareAndHalve(bool& bFinished) {
    AddressingState& s = m_addressingState;
    if (chkRndAddrFastSearch.IsChecked()) {
        // The interval may have closed without a probe (all of it below the floor).
        if (s.lSearchLow < s.lSearchHigh) {
            if (RndAddrCompare() != Result::Timeout) {
                s.lSearchHigh = s.lSearchAddress;
                s.bRndAddrAnswered = true;
            } else {
                s.lSearchLow = s.lSearchAddress + 1;
            }
        }
        if (RndAddrFastProbe()) {
            s.nRndAddrState = RndAddrStep::SetSearch;
            return;
        }
        RndAddrClose(bFinished);
        return;
    }
    if (RndAddrCompare() != Result::Timeout) {
        s.lSearchHigh = s.lSearchAddress;
    } else {
        s.lSearchLow = s.lSearchAddress + 1;
    }
    s.lSearchAddress = s.lSearchLow + HalfRoundedEven(s.lSearchHigh - s.lSearchLow);
    if (s.lSearchHigh != s.lSearchLow) {
        s.nRndAddrState = RndAddrStep::SetSearch;
        return;
    }
    RndAddrClose(bFinished);
}

// The interval has closed on the smallest random address still taking part.
void configZD4270::RndAddrClose(bool& bFinished) {
    AddressingState& s = m_addressingState;
    const bool fast = chkRndAddrFastSearch.IsChecked();
    if (fast && !s.bRndAddrAnswered) {
        // Nobody answered this search: only a gear at 0xFFFFFF itself, which no probe reached,
        // can still take part. Its COMPARE decides whether the run is over: asked twice.
        RndAddrSendSearchByte(kCmdSearchAddrH, 255, s.byLastSearchH);
        RndAddrSendSearchByte(kCmdSearchAddrM, 255, s.byLastSearchM);
        RndAddrSendSearchByte(kCmdSearchAddrL, 255, s.byLastSearchL);
        if (RndAddrCompare() == Result::Timeout) {
            const CheckTime check(m_context.scheduler, m_rndAddrCheckMs);
            if (RndAddrCompare() == Result::Timeout) {
                RndAddrFinish(bFinished);
                return;
            }
        }
        if (s.nRndAddrAddress > kMaxShortAddress) {
            RndAddrEndAtLimit(bFinished);
            return;
        }
    }
    // A gear given an address earlier in this run lies there only when a gear below it answered
    // every COMPARE of this search (one that powered up since): that gear would take the address
    // again, so the search starts from the bottom instead.
    if (m_rndAddrFound.count(s.lSearchHigh) != 0) {
        // A search that keeps closing there has no gear below to find.
        if (++m_rndAddrFailures[s.lSearchHigh] > 2 * kRndAddrAttempts) {
            m_rndAddrLeft.push_back("gear-below");
            RndAddrFinish(bFinished);
            return;
        }
        RndAddrSearchAgain("gear-below", "a gear turned up below " + Hex(s.lSearchHigh) +
                                             ", which has its address: searched from the bottom");
        return;
    }
    // Address it so that PROGRAM and WITHDRAW reach that ballast alone.
    if (fast) {
        RndAddrSendSearchByte(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), s.byLastSearchH);
        RndAddrSendSearchByte(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), s.byLastSearchM);
        RndAddrSendSearchByte(kCmdSearchAddrL, SearchLow(s.lSearchHigh), s.byLastSearchL);
    } else {
        SendAddressingCommand(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), AddressKind::Broadcast,
                              0);
        SendAddressingCommand(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), AddressKind::Broadcast,
                              0);
        SendAddressingCommand(kCmdSearchAddrL, SearchLow(s.lSearchHigh), AddressKind::Broadcast, 0);
    }
    s.nRndAddrState = RndAddrStep::FindFree;
}

void configZD4270::RndAddrFindFreeAddress(bool& bFinished) {
    AddressingState& s = m_addressingState;
    SendAddressingCommand(kCmdQueryBallast, 0, AddressKind::Short, s.nRndAddrAddress);
    std::uint8_t answer = 0;
    if (ReceiveAddressingData(answer) == Result::Timeout) {
        // Free only when it stays silent twice: a gear that missed one answer, or answers every
        // second question, would otherwise share the address with the new one.
        const CheckTime check(m_context.scheduler, m_rndAddrCheckMs);
        SendAddressingCommand(kCmdQueryBallast, 0, AddressKind::Short, s.nRndAddrAddress);
        if (ReceiveAddressingData(answer) == Result::Timeout) {
            s.nRndAddrState = RndAddrStep::Program;
            return;
        }
        NoteRecovery("second-ask",
                     "address " + std::to_string(s.nRndAddrAddress) +
                         " answered only when asked again: taken",
                     s.nRndAddrAddress, -1);
    }
    ++s.nRndAddrAddress;
    if (s.nRndAddrAddress > kMaxShortAddress) {
        RndAddrEndAtLimit(bFinished);
    }
}

void configZD4270::RndAddrVerify(bool& bFinished) {
    AddressingState& s = m_addressingState;
    std::uint8_t answer = 0;
    const Result verified = AddressingQueryTwice(
        kCmdVerifyShortAddress, AddressByte(s.nRndAddrAddress), AddressKind::Short, 0, answer);
    if (verified == Result::Done) {
        s.nRndAddrState = RndAddrStep::CheckHolder;
        return;
    }
    // Several answers at once: several gear took the address.
    if (verified == Result::Collision || verified == Result::CorruptFrame) {
        s.nRndAddrState = RndAddrStep::Clash;
        return;
    }
    // A failure of the link itself has shown its own box.
    if (verified != Result::Timeout) {
        bFinished = true;
        return;
    }
    // Nobody holds the address: a lost COMPARE answer closed the search where no gear is, or the
    // gear lost its mains. Where it keeps failing, the gear there does not keep an address.
    if (++m_rndAddrFailures[s.lSearchHigh] >= kRndAddrAttempts) {
        RndAddrLeaveGear("verify-failed", "the gear at " + Hex(s.lSearchHigh) +
                                              " does not keep a short address: left");
        return;
    }
    RndAddrSearchAgain("verify-failed",
                       "nobody answered VERIFY SHORT ADDRESS " + std::to_string(s.nRndAddrAddress) +
                           " after programming at " + Hex(s.lSearchHigh) + ": searched again");
}

// The new address must be held by the gear searched for and by no other: QUERY RANDOM ADDRESS
// H, M and L there answer with the bytes of the search address, and two gear with different
// random addresses cannot answer all three alike.
void configZD4270::RndAddrCheckHolder(bool& bFinished) {
    AddressingState& s = m_addressingState;
    const CheckTime check(m_context.scheduler, m_rndAddrCheckMs);
    std::int32_t holder = 0;
    for (const std::int16_t command :
         {kCmdQueryRandomAddressH, kCmdQueryRandomAddressM, kCmdQueryRandomAddressL}) {
        std::uint8_t answer = 0;
        const Result result =
            AddressingQueryTwice(command, 0, AddressKind::Short, s.nRndAddrAddress, answer);
        if (result == Result::Collision || result == Result::CorruptFrame) {
            s.nRndAddrState = RndAddrStep::Clash;
            return;
        }
        if (result == Result::Timeout) {
            // The gear answered its verify and then fell silent: it lost its mains.
            RndAddrSearchAgain("vanished", "the gear at address " +
                                               std::to_string(s.nRndAddrAddress) +
                                               " fell silent: searched again");
            return;
        }
        if (result != Result::Done) {
            bFinished = true;
            return;
        }
        holder = (holder << 8) | answer;
    }
    if (holder != s.lSearchHigh) {
        // Another gear has the address alone: it missed both questions of the free-address
        // check. The gear found keeps its place in the search and takes the next free address.
        NoteRecovery("address-taken",
                     "address " + std::to_string(s.nRndAddrAddress) + " belongs to the gear at " +
                         Hex(holder) + ": the next free address is used",
                     s.nRndAddrAddress, holder);
        ++s.nRndAddrAddress;
        s.nRndAddrState = RndAddrStep::FindFree;
        if (s.nRndAddrAddress > kMaxShortAddress) {
            RndAddrEndAtLimit(bFinished);
        }
        return;
    }
    ++s.nRndAddrLampNo;
    AddLampRow(lstRndAddrView, s.nRndAddrLampNo, s.nRndAddrAddress);
    AddAddressedDevice(s.nRndAddrAddress);
    m_rndAddrFound.insert(s.lSearchHigh);
    s.bRndAddrAddressGiven = true;
    s.nRndAddrState = RndAddrStep::ShowWithdraw;
}

void configZD4270::RndAddrNextBallast(bool& bFinished) {
    AddressingState& s = m_addressingState;
    // A lost answer here would end the run with gear left: silence counts when it comes twice.
    if (RndAddrCompare() == Result::Timeout) {
        const CheckTime check(m_context.scheduler, m_rndAddrCheckMs);
        if (RndAddrCompare() == Result::Timeout) {
            RndAddrFinish(bFinished);
            return;
        }
    }
    if (s.bRndAddrAddressGiven) {
        ++s.nRndAddrAddress;
        s.bRndAddrAddressGiven = false;
    }
    if (s.nRndAddrAddress > kMaxShortAddress) {
        RndAddrEndAtLimit(bFinished);
        return;
    }
    SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    // Every ballast still taking part lies at or above the one just found.
    if (!chkRndAddrFastSearch.IsChecked())
        s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    RndAddrBeginSearch(s.lSearchLow);
}

// The fast search goes on to the next gear at once; only at the address limit does it ask first
// whether anybody is left, as the paced one does, so that the limit is told only when it matters.
void configZD4270::RndAddrFastNext(bool& bFinished) {
    AddressingState& s = m_addressingState;
    if (s.bRndAddrAddressGiven) {
        ++s.nRndAddrAddress;
        s.bRndAddrAddressGiven = false;
    }
    if (s.nRndAddrAddress > kMaxShortAddress) {
        RndAddrSendSearchByte(kCmdSearchAddrH, 255, s.byLastSearchH);
        RndAddrSendSearchByte(kCmdSearchAddrM, 255, s.byLastSearchM);
        RndAddrSendSearchByte(kCmdSearchAddrL, 255, s.byLastSearchL);
        RndAddrNextBallast(bFinished);
        return;
    }
    SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    RndAddrBeginSearch(s.lSearchHigh);
}

// Starts the search again from the top: whoever still takes part is found anew. The short
// address in hand stays free for the gear found next.
void configZD4270::RndAddrSearchAgain(const std::string& what, const std::string& text) {
    AddressingState& s = m_addressingState;
    NoteRecovery(what, text, what == "gear-below" ? -1 : s.nRndAddrAddress, s.lSearchHigh);
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// Several gear took the address: they drew the same random address. They give it back and all
// gear without an address draw new random addresses, the gear with one out of the way first (a
// withdrawn gear would still take PROGRAM SHORT ADDRESS at its random address).
void configZD4270::RndAddrClash() {
    AddressingState& s = m_addressingState;
    SendAddressingCommand(kCmdProgramShortAddress, kDaliMask, AddressKind::Short, 0);
    if (++m_rndAddrFailures[s.lSearchHigh] >= kRndAddrAttempts) {
        RndAddrLeaveGear("clash-left", "gear at " + Hex(s.lSearchHigh) +
                                           " keep drawing one random address: left without a "
                                           "short address");
        return;
    }
    NoteRecovery("clash",
                 "several gear took address " + std::to_string(s.nRndAddrAddress) + " at " +
                     Hex(s.lSearchHigh) + ": address given back, new random addresses drawn",
                 s.nRndAddrAddress, s.lSearchHigh);
    SendAddressingCommand(kCmdTerminate, 0, AddressKind::Broadcast, 0);
    SendAddressingCommand(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    SendAddressingCommand(kCmdRandomise, 0, AddressKind::Broadcast, 0);
    s.lRndAddrRandomisedMs = m_context.scheduler.Now();
    s.nRndAddrState = RndAddrStep::FirstCompare;
}

// The gear at the search address cannot be addressed: it leaves the search without an address,
// so that every other gear still gets one, and the run says so at its end.
void configZD4270::RndAddrLeaveGear(const std::string& what, const std::string& text) {
    AddressingState& s = m_addressingState;
    NoteRecovery(what, text, -1, s.lSearchHigh);
    m_rndAddrLeft.push_back(what);
    SendAddressingCommand(kCmdWithdraw, 0, AddressKind::Short, 0);
    m_rndAddrFound.insert(s.lSearchHigh);
    RndAddrSendSearchByte(kCmdSearchAddrH, 255, s.byLastSearchH);
    RndAddrSendSearchByte(kCmdSearchAddrM, 255, s.byLastSearchM);
    RndAddrSendSearchByte(kCmdSearchAddrL, 255, s.byLastSearchL);
    s.nRndAddrState = RndAddrStep::Next;
}

// A gear is left but no short address: the box of the address limit ends the run.
void configZD4270::RndAddrEndAtLimit(bool& bFinished) {
    ShowAddressLimitMessage();
    bFinished = true;
    m_addressingState.nRndAddrState = RndAddrStep::Idle;
}

// Nobody takes part any more. Gear left without an address make the run end with the box of
// what kept them from one.
void configZD4270::RndAddrFinish(bool& bFinished) {
    AddressingState& s = m_addressingState;
    bFinished = true;
    s.nRndAddrState = RndAddrStep::Idle;
    if (m_rndAddrLeft.empty()) return;
    // Gear that keep clashing have no address at all now, which the box says.
    const bool clash =
        std::find(m_rndAddrLeft.begin(), m_rndAddrLeft.end(), "clash-left") != m_rndAddrLeft.end();
    m_context.dialogs.MessageBox({m_context.messages.Load(clash ? 5151 : 5145) + ".",
                                  MsgButtons::Ok, MsgIcon::Critical,
                                  m_context.messages.Load(5113)});
}

}  // namespace zd
