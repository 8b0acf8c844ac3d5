#include "sim/Terminal.h"

#include <algorithm>
#include <string>

#include "platform/Error.h"

namespace zd::sim {

namespace {

constexpr std::uint8_t kStatusAcknowledge = 0x01;
constexpr std::uint8_t kStatusCollision = 0x02;
constexpr std::uint8_t kStatusCorruptFrame = 0x04;
constexpr std::uint8_t kStatusFirmwareAddressing = 0x08;
constexpr std::uint8_t kControlToggle = 0x01;
constexpr std::uint8_t kControlStartAddressing = 0x08;
constexpr std::uint16_t kAnswerPresent = 0x0100;
constexpr std::int32_t kWatchdogWords = 16;

[[noreturn]] void Fail(const std::string& description) {
    throw ControlError(description, kLibraryTitle, kErrDevCom);
}

}  // namespace

Terminal::Terminal(Scheduler& scheduler, const TerminalConfig& config)
    : m_scheduler(scheduler),
      m_line(config.randomSeed),
      m_position(config.position),
      m_firmwareVersion(config.firmwareVersion),
      m_features(config.featureRegister),
      m_codeWord(config.codeWord),
      m_takeOverDelayUs(config.takeOverDelayMs * 1000),
      m_faults(config.faults),
      m_collisionRandom(config.randomSeed) {
    if (m_position < 1)
        Fail("terminal position " + std::to_string(m_position) + " is not 1 or more");
    m_image.SetLayout(config.layout);
    m_line.SetIdenticalAnswersDecode(config.identicalAnswersDecode);
}

void Terminal::SetLayout(const ImageLayout& layout) {
    AdvanceToNow();
    m_image.SetLayout(layout);
    m_lastControl = 0;
    m_pendingWrites.clear();
}

std::uint16_t Terminal::Register(std::int32_t number) const {
    switch (number) {
        case kRegisterFirmwareVersion:
            return m_firmwareVersion;
        case kRegisterCodeWord:
            return m_codeWord;
        case kRegisterFeatures:
            return m_features;
        default:
            return 0;
    }
}

Ballast& Terminal::Gear(int id) {
    AdvanceToNow();
    Ballast* gear = m_line.FindGear(id);
    if (gear == nullptr)
        throw ControlError("no gear " + std::to_string(id) + " on the simulated line");
    return *gear;
}

std::uint8_t Terminal::GearLevel(int id) {
    return Gear(id).LevelAt(NowUs());
}

void Terminal::SetLamp(int id, LampState lamp) {
    Gear(id).SetLamp(lamp);
}

void Terminal::ScheduleLamp(int id, LampState lamp, std::int64_t atMs) {
    Schedule(ScriptEvent{atMs * 1000, id, lamp});
}

void Terminal::ScheduleRemoveGear(int id, std::int64_t atMs) {
    Schedule(ScriptEvent{atMs * 1000, id, std::nullopt});
}

std::vector<std::pair<Micros, LampState>> Terminal::ScheduledLamps(int id) const {
    std::vector<std::pair<Micros, LampState>> lamps;
    for (const ScriptEvent& event : m_scriptEvents)
        if (event.gearId == id && event.lamp) lamps.emplace_back(event.atUs, *event.lamp);
    return lamps;
}

void Terminal::Schedule(const ScriptEvent& event) {
    // Events at the same time happen in the order they were scheduled.
    auto later = std::upper_bound(
        m_scriptEvents.begin(), m_scriptEvents.end(), event,
        [](const ScriptEvent& a, const ScriptEvent& b) { return a.atUs < b.atUs; });
    m_scriptEvents.insert(later, event);
}

std::uint16_t Terminal::SwapIfMotorola(std::uint16_t value) const {
    if (!m_image.Layout().motorola) return value;
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

void Terminal::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                         std::int32_t nCount, std::uint16_t* pData) {
    AdvanceToNow();
    if (nDevice == 0 && nTable == kWatchdogTable) {
        if (nOffset < 0 || nCount < 1 || nOffset > kWatchdogWords - nCount)
            Fail("watchdog table: words out of range");
        for (std::int32_t i = 0; i < nCount; ++i) {
            const std::int32_t word = nOffset + i;
            pData[i] = word < 3 ? m_watchdog.words[static_cast<std::size_t>(word)] : 0;
        }
        return;
    }
    if (nDevice == 0) {
        m_image.Read(nTable, nOffset, nCount, pData);
        return;
    }
    if (nDevice == m_position) {
        ReadRegisters(nTable, nOffset, nCount, pData);
        return;
    }
    Fail("no terminal at position " + std::to_string(nDevice));
}

void Terminal::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                          std::int32_t nCount, const std::uint16_t* pData) {
    AdvanceToNow();
    const Micros now = NowUs();
    if (nDevice == 0 && nTable == kWatchdogTable) {
        if (nOffset < 0 || nCount < 1 || nOffset > kWatchdogWords - nCount)
            Fail("watchdog table: words out of range");
        for (std::int32_t i = 0; i < nCount; ++i) {
            const std::int32_t word = nOffset + i;
            if (word < 3) m_watchdog.words[static_cast<std::size_t>(word)] = pData[i];
        }
        m_watchdog.lastMs = m_scheduler.Now();
        ++m_watchdog.count;
        return;
    }
    if (nDevice == 0) {
        m_image.CheckWrite(nTable, nOffset, nCount);
        if (m_takeOverDelayUs <= 0 && m_pendingWrites.empty() && !m_faults.m_takeOverNeverComes) {
            m_image.Write(nTable, nOffset, nCount, pData);
            OnOutputVisible(now);
            return;
        }
        // The fieldbus carries the words to the terminal with its next cycle.
        for (std::int32_t done = 0; done < nCount;) {
            PendingWrite write;
            write.visibleUs = now + m_takeOverDelayUs;
            write.table = nTable;
            write.offset = nOffset + done;
            write.count = std::min<std::int32_t>(nCount - done,
                                                 static_cast<std::int32_t>(write.words.size()));
            std::copy(pData + done, pData + done + write.count, write.words.begin());
            done += write.count;
            m_pendingWrites.push_back(write);
        }
        return;
    }
    if (nDevice == m_position) {
        WriteRegisters(nTable, nOffset, nCount, pData);
        return;
    }
    Fail("no terminal at position " + std::to_string(nDevice));
}

