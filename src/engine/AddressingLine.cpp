#include "engine/AddressingLine.h"

#include "engine/internal/AddressingDrive.h"
#include "engine/internal/StepRunner.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

RandomAddressingVariant RandomAddressingVariantOf(std::int32_t firmwareVersion) {
    if (firmwareVersion >= kFirmwareAddressingVersion) return RandomAddressingVariant::Terminal;
    if (firmwareVersion >= kRandomAddressingMinVersion) return RandomAddressingVariant::Control;
    return RandomAddressingVariant::None;
}

std::optional<std::string> RandomAddressingVariantName(RandomAddressingVariant variant) {
    switch (variant) {
        case RandomAddressingVariant::Control:
            return "control";
        case RandomAddressingVariant::Terminal:
            return "terminal";
        case RandomAddressingVariant::None:
            break;
    }
    return std::nullopt;
}

void AddressingLine::StartLog(bool enabled, const std::string& path, const std::string& words) {
    if (m_log) m_log->Close();
    m_log.reset();
    if (!enabled) return;
    m_log = std::make_unique<LogFile>(path);
    WriteLogLine(" start " + words);
}

void AddressingLine::WriteLogLine(const std::string& words) {
    if (!m_log) return;
    IgnoreErrors(
        [&] { m_log->WriteLine(DateTimeText(m_terminal.context.scheduler.WallClock()) + words); });
}

void AddressingLine::CloseLog(const std::string& words) {
    if (!m_log) return;
    if (!words.empty()) WriteLogLine(words);
    IgnoreErrors([&] { m_log->Close(); });
    m_log.reset();
}

Result AddressingLine::Send(std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                            std::int16_t nAddr, bool bLogged) {
    int again = 0;
    const Result result = m_terminal.link.SendDALICommandAgainOnCollision(
        nCommandId, nData, nAddrType, nAddr, bLogged ? m_log.get() : nullptr, again);
    if (again > 0 && result != Result::Collision) {
        NoteRecovery("collision", "a command met another master on the line and was sent again", -1,
                     -1);
    }
    if (result == Result::Collision && !m_collisionsGoOn) {
        m_collisionsGoOn = true;
        WriteLogLine(" " + CollisionsText());
    }
    return result;
}

Result AddressingLine::Receive(std::uint8_t& nData, bool bLogged) {
    return m_terminal.link.ReceiveDALIData(nData, bLogged ? m_log.get() : nullptr);
}

// A query whose silence would decide something: asked once more before silence is believed, as a
// gear may lose an answer or answer only every second question.
Result AddressingLine::QueryTwice(std::int16_t nCommandId, std::uint8_t nData,
                                  AddressKind nAddrType, std::int16_t nAddr,
                                  std::uint8_t& nAnswer) {
    Send(nCommandId, nData, nAddrType, nAddr);
    const Result result = Receive(nAnswer);
    if (result != Result::Timeout) return result;
    Send(nCommandId, nData, nAddrType, nAddr);
    return Receive(nAnswer);
}

void AddressingLine::NoteRecovery(const std::string& what, const std::string& text,
                                  std::int32_t shortAddress, std::int32_t randomAddress) {
    WriteLogLine(" recovered: " + text);
    for (AddressingRecovery& earlier : m_recovered) {
        if (earlier.what == what && earlier.shortAddress == shortAddress &&
            earlier.randomAddress == randomAddress) {
            ++earlier.count;
            return;
        }
    }
    m_recovered.push_back({what, text, shortAddress, randomAddress, 1});
}

void AddressingLine::AddAddressedDevice(std::int16_t nShortAddress, bool bDALIConflict) {
    ModuleState& state = m_terminal.state;
    if (!state.devices) state.devices = std::make_shared<colDevices>();
    state.devices->Remove(nShortAddress);
    clsDevice device;
    device.m_nShortAddress = nShortAddress;
    device.m_nNewShortAddress = nShortAddress;
    device.m_nRandomAddress = 0;
    device.m_bDALIConflict = bDALIConflict;
    state.devices->Add(device);
}

