// Random addressing run by the terminal firmware: the options go to the terminal in the output
// data word, control bit 3 starts the run, and a once-a-second poll of status bit 3 waits for the
// result code, which is shown. The control learns no addresses; a later scan finds the devices.
#include "addressing/AddressingFrame.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

// Wait between the parameter word and the start bit, so that the terminal has taken the word.
constexpr std::int64_t kParameterSettleMs = 1000;

std::uint16_t FirmwareAddressingParameter(bool bCompleteNewInstallation, bool bOpticalFeedback,
                                          int nStartAddress) {
    std::uint16_t word = 0;
    if (bCompleteNewInstallation) word |= 0x0001;
    if (bOpticalFeedback) word |= 0x0008;
    word = static_cast<std::uint16_t>(word + (nStartAddress & 0xFF) * 256);
    return word;
}

// What the terminal reports in the low byte of its input data word when its run is over: the
// number of ballasts it addressed (0 to 63), or one of its failures.
enum class FirmwareResult : std::uint8_t {
    InternalError = 0xDE,
    NoFreeShortAddress = 0xE0,
    SameShortAddress = 0xF0,
    NoCompareReply = 0xF8,
    NoReplyAfterProgramming = 0xFE
};

MessageBoxRequest FirmwareResultMessage(const MessageCatalogue& msg, std::uint8_t nResult) {
    if (nResult <= kMaxShortAddress) {
        return {msg.Load(5140) + ": " + std::to_string(nResult), MsgButtons::Ok,
                MsgIcon::Information, msg.Load(5098)};
    }
    std::string text;
    switch (static_cast<FirmwareResult>(nResult)) {
        case FirmwareResult::InternalError:
            text = msg.Load(5146) + ".";
            break;
        case FirmwareResult::NoFreeShortAddress:
            text = msg.Load(5144) + ".";
            break;
        case FirmwareResult::SameShortAddress:
            text = msg.Load(5142) + ".";
            break;
        case FirmwareResult::NoCompareReply:
            text = msg.Load(5143) + ".";
            break;
        case FirmwareResult::NoReplyAfterProgramming:
            text = msg.Load(5145) + ".";
            break;
        default:
            text = msg.Load(5095) + ": " + std::to_string(nResult);
            break;
    }
    return {text, MsgButtons::Ok, MsgIcon::Critical, msg.Load(5113)};
}

}  // namespace

void configZD4270::StartFirmwareAddressing() {
    if (m_bRndAddrRunning) return;
    // The terminal's own run is never logged: it sends nothing the log could show.
    m_addressingLine.DropLog();
    EnableRndAddrOptionsAndTabs(false);
    cmdRndAddrStart.SetEnabled(false);
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5139) + "...");
    ClearAddressingLists();
    m_context.scheduler.DoEvents();
    m_bRndAddrRunning = true;
    m_link.BeginProcedure();
    bool bFinished = false;
    RandomAddressingFirmware(true, false, false, bFinished);
    // A start that already failed would leave the options locked for good.
    if (bFinished) {
        EndFirmwareAddressing();
        return;
    }
    timerRndAddrFirmware.SetInterval(kRndAddrFirmwareIntervalMs);
    timerRndAddrFirmware.SetEnabled(true);
}

void configZD4270::timerRndAddrFirmware_Timer() {
    Guard(m_context, "timerRndAddrFirmware_Timer", [this] {
        timerRndAddrFirmware.SetEnabled(false);
        bool bFinished = false;
        RandomAddressingFirmware(false, false, false, bFinished);
        if (bFinished || m_link.CommunicationLost()) {
            EndFirmwareAddressing();
        } else {
            timerRndAddrFirmware.SetEnabled(true);
        }
    });
}

void configZD4270::EndFirmwareAddressing() {
    EnableRndAddrOptionsAndTabs(true);
    cmdRndAddrStart.SetEnabled(true);
    lblRndAddrStatus.SetCaption("");
    m_context.scheduler.DoEvents();
    m_bRndAddrRunning = false;
    bool bFinished = false;
    RandomAddressingFirmware(false, true, false, bFinished);
    m_link.EndProcedure();
}