void Terminal::ReadRegisters(std::int32_t nTable, std::int32_t nOffset, std::int32_t nCount,
                             std::uint16_t* pData) const {
    if (nTable != 0)
        Fail("terminal " + std::to_string(m_position) + " has no register table " +
             std::to_string(nTable));
    if (nOffset < 0 || nCount < 1 || nOffset > kRegisterCount - nCount)
        Fail("register out of range");
    for (std::int32_t i = 0; i < nCount; ++i) pData[i] = Register(nOffset + i);
}

void Terminal::WriteRegisters(std::int32_t nTable, std::int32_t nOffset, std::int32_t nCount,
                              const std::uint16_t* pData) {
    if (nTable != 0)
        Fail("terminal " + std::to_string(m_position) + " has no register table " +
             std::to_string(nTable));
    if (nOffset < 0 || nCount < 1 || nOffset > kRegisterCount - nCount)
        Fail("register out of range");
    for (std::int32_t i = 0; i < nCount; ++i) {
        const std::int32_t number = nOffset + i;
        if (number == kRegisterCodeWord) {
            m_codeWord = pData[i];
        } else if (number == kRegisterFeatures && m_codeWord == kCodeWord) {
            m_features = pData[i];
        } else {
            ++m_refusedRegisterWrites;
        }
    }
}

void Terminal::AdvanceToNow() {
    AdvanceTo(NowUs());
    RestoreMainsDue(NowUs());
}

void Terminal::AdvanceTo(Micros targetUs) {
    for (;;) {
        // Line events first at equal times: an acknowledge due now is seen by a read now.
        Micros next = m_lineEventUs;
        int kind = 0;
        if (!m_scriptEvents.empty() && m_scriptEvents.front().atUs < next) {
            next = m_scriptEvents.front().atUs;
            kind = 1;
        }
        if (!m_pendingWrites.empty() && !m_faults.m_takeOverNeverComes &&
            m_pendingWrites.front().visibleUs < next) {
            next = m_pendingWrites.front().visibleUs;
            kind = 2;
        }
        if (!m_pendingOutcomes.empty() && m_pendingOutcomes.front().dueUs < next) {
            next = m_pendingOutcomes.front().dueUs;
            kind = 3;
        }
        if (next > targetUs) return;
        if (kind == 0) {
            OnLineEvent(next);
        } else if (kind == 1) {
            const ScriptEvent event = m_scriptEvents.front();
            m_scriptEvents.erase(m_scriptEvents.begin());
            if (!event.lamp) {
                m_line.RemoveGear(event.gearId);
            } else if (Ballast* gear = m_line.FindGear(event.gearId)) {
                gear->SetLamp(*event.lamp);
            }
        } else if (kind == 3) {
            const Transaction done = m_pendingOutcomes.front().transaction;
            m_pendingOutcomes.pop_front();
            FinishControlCommand(done);
        } else {
            const PendingWrite write = m_pendingWrites.front();
            m_pendingWrites.pop_front();
            m_image.Write(write.table, write.offset, write.count, write.words.data());
            OnOutputVisible(next);
        }
    }
}