void AddressingLine::EmptyDeviceList() {
    ModuleState& state = m_terminal.state;
    if (!state.devices) return;
    const std::size_t count = state.devices->Count();
    for (std::size_t i = 0; i < count; ++i) state.devices->RemoveFirst();
}

void AddressingLine::PrepareAddressing(bool newInstallation, bool deleteGroups, bool deleteScenes) {
    Send(kCmdTerminate, 0, AddressKind::Broadcast, 0);
    Send(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
    if (newInstallation) {
        Send(kCmdInitialise, 0, AddressKind::Broadcast, 0);
        Send(kCmdDataTransferRegister, kDaliMask, AddressKind::Broadcast, 0);
        Send(kCmdStoreDtrAsShortAddress, 0, AddressKind::Broadcast, 0);
        EmptyDeviceList();
    } else {
        Send(kCmdInitialise, 255, AddressKind::Broadcast, 0);
    }
    DeleteGroupsAndScenes(deleteGroups, deleteScenes);
}

void AddressingLine::DeleteGroupsAndScenes(bool deleteGroups, bool deleteScenes) {
    if (deleteGroups) {
        for (std::uint8_t group = 0; group < 16; ++group)
            Send(kCmdRemoveFromGroup, group, AddressKind::Broadcast, 0);
    }
    if (deleteScenes) {
        for (std::uint8_t scene = 0; scene < 16; ++scene)
            Send(kCmdRemoveFromScene, scene, AddressKind::Broadcast, 0);
    }
}

void AddressingLine::Tell(const EngineNotice& notice) {
    m_told.push_back(notice);
    if (m_terminal.tell) m_terminal.tell(notice);
}

void AddressingLine::TellAddressLimit() {
    Tell({EngineFailure::Incomplete, {msg::kAddressLimit}, NoticeWeight::Warning});
}

std::string AddressingLine::CollisionsText() const {
    return MessageText({msg::kCollisionsGoOn}, m_terminal.context.messages.GetLanguage());
}

void AddressingLine::TellCollisions() {
    Tell({EngineFailure::Incomplete, {msg::kCollisionsGoOn}, NoticeWeight::Critical});
}

AddressingDriveEnd DriveAddressingRun(AddressingLine& line, const AddressingDrive& drive) {
    AddressingDriveEnd end;
    const Context& context = line.GetContext();
    Link& link = line.TerminalLink();
    const auto stepped = [&] {
        if (drive.stepped) drive.stepped();
    };
    const auto endedItself = [&] { return drive.endedItself && drive.endedItself(); };
    line.StartLog(drive.log, drive.logPath, drive.logWords);
    line.ClearRecovered();
    context.scheduler.DoEvents();
    link.BeginProcedure();
    bool bFinished = false;
    drive.step(true, false, bFinished);
    stepped();
    std::string endLine = " end " + drive.logWords;
    if (link.CommunicationLost() && !bFinished) {
        // A lost connection ends the run after its one box.
    } else if (bFinished) {
        // The run never got going: its log keeps the start line alone.
        endLine.clear();
        end.finishedAtStart = true;
    } else {
        const bool ended = RunSteps(
            context.scheduler, drive.intervalMs,
            [&] {
                bool finished = false;
                drive.step(false, false, finished);
                stepped();
                return !finished && !link.CommunicationLost() && !endedItself() &&
                       !line.CollisionsGoOn();
            },
            [&] { return end.cancelled = drive.cancelled && drive.cancelled(); });
        if (end.cancelled) endLine += " by user";
        end.timedOut = !ended && !end.cancelled;
    }
    if (endedItself()) {
        if (drive.selfEnd) drive.selfEnd();
        link.EndProcedure();
    } else {
        context.scheduler.DoEvents();
        bool stopped = false;
        drive.step(false, true, stopped);
        link.EndProcedure();
        line.CloseLog(endLine);
    }
    stepped();
    return end;
}

}  // namespace zd
