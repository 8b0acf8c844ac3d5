// The simulated terminal: its process image, the command handshake with the control, the DALI (or
// DSI) line it drives with frame timing, repeats of send-twice commands, its registers, the
// watchdog table and its own random addressing. Everything advances lazily to the shared
// scheduler's clock.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "platform/Scheduler.h"
#include "sim/Ballast.h"
#include "sim/DaliFrame.h"
#include "sim/FirmwareAddressing.h"
#include "sim/Line.h"
#include "sim/ProcessImage.h"

namespace zd::sim {

// Misbehaviour on request.
struct TerminalFaults {
    // Written output words never become visible to the terminal (the fieldbus cycle stalls).
    bool m_takeOverNeverComes = false;
    // The next n commands of the control meet another master on the line: status bit 1, and the
    // frame reaches no gear.
    int m_collideNextCommands = 0;
    // Bits 1 to 7 of the second input data byte, which the terminal may use for its own ends; set
    // with every answer and result it writes.
    std::uint8_t m_otherInputBits = 0;
    // The outcome of each control command (acknowledge, collision and corrupt-frame bits, the
    // answer) appears this long after its transaction has ended on the line (0 to 5000 ms). The
    // line is not slowed: queued commands go out as soon as it is free.
    std::int64_t m_acknowledgeDelayMs = 0;
    // Another master wakes up with the control's first INITIALISE: the n commands after it meet
    // it on the line (status bit 1, the frame reaches no gear), and from then on every command
    // meets it with this probability (0 to 100 %).
    int m_collideAfterInitialise = 0;
    int m_collisionPercent = 0;
    // The whole line loses its mains after this many more forward frames (0: off), for
    // mainsOffMs; the gear come back as gear switched on, addresses kept.
    int m_mainsOffAfterFrames = 0;
    std::int64_t m_mainsOffMs = 0;

    bool operator==(const TerminalFaults&) const = default;
};

struct TerminalConfig {
    // The terminal's position on the fieldbus: the nDevice of its registers (1 or more).
    std::int32_t position = 1;
    // Register 9: two ASCII characters, "1M" and later run random addressing in the firmware.
    std::uint16_t firmwareVersion = 0x314D;
    // Register 32: bit 3 power supply unit off, bit 4 no counting of DALI devices, bits 12 to 15
    // the operation mode (0 DALI, 1 DSI).
    std::uint16_t featureRegister = 0;
    // Register 31: the code word last written, which unlocks writes to register 32.
    std::uint16_t codeWord = 0;
    // The fieldbus cycle: how long a written output word takes to reach the terminal.
    std::int64_t takeOverDelayMs = 0;
    ImageLayout layout = ImageLayout::Packed(0, 1);
    bool identicalAnswersDecode = false;
    std::uint32_t randomSeed = 1;
    TerminalFaults faults;
};

// The last watchdog message the host wrote into table 99.
struct WatchdogRecord {
    std::int64_t lastMs = -1;
    std::int64_t count = 0;
    std::array<std::uint16_t, 3> words{};
};

// A frame as it went over the line (kept only while the frame log is on).
struct SentFrame {
    Micros endUs = 0;
    std::uint16_t frame = 0;
    bool dsi = false;
    // What the master heard after the frame (DALI only; a DSI frame has no answer).
    LineAnswer answer;
    // Sent by the terminal's own random addressing rather than for a command of the control.
    bool byFirmware = false;
    // The terminal's second frame of a send-twice command.
    bool repeat = false;
};

class Terminal {
  public:
    static constexpr std::uint16_t kCodeWord = 0x52D6;
    static constexpr std::int32_t kRegisterFirmwareVersion = 9;
    static constexpr std::int32_t kRegisterCodeWord = 31;
    static constexpr std::int32_t kRegisterFeatures = 32;
    static constexpr std::int32_t kRegisterCount = 64;
    static constexpr std::int32_t kWatchdogTable = 99;

    // Throws ControlError for a position below 1 or a layout the terminal cannot serve.
    explicit Terminal(Scheduler& scheduler, const TerminalConfig& config = {});