void Terminal::OnOutputVisible(Micros atUs) {
    const std::uint8_t control = m_image.ControlByte();
    const std::uint8_t changed = control ^ m_lastControl;
    m_lastControl = control;
    if (changed & kControlToggle) AcceptCommand(control & kControlToggle, atUs);
    if ((changed & kControlStartAddressing) && (control & kControlStartAddressing))
        StartFirmware(atUs);
}

void Terminal::AcceptCommand(std::uint8_t toggle, Micros atUs) {
    // A new command clears the answer and the error bits of the last one.
    m_image.SetStatusByte(m_image.StatusByte() & ~(kStatusCollision | kStatusCorruptFrame));
    SetInput(0);
    const std::uint16_t word = SwapIfMotorola(m_image.OutputValue());
    m_commandQueue.push_back(QueuedCommand{word, DsiMode(), toggle});
    StartNextOnLine(atUs);
}

void Terminal::StartFirmware(Micros atUs) {
    if (m_firmware) return;
    if (DsiMode()) {
        // A DSI line has no addressing: the run ends before it starts.
        SetInput(kFirmwareInternalError);
        return;
    }
    m_firmware.emplace(SwapIfMotorola(m_image.OutputValue()));
    m_image.SetStatusByte(m_image.StatusByte() | kStatusFirmwareAddressing);
    m_firmwareFrame = m_firmware->Start();
    if (!m_firmwareFrame) {
        FinishFirmware();
        return;
    }
    StartNextOnLine(atUs);
}

void Terminal::StartNextOnLine(Micros atUs) {
    if (m_transaction) return;
    if (m_firmware) {
        // While the firmware addresses, the line is its own; the control's commands wait.
        if (!m_firmwareFrame) return;
        Transaction transaction;
        transaction.owner = Owner::Firmware;
        transaction.frame = *m_firmwareFrame;
        transaction.framesLeft = IsSendTwice(transaction.frame) ? 2 : 1;
        m_firmwareFrame.reset();
        StartTransaction(transaction, atUs);
        return;
    }
    if (m_commandQueue.empty()) return;
    const QueuedCommand command = m_commandQueue.front();
    m_commandQueue.pop_front();
    Transaction transaction;
    transaction.owner = Owner::Control;
    transaction.frame = command.frame;
    transaction.dsi = command.dsi;
    transaction.toggle = command.toggle;
    // The gear take a configuration command only when it comes twice: the terminal repeats it.
    transaction.framesLeft = !command.dsi && IsSendTwice(command.frame) ? 2 : 1;
    transaction.collision = !command.dsi && MeetsOtherMaster(command.frame);
    StartTransaction(transaction, atUs);
}

bool Terminal::MeetsOtherMaster(std::uint16_t frame) {
    if (m_faults.m_collideNextCommands > 0) {
        --m_faults.m_collideNextCommands;
        return true;
    }
    if (!m_initialiseSeen) {
        m_initialiseSeen = AddressByte(frame) == kInitialise;
        return false;
    }
    if (m_faults.m_collideAfterInitialise > 0) {
        --m_faults.m_collideAfterInitialise;
        return true;
    }
    return m_faults.m_collisionPercent > 0 &&
           static_cast<int>(m_collisionRandom() % 100) < m_faults.m_collisionPercent;
}

void Terminal::CountFrameForMains(Micros atUs) {
    if (m_faults.m_mainsOffAfterFrames <= 0 || --m_faults.m_mainsOffAfterFrames > 0) return;
    for (const auto& gear : m_line.Gear()) {
        if (!gear->Powered()) continue;
        gear->PowerDown();
        m_mainsOffGear.push_back(gear->Id());
    }
    m_mainsBackUs = atUs + m_faults.m_mainsOffMs * 1000;
}

