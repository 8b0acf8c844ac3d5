// The emergency part of a simulated gear of device type 1: its battery, which charges on mains and
// drains on emergency operation and duration tests, the function and duration tests with their
// results, automatic tests, inhibit, rest and identification, all on the simulator's clock, and the
// extended commands 0xE0 to 0xFF that act on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/DaliFrame.h"

namespace zd::sim {

// Failures a gear shows when a test finds them; a line file names them.
enum class EmergencyFailure : std::uint8_t {
    // Failure status bit 0: the emergency circuit does not work.
    Circuit = 0x01,
    // Bit 2: the battery holds no charge, so every test fails at once.
    Battery = 0x04,
    // Bit 3: the emergency lamp does not light.
    Lamp = 0x08,
};
// "circuit", "battery", "lamp"; none for another name.
std::optional<EmergencyFailure> EmergencyFailureNamed(const std::string& name);
const char* EmergencyFailureName(EmergencyFailure failure);
inline constexpr EmergencyFailure kEmergencyFailures[] = {
    EmergencyFailure::Circuit, EmergencyFailure::Battery, EmergencyFailure::Lamp};

// How an emergency gear misbehaves in its tests, switched as faults of the gear.
struct EmergencyFaults {
    // Ends a test at its time with the mode back to normal, but sets neither the done flag nor
    // a result.
    bool m_testEndsWithoutResult = false;
    // A test it starts runs on and never ends by itself (STOP TEST still ends it).
    bool m_testNeverEnds = false;

    bool operator==(const EmergencyFaults&) const = default;
};

// What an emergency gear is and where it stands; the defaults are a new gear, charged, on mains,
// rated for 3 hours. Times that run on are kept as what is left of them, so that a saved line
// continues where it stopped.
struct EmergencyConfig {
    // 0 deep discharge .. 254 full.
    int batteryCharge = 254;
    // How long a full battery lights the lamp; below the rated duration a duration test fails.
    int batteryMinutes = 200;
    // The rated duration, a multiple of 2 minutes (QUERY RATED DURATION counts 2-minute units).
    int ratedMinutes = 180;
    // From empty to full on mains.
    int rechargeMinutes = 24 * 60;
    // How long a function test lights the lamp on battery.
    int functionTestSeconds = 10;
    // The named failures (EmergencyFailure bits).
    std::uint8_t failures = 0;
    // The gear's mains input; off, it runs on battery (emergency mode).
    bool mains = true;
    std::uint8_t features = 0x99;
    std::uint8_t emergencyLevel = 254;
    std::uint8_t emergencyMinLevel = 1;
    std::uint8_t emergencyMaxLevel = 254;
    // Days (0: no automatic function test), weeks (0: none), days (0: 15 minutes), 30 s units.
    std::uint8_t functionTestInterval = 7;
    std::uint8_t durationTestInterval = 52;
    std::uint8_t testExecutionTimeout = 7;
    std::uint8_t prolongTime = 2;
    // The test delay last stored, in 15-minute units.
    std::uint16_t testDelay = 0;

    // Volatile state: what is left until the next automatic tests (from the intervals when not
    // given), of inhibit, prolong, identification, of a running test, and the pending tests.
    std::optional<std::int64_t> nextFunctionTestMs;
    std::optional<std::int64_t> nextDurationTestMs;
    std::int64_t inhibitRemainingMs = 0;
    std::int64_t prolongRemainingMs = 0;
    std::int64_t identifyRemainingMs = 0;
    bool rest = false;
    // 0 none, 1 function, 2 duration; with the time it has run.
    int runningTest = 0;
    std::int64_t runningTestMs = 0;
    // Pending tests and how long they have waited.
    std::optional<std::int64_t> functionPendingMs;
    std::optional<std::int64_t> durationPendingMs;
    // Results: the done flags, the failure status byte, the duration reached (minutes).
    bool functionTestDone = false;
    bool durationTestDone = false;
    std::uint8_t failureStatus = 0;
    int durationResultMinutes = 0;
    // The lamp's time lit on battery, and its whole operating time.
    std::int64_t lampEmergencyMs = 0;
    std::int64_t lampTotalMs = 0;

    bool operator==(const EmergencyConfig&) const = default;
};

class EmergencyGear {
  public:
    EmergencyGear(const EmergencyConfig& config, Micros nowUs);

    // An extended command addressed to the gear right after ENABLE DEVICE TYPE 1; the answer of a
    // query. dtr is the gear's DTR, which some commands read.
    std::optional<std::uint8_t> Execute(std::uint8_t command, std::uint8_t dtr, Micros nowUs);
    // The commands the gear takes only when they come twice within 100 ms.
    static bool SendTwice(std::uint8_t command) {
        return (command >= 0xE0 && command <= 0xF0) || command == 0xFE;
    }

    // Scripting: the unit's own mains input.
    void SetMains(bool on, Micros nowUs);
    void SetFailures(std::uint8_t failures) { m_s.failures = failures; }
    void SetFaults(const EmergencyFaults& faults) { m_faults = faults; }

    // The state at nowUs, as a line file saves it.
    EmergencyConfig Capture(Micros nowUs);
    std::uint8_t ModeAt(Micros nowUs);
    std::uint8_t StatusAt(Micros nowUs);

  private:
    void Advance(Micros nowUs);
    // The first event at or before limitMs from now, or limitMs.
    std::int64_t NextEventMs(std::int64_t limitMs) const;
    void RunFor(std::int64_t ms);
    void HandleEvents();
    void StartOrPend(int test);
    bool CanStart(int test) const;
    void BeginTest(int test);
    void EndTest(bool passed);
    void StopTest();
    bool OnBattery() const { return !m_s.mains || m_s.runningTest != 0; }
    bool LampLit() const;
    double DrainPerMs() const;
    double ChargePerMs() const;
    std::uint8_t Mode() const;
    std::uint8_t Status() const;
    std::optional<std::uint8_t> TestTiming(std::uint8_t selector) const;
    void FactorySettings();
    void ScheduleAutomaticTests();

    EmergencyConfig m_s;
    EmergencyFaults m_faults;
    double m_charge;
    Micros m_atUs;
};

}  // namespace zd::sim
