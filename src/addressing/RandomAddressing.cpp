// Random addressing run by the control: the ballasts draw random addresses, a binary search with
// COMPARE finds the smallest one, which gets the next free short address, is verified, lit and
// withdrawn; then the search goes on above it.
#include <cstdio>

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

}  // namespace

AddressingRun configZD4270::RndAddrRun() {
    AddressingRun run;
    run.button = &cmdRndAddrStart;
    run.timer = &timerRndAddr;
    run.intervalMs = chkRndAddrFastSearch.IsChecked() ? kRndAddrFastIntervalMs : kRndAddrIntervalMs;
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
    // steps and the handshake's, which watches the terminal closely for this run's commands.
    const Link::Pacing before = m_link.CurrentPacing();
    m_link.SetPacing(chkRndAddrFastSearch.IsChecked() ? Link::Pacing::Quick : Link::Pacing::Paced);
    RandomAddressingStep(bStart, bStop, bFinished);
    m_link.SetPacing(before);
}

void configZD4270::RandomAddressingStep(bool bStart, bool bStop, bool& bFinished) {
    try {
        AddressingState& s = m_addressingState;
        if (bStart) s.nRndAddrState = kStateStart;
        if (bStop) s.nRndAddrState = kStateStop;
        switch (s.nRndAddrState) {
            case kStateIdle:
                break;
            case kStateStart:
                RndAddrBegin();
                break;
            case 15:
                RndAddrFirstCompare(bFinished);
                break;
            case 20:
                RndAddrSetSearchAddress();
                break;
            case 30:
                RndAddrCompareAndHalve();
                break;
            case 40:
                RndAddrFindFreeAddress(bFinished);
                break;
            case 45:
                if (s.nRndAddrAddress > kMaxShortAddress) {
                    bFinished = true;
                    s.nRndAddrState = kStateIdle;
                    break;
                }
                SendAddressingCommand(kCmdProgramShortAddress, AddressByte(s.nRndAddrAddress),
                                      kAddrShort, 0);
                lblRndAddrStatus.SetCaption(m_context.messages.Load(5118) + ": " +
                                            std::to_string(s.nRndAddrAddress));
                s.nRndAddrState = 50;
                break;
            case 50:
                RndAddrVerifyAndRecord(bFinished);
                break;
            case 60:
                // The new lamp lights up while the others stay at minimum, and leaves the search.
                SendAddressingCommand(kCmdRecallMaxLevel, 0, kAddrShort, s.nRndAddrAddress);
                SendAddressingCommand(kCmdWithdraw, 0, kAddrShort, 0);
                SendAddressingCommand(kCmdSearchAddrH, 255, kAddrBroadcast, 0);
                SendAddressingCommand(kCmdSearchAddrM, 255, kAddrBroadcast, 0);
                SendAddressingCommand(kCmdSearchAddrL, 255, kAddrBroadcast, 0);
                s.nRndAddrState = 70;
                break;
            case 70:
                RndAddrNextBallast(bFinished);
                break;
            case kStateStop:
                lblRndAddrStatus.SetCaption("");
                SendAddressingCommand(kCmdTerminate, 0, kAddrBroadcast, 0);
                RefreshDeviceViews();
                break;
            default:
                lblRndAddrStatus.SetCaption(m_context.messages.Load(5112));
                bFinished = true;
                s.nRndAddrState = kStateIdle;
                break;
        }
    } catch (...) {
        ReportCurrentException(m_context, "RandomAddressing");
        bFinished = true;
    }
}