void Terminal::RestoreMainsDue(Micros atUs) {
    if (m_mainsBackUs > atUs) return;
    for (const int id : m_mainsOffGear)
        if (Ballast* gear = m_line.FindGear(id)) gear->PowerUp(m_mainsBackUs);
    m_mainsOffGear.clear();
    m_mainsBackUs = kNever;
}

void Terminal::StartTransaction(const Transaction& transaction, Micros atUs) {
    m_transaction = transaction;
    const Micros startUs = std::max(atUs, m_lineFreeUs);
    m_lineEventUs = startUs + (transaction.dsi ? kDsiFrameUs : kForwardFrameUs);
}

void Terminal::OnLineEvent(Micros atUs) {
    Transaction& transaction = *m_transaction;
    if (!transaction.completing) {
        // The last bit of a forward frame: the gear act on it now.
        if (!transaction.collision) {
            RestoreMainsDue(atUs);
            if (transaction.dsi) {
                m_line.SendDsi(DataByte(transaction.frame));
            } else {
                transaction.answer = m_line.SendForward(transaction.frame, atUs);
                CountFrameForMains(atUs);
            }
            if (m_frameLogOn) {
                SentFrame sent;
                sent.endUs = atUs;
                sent.frame = transaction.frame;
                sent.dsi = transaction.dsi;
                if (!transaction.dsi) sent.answer = transaction.answer;
                sent.byFirmware = transaction.owner == Owner::Firmware;
                sent.repeat = transaction.framesSent > 0;
                m_frameLog.push_back(sent);
            }
            ++transaction.framesSent;
        }
        if (--transaction.framesLeft > 0 && !transaction.collision) {
            m_lineEventUs = atUs + kSettlingUs + kForwardFrameUs;
            return;
        }
        transaction.completing = true;
        if (transaction.collision || transaction.dsi) {
            m_lineEventUs = atUs;
        } else if (transaction.answer.kind == AnswerKind::None) {
            m_lineEventUs = atUs + kAnswerWindowUs;
        } else {
            m_lineEventUs = atUs + transaction.answer.delayUs + kBackwardFrameUs;
        }
        return;
    }
    // The transaction is over: the answer (or the silence) is known.
    const bool quietAlready =
        !transaction.collision && !transaction.dsi && transaction.answer.kind == AnswerKind::None;
    m_lineFreeUs = atUs + (quietAlready ? 0 : kSettlingUs);
    m_lineEventUs = kNever;
    const Transaction done = transaction;
    m_transaction.reset();
    if (done.owner == Owner::Control) {
        const Micros delayUs = m_faults.m_acknowledgeDelayMs * 1000;
        if (delayUs <= 0 && m_pendingOutcomes.empty()) {
            FinishControlCommand(done);
        } else {
            // A slow terminal: the outcome comes later, never before an earlier one.
            Micros dueUs = atUs + std::max<Micros>(0, delayUs);
            if (!m_pendingOutcomes.empty()) dueUs = std::max(dueUs, m_pendingOutcomes.back().dueUs);
            m_pendingOutcomes.push_back(PendingOutcome{dueUs, done});
        }
    } else if (m_firmware) {
        m_firmwareFrame = m_firmware->OnAnswer(done.answer);
        if (!m_firmwareFrame) FinishFirmware();
    }
    StartNextOnLine(atUs);
}

void Terminal::FinishControlCommand(const Transaction& transaction) {
    std::uint8_t status = m_image.StatusByte();
    status = static_cast<std::uint8_t>((status & ~kStatusAcknowledge) | transaction.toggle);
    if (transaction.collision) status |= kStatusCollision;
    if (transaction.answer.kind == AnswerKind::Corrupt) status |= kStatusCorruptFrame;
    m_image.SetStatusByte(status);
    if (transaction.answer.kind == AnswerKind::Byte)
        SetInput(kAnswerPresent | transaction.answer.value);
}

void Terminal::FinishFirmware() {
    SetInput(m_firmware->Result());
    m_image.SetStatusByte(m_image.StatusByte() & ~kStatusFirmwareAddressing);
    m_firmware.reset();
    m_firmwareFrame.reset();
}

}  // namespace zd::sim