    // Device communication. nDevice 0: the process-image tables and the watchdog table 99;
    // nDevice = position: register table 0. Anything else throws ControlError. A register write
    // that the terminal does not take (register 32 without the code word in register 31, or a
    // read-only register) is refused silently and counted, as the real terminal ignores it. A
    // write to process-image words that carry the terminal's inputs throws ControlError.
    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData);
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData);

    // Brings frames, acknowledges, take-overs, lamp events and the firmware run up to the clock.
    void AdvanceToNow();
    // The simulator's clock now, in the gear's microseconds.
    Micros NowMicros() const { return NowUs(); }

    // A layout from a station document replaces the terminal's own; the image starts cleared.
    void SetLayout(const ImageLayout& layout);
    const ImageLayout& Layout() const { return m_image.Layout(); }
    void SetTakeOverDelay(std::int64_t ms) { m_takeOverDelayUs = ms * 1000; }
    std::int32_t Position() const { return m_position; }
    std::uint16_t Register(std::int32_t number) const;
    bool DsiMode() const { return ((m_features >> 12) & 0x0F) == 1; }
    std::int64_t RefusedRegisterWrites() const { return m_refusedRegisterWrites; }
    const WatchdogRecord& Watchdog() const { return m_watchdog; }
    bool FirmwareAddressingRunning() {
        AdvanceToNow();
        return m_firmware.has_value();
    }
    std::uint8_t StatusByte() {
        AdvanceToNow();
        return m_image.StatusByte();
    }

    // The line and its gear.
    Line& GetLine() { return m_line; }
    int AddGear(const GearConfig& config) { return m_line.AddGear(config, NowUs()).Id(); }
    bool RemoveGear(int id) { return m_line.RemoveGear(id); }
    // The gear as it stands now (the terminal first catches up with the clock). Throws ControlError
    // for an id that is not on the line.
    Ballast& Gear(int id);
    // The gear's level now, fades included: what a picture of the lamps shows.
    std::uint8_t GearLevel(int id);
    void SetLamp(int id, LampState lamp);
    // The lamp changes when the clock reaches atMs (at once if that has passed).
    void ScheduleLamp(int id, LampState lamp, std::int64_t atMs);
    // The gear leaves the line when the clock reaches atMs.
    void ScheduleRemoveGear(int id, std::int64_t atMs);
    // The lamp changes of the gear still to come, with their times on the clock.
    std::vector<std::pair<Micros, LampState>> ScheduledLamps(int id) const;

    TerminalFaults& Faults() { return m_faults; }
    void SetFrameLog(bool on) { m_frameLogOn = on; }
    const std::vector<SentFrame>& FrameLog() {
        AdvanceToNow();
        return m_frameLog;
    }
    void ClearFrameLog() { m_frameLog.clear(); }

  private:
    enum class Owner { Control, Firmware };
    struct Transaction {
        Owner owner = Owner::Control;
        std::uint16_t frame = 0;
        bool dsi = false;
        int framesLeft = 1;
        // Frames of the transaction already on the line (a send-twice command has two).
        int framesSent = 0;
        bool collision = false;
        bool completing = false;
        std::uint8_t toggle = 0;
        LineAnswer answer;
    };
    struct QueuedCommand {
        std::uint16_t frame = 0;
        bool dsi = false;
        std::uint8_t toggle = 0;
    };
    struct PendingWrite {
        Micros visibleUs = 0;
        std::int32_t table = 0;
        std::int32_t offset = 0;
        std::int32_t count = 0;
        std::array<std::uint16_t, 8> words{};
    };
    struct PendingOutcome {
        Micros dueUs = 0;
        Transaction transaction;
    };
    struct ScriptEvent {
        Micros atUs = 0;
        int gearId = 0;
        // None: the gear is removed.
        std::optional<LampState> lamp;
    };

    Micros NowUs() const { return m_scheduler.Now() * 1000; }
    void AdvanceTo(Micros targetUs);
    std::uint16_t SwapIfMotorola(std::uint16_t value) const;
    void OnOutputVisible(Micros atUs);
    void AcceptCommand(std::uint8_t toggle, Micros atUs);
    void StartFirmware(Micros atUs);
    void StartNextOnLine(Micros atUs);
    void StartTransaction(const Transaction& transaction, Micros atUs);
    void OnLineEvent(Micros atUs);
    void FinishControlCommand(const Transaction& transaction);
    // Whether the control's command taken next meets another master (the collision faults).
    bool MeetsOtherMaster(std::uint16_t frame);
    // The line's mains: taken away after the frame that ends the count, back when the time is up.
    void CountFrameForMains(Micros atUs);
    void RestoreMainsDue(Micros atUs);
    void FinishFirmware();
    void Schedule(const ScriptEvent& event);
    void SetInput(std::uint16_t value) {
        value = static_cast<std::uint16_t>(value | ((m_faults.m_otherInputBits & 0xFE) << 8));
        m_image.SetInputValue(SwapIfMotorola(value));
    }
    void ReadRegisters(std::int32_t nTable, std::int32_t nOffset, std::int32_t nCount,
                       std::uint16_t* pData) const;
    void WriteRegisters(std::int32_t nTable, std::int32_t nOffset, std::int32_t nCount,
                        const std::uint16_t* pData);

    Scheduler& m_scheduler;
    ProcessImage m_image;
    Line m_line;
    std::int32_t m_position;
    std::uint16_t m_firmwareVersion;
    std::uint16_t m_features;
    std::uint16_t m_codeWord = 0;
    std::int64_t m_refusedRegisterWrites = 0;
    Micros m_takeOverDelayUs;
    WatchdogRecord m_watchdog;
    TerminalFaults m_faults;

    std::uint8_t m_lastControl = 0;
    std::deque<PendingWrite> m_pendingWrites;
    std::vector<ScriptEvent> m_scriptEvents;

    std::optional<Transaction> m_transaction;
    Micros m_lineEventUs = kNever;
    Micros m_lineFreeUs = 0;
    std::deque<QueuedCommand> m_commandQueue;
    // Outcomes of control commands the terminal has yet to publish, in order.
    std::deque<PendingOutcome> m_pendingOutcomes;
    std::optional<FirmwareAddressing> m_firmware;
    std::optional<std::uint16_t> m_firmwareFrame;

    bool m_frameLogOn = false;
    std::vector<SentFrame> m_frameLog;

    // The collision faults: whether the control's first INITIALISE has gone out, and their own
    // random source, so that a seed repeats a run.
    bool m_initialiseSeen = false;
    std::mt19937 m_collisionRandom;
    // The gear the line's mains loss took down, and when the mains come back.
    std::vector<int> m_mainsOffGear;
    Micros m_mainsBackUs = kNever;
};

}  // namespace zd::sim