void configZD4270::RndAddrBegin() {
    AddressingState& s = m_addressingState;
    SendAddressingCommand(kCmdTerminate, 0, kAddrBroadcast, 0);
    SendAddressingCommand(kCmdRecallMinLevel, 0, kAddrBroadcast, 0);
    if (chkRndAddrCompleteNewInstallation.IsChecked()) {
        // Every ballast takes part and loses its short address first.
        SendAddressingCommand(kCmdInitialise, 0, kAddrBroadcast, 0);
        SendAddressingCommand(kCmdDataTransferRegister, 255, kAddrBroadcast, 0);
        SendAddressingCommand(kCmdStoreDtrAsShortAddress, 0, kAddrBroadcast, 0);
        EmptyDeviceList();
    } else {
        SendAddressingCommand(kCmdInitialise, 255, kAddrBroadcast, 0);
    }
    if (chkRndAddrDeleteAllGroupAssignments.IsChecked()) {
        for (std::uint8_t group = 0; group < 16; ++group)
            SendAddressingCommand(kCmdRemoveFromGroup, group, kAddrBroadcast, 0);
    }
    if (chkRndAddrDeleteAllScenes.IsChecked()) {
        for (std::uint8_t scene = 0; scene < 16; ++scene)
            SendAddressingCommand(kCmdRemoveFromScene, scene, kAddrBroadcast, 0);
    }
    SendAddressingCommand(kCmdRandomise, 0, kAddrBroadcast, 0);
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5117) + "...");
    s.nRndAddrAddress = static_cast<std::int16_t>(cboRndAddrStartAddress.ListIndex());
    s.nRndAddrLampNo = 0;
    s.nRndAddrState = 15;
}

// COMPARE and its reply; several ballasts answering at once give a collision or a corrupt frame,
// so everything but a timeout counts as an answer. The fast search asks once more before it
// believes a silence: a lost answer would move the search past a ballast, which then could not
// be found in this run, and the pause of the paced search no longer hides a slow one.
std::int16_t configZD4270::RndAddrCompare() {
    SendAddressingCommand(kCmdCompare, 0, kAddrBroadcast, 0);
    std::uint8_t answer = 0;
    const std::int16_t result = ReceiveAddressingData(answer);
    if (result != kResultTimeout || !chkRndAddrFastSearch.IsChecked()) return result;
    SendAddressingCommand(kCmdCompare, 0, kAddrBroadcast, 0);
    return ReceiveAddressingData(answer);
}

void configZD4270::RndAddrFirstCompare(bool& bFinished) {
    AddressingState& s = m_addressingState;
    SendAddressingCommand(kCmdSearchAddrH, 255, kAddrBroadcast, 0);
    SendAddressingCommand(kCmdSearchAddrM, 255, kAddrBroadcast, 0);
    SendAddressingCommand(kCmdSearchAddrL, 255, kAddrBroadcast, 0);
    if (RndAddrCompare() == kResultTimeout) {
        bFinished = true;
        s.nRndAddrState = kStateIdle;
        return;
    }
    s.lSearchHigh = kSearchAddressMax;
    s.lSearchLow = 0;
    s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    s.lSearchAddress = HalfRoundedEven(kSearchAddressMax);
    s.bySearchH = SearchHigh(s.lSearchAddress);
    s.bySearchM = SearchMiddle(s.lSearchAddress);
    s.bySearchL = SearchLow(s.lSearchAddress);
    s.nRndAddrState = 20;
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
        SendAddressingCommand(kCmdSearchAddrH, s.bySearchH, kAddrBroadcast, 0);
        s.byLastSearchH = s.bySearchH;
    }
    if (s.bySearchM != s.byLastSearchM) {
        SendAddressingCommand(kCmdSearchAddrM, s.bySearchM, kAddrBroadcast, 0);
        s.byLastSearchM = s.bySearchM;
    }
    if (s.bySearchL != s.byLastSearchL) {
        SendAddressingCommand(kCmdSearchAddrL, s.bySearchL, kAddrBroadcast, 0);
        s.byLastSearchL = s.bySearchL;
    }
    s.nRndAddrState = 30;
}