void configZD4270::RandomAddressingFirmware(bool bStart, bool bStop, bool bPoll, bool& bFinished) {
    bFinished = false;
    AddressingState& s = m_addressingState;
    // A poll takes up the terminal's run whatever the machine was at.
    if (bPoll) {
        bStart = bStop = false;
        s.nFirmwareState = FirmwareStep::Poll;
    }
    const AddressingMachine machine{"RandomAddressingFirmware", &lblRndAddrStatus, false, true};
    AddressingMachineStep(machine, s.nFirmwareState, bStart, bStop, bFinished, [&] {
        switch (s.nFirmwareState) {
            case FirmwareStep::Start:
                FirmwareAddressingHandOver();
                s.nFirmwareState = FirmwareStep::Poll;
                break;
            case FirmwareStep::Poll: {
                std::uint8_t status = 0;
                // Without the status byte there is no result to show, only the lost connection.
                if (m_link.ReadStatusByte(status) == Result::Error) {
                    bFinished = true;
                    s.nFirmwareState = FirmwareStep::Idle;
                    break;
                }
                if ((status & kStatusFirmwareAddressing) != 0) break;
                std::int16_t dataIn = 0;
                // A failed read has shown its error; a count made up from nothing would tell the
                // user that no gear was addressed.
                if (m_link.ReadDataIn(dataIn) != Result::Done) {
                    bFinished = true;
                    s.nFirmwareState = FirmwareStep::Idle;
                    break;
                }
                const auto result = static_cast<std::uint8_t>(dataIn & 0xFF);
                m_context.dialogs.MessageBox(FirmwareResultMessage(m_context.messages, result));
                bFinished = true;
                s.nFirmwareState = FirmwareStep::Idle;
                break;
            }
            default:
                return false;
        }
        return true;
    });
}

// The options the terminal cannot take in its parameter word (groups and scenes) are cleared by
// the control before the start; these are the only DALI commands of this variant.
void configZD4270::FirmwareAddressingHandOver() {
    const bool newInstallation = chkRndAddrCompleteNewInstallation.IsChecked();
    if (newInstallation) EmptyDeviceList();
    if (chkRndAddrDeleteAllGroupAssignments.IsChecked()) {
        for (std::uint8_t group = 0; group < 16; ++group)
            SendAddressingCommand(kCmdRemoveFromGroup, group, AddressKind::Broadcast, 0);
    }
    if (chkRndAddrDeleteAllScenes.IsChecked()) {
        for (std::uint8_t scene = 0; scene < 16; ++scene)
            SendAddressingCommand(kCmdRemoveFromScene, scene, AddressKind::Broadcast, 0);
    }
    std::int32_t word = FirmwareAddressingParameter(
        newInstallation, chkRndAddrOpticalFeedback.IsChecked(), cboRndAddrStartAddress.ListIndex());
    m_link.WriteDataOut(word);
    m_context.scheduler.Sleep(kParameterSettleMs);
    m_link.StartRandomAddressing();
}

// The terminal is still addressing (the page was opened again during a run): show it, lock the
// options and follow the run until the terminal reports its result.
void configZD4270::ResumeFirmwareAddressing() {
    chkRndAddrOpticalFeedback.SetVisible(true);
    lstRndAddrView.SetVisible(false);
    tabMain.SetTab(1);
    tabAddressing.SetTab(1);
    // No pending events run before the lock below: a queued click must find the button disabled.
    m_addressingLine.DropLog();
    EnableRndAddrOptionsAndTabs(false);
    cmdRndAddrStart.SetEnabled(false);
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5141));
    ClearAddressingLists();
    m_context.scheduler.DoEvents();
    m_link.BeginProcedure();
    bool bFinished = false;
    RandomAddressingFirmware(false, false, true, bFinished);
    m_bRndAddrRunning = true;
    // The terminal may have finished between the refresh's status read and this poll.
    if (bFinished) {
        EndFirmwareAddressing();
        return;
    }
    timerRndAddrFirmware.SetInterval(kRndAddrFirmwareIntervalMs);
    timerRndAddrFirmware.SetEnabled(true);
}

}  // namespace zd