void configZD4270::RndAddrCompareAndHalve() {
    AddressingState& s = m_addressingState;
    if (RndAddrCompare() != kResultTimeout) {
        s.lSearchHigh = s.lSearchAddress;
    } else {
        s.lSearchLow = s.lSearchAddress + 1;
    }
    s.lSearchAddress = s.lSearchLow + HalfRoundedEven(s.lSearchHigh - s.lSearchLow);
    if (s.lSearchHigh != s.lSearchLow) {
        s.nRndAddrState = 20;
        return;
    }
    // The interval has closed on the smallest random address still taking part: address it so
    // that PROGRAM and WITHDRAW reach that ballast alone.
    SendAddressingCommand(kCmdSearchAddrH, SearchHigh(s.lSearchHigh), kAddrBroadcast, 0);
    SendAddressingCommand(kCmdSearchAddrM, SearchMiddle(s.lSearchHigh), kAddrBroadcast, 0);
    SendAddressingCommand(kCmdSearchAddrL, SearchLow(s.lSearchHigh), kAddrBroadcast, 0);
    s.nRndAddrState = 40;
}

void configZD4270::RndAddrFindFreeAddress(bool& bFinished) {
    AddressingState& s = m_addressingState;
    SendAddressingCommand(kCmdQueryBallast, 0, kAddrShort, s.nRndAddrAddress);
    std::uint8_t answer = 0;
    if (ReceiveAddressingData(answer) == kResultTimeout) {
        s.nRndAddrState = 45;
        return;
    }
    ++s.nRndAddrAddress;
    if (s.nRndAddrAddress > kMaxShortAddress) {
        ShowAddressLimitMessage();
        bFinished = true;
        s.nRndAddrState = kStateIdle;
    }
}

void configZD4270::RndAddrVerifyAndRecord(bool& bFinished) {
    AddressingState& s = m_addressingState;
    SendAddressingCommand(kCmdVerifyShortAddress, AddressByte(s.nRndAddrAddress), kAddrShort, 0);
    std::uint8_t answer = 0;
    const std::int16_t verified = ReceiveAddressingData(answer);
    if (verified != kResultDone) {
        // The ballast keeps what it was given but is not recorded; the stop call follows. The run
        // ends with gear still unaddressed, or two sharing an address: say so rather than end as
        // if it had finished. Several answers at once mean several gear took the address. A
        // failure of the link itself has shown its own box.
        const bool several = verified == kResultCollision || verified == kResultCorruptFrame;
        if (several || verified == kResultTimeout) {
            m_context.dialogs.MessageBox({m_context.messages.Load(several ? 5142 : 5145) + ".",
                                          MsgButtons::Ok, MsgIcon::Critical,
                                          m_context.messages.Load(5113)});
        }
        bFinished = true;
        return;
    }
    ++s.nRndAddrLampNo;
    AddLampRow(lstRndAddrView, s.nRndAddrLampNo, s.nRndAddrAddress);
    AddAddressedDevice(s.nRndAddrAddress);
    s.nRndAddrState = 60;
}

void configZD4270::RndAddrNextBallast(bool& bFinished) {
    AddressingState& s = m_addressingState;
    if (RndAddrCompare() == kResultTimeout) {
        bFinished = true;
        s.nRndAddrState = kStateIdle;
        return;
    }
    ++s.nRndAddrAddress;
    if (s.nRndAddrAddress > kMaxShortAddress) {
        ShowAddressLimitMessage();
        bFinished = true;
        s.nRndAddrState = kStateIdle;
        return;
    }
    SendAddressingCommand(kCmdInitialise, 255, kAddrBroadcast, 0);
    // Every ballast still taking part lies at or above the one just found.
    s.lSearchHigh = kSearchAddressMax;
    s.lSearchAddress = s.lSearchLow + HalfRoundedEven(kSearchAddressMax - s.lSearchLow);
    s.byLastSearchH = s.byLastSearchM = s.byLastSearchL = 255;
    s.nRndAddrState = 20;
}

}  // namespace zd
