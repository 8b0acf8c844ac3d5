// Emergency lighting gear (device type 1) through the terminal link, typed: its state and last
// results read, a function or duration test started and followed to its result, and the test
// intervals, timeout, prolong time and test delay read and set. Every extended command goes out
// right after ENABLE DEVICE TYPE 1, and the ones the gear take only twice go out twice; gear of
// another type are told apart before anything is sent to them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/DeviceReadout.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"
#include "engine/Terminal.h"

namespace zd {

// What answers at a short address.
enum class EmergencyPresence : std::uint8_t {
    // Gear of device type 1.
    Emergency,
    // Gear of another device type: it ignores the emergency commands.
    OtherType,
    // Nobody answers QUERY DEVICE TYPE there.
    NoGear,
    // The answer could not be read (several gear, a failed link).
    Unreadable,
};
const char* EmergencyPresenceName(EmergencyPresence presence);

enum class EmergencyMode : std::uint8_t {
    Rest,
    Normal,
    Emergency,
    ExtendedEmergency,
    FunctionTest,
    DurationTest,
    Unknown,
};
const char* EmergencyModeName(EmergencyMode mode);
// The mode a QUERY EMERGENCY MODE byte names.
EmergencyMode EmergencyModeOf(std::uint8_t mode);

// The English names of the bits set in a byte, lowest bit first.
std::vector<std::string> EmergencyFailureNames(std::uint8_t failureStatus);
std::vector<std::string> EmergencyStatusNames(std::uint8_t emergencyStatus);
std::vector<std::string> EmergencyFeatureNames(std::uint8_t features);

// Bits of the failure status that a test sets.
inline constexpr std::uint8_t kEmergencyFunctionTestFailed = 0x40;
inline constexpr std::uint8_t kEmergencyDurationTestFailed = 0x80;
// Bits of the emergency status.
inline constexpr std::uint8_t kEmergencyFunctionTestDone = 0x02;
inline constexpr std::uint8_t kEmergencyDurationTestDone = 0x04;
inline constexpr std::uint8_t kEmergencyBatteryFull = 0x08;
inline constexpr std::uint8_t kEmergencyFunctionTestPending = 0x10;
inline constexpr std::uint8_t kEmergencyDurationTestPending = 0x20;

// Who is at an address: the device type as read.
struct EmergencyGearCheck {
    EmergencyPresence presence = EmergencyPresence::NoGear;
    ReadByte deviceType;
};

// One emergency gear as its queries read it; values as the gear gives them.
struct EmergencyState {
    ReadByte mode;
    ReadByte features;
    ReadByte failureStatus;
    ReadByte emergencyStatus;
    // 0 deep discharge .. 254 full, 255 unknown.
    ReadByte batteryCharge;
    // 2-minute units.
    ReadByte ratedDuration;
    ReadByte durationTestResult;
    // Hours on battery; 4-hour units of operation.
    ReadByte lampEmergencyTime;
    ReadByte lampTotalOperationTime;
    ReadByte emergencyLevel;
    ReadByte emergencyMinLevel;
    ReadByte emergencyMaxLevel;
};

struct EmergencyStatusReport {
    std::int16_t address = 0;
    EmergencyGearCheck gear;
    // Read only from gear of device type 1.
    std::optional<EmergencyState> state;
    // Incomplete for no gear or gear of another type, with the text that says so.
    EngineOutcome outcome;
};

// Reads the state of the gear at a short address (0 to 63).
EmergencyStatusReport ReadEmergencyStatus(EngineTerminal& terminal, std::int16_t address);

enum class EmergencyTestKind : std::uint8_t { Function, Duration };
const char* EmergencyTestKindName(EmergencyTestKind kind);

struct EmergencyTestRequest {
    std::int16_t address = 0;
    EmergencyTestKind kind = EmergencyTestKind::Function;
    // How often the gear is asked how the test goes: 0 for the usual (2 s for a function test,
    // a minute for a duration test).
    std::int64_t pollMs = 0;
    // How long the test may take, pending time included: 0 for the usual (30 minutes for a
    // function test, the rated duration and 2 hours for a duration test). Once it runs, a
    // function test may run 5 minutes and a duration test its rated duration and 30 minutes;
    // a gear back in normal operation without the done flag gave no result.
    std::int64_t limitMs = 0;
};

struct EmergencyTestResult {
    // The gear reported the test done (its done flag).
    bool done = false;
    // None when the failure status could not be read.
    std::optional<bool> passed;
    std::optional<std::uint8_t> failureStatus;
    // Duration test: the time reached and the rated duration, in minutes.
    std::optional<int> durationMinutes;
    std::optional<int> ratedMinutes;
    std::optional<int> batteryCharge;
    // From the start to the result on the run's clock.
    std::int64_t tookMs = 0;
};

struct EmergencyTestReport {
    std::int16_t address = 0;
    EmergencyTestKind kind = EmergencyTestKind::Function;
    EmergencyGearCheck gear;
    EmergencyTestResult result;
    // Incomplete: no gear, another type, no result within the limit; Cancelled: the caller
    // stopped it, and STOP TEST went out.
    EngineOutcome outcome;
};

// Clears the test's done flag and starts the test, for a front end that follows it on its own
// timer with ReadEmergencyStatus; STOP TEST ends a running test and cancels a pending one. Neither
// checks the device type: a front end that shows the gear's state has read it.
EngineOutcome StartEmergencyTest(EngineTerminal& terminal, std::int16_t address,
                                 EmergencyTestKind kind);
EngineOutcome StopEmergencyTest(EngineTerminal& terminal, std::int16_t address);

// One test followed to its result a poll at a time: RunEmergencyTest polls it on the clock; a
// session held open polls it between other jobs while the gear tests on its own, and the line
// stays free for switching and queries meanwhile.
class EmergencyTestRun {
  public:
    EmergencyTestRun(EngineTerminal& terminal, const EmergencyTestRequest& request);
    // Checks the device type, reads the rated duration and starts the test; false when it did
    // not start (Finish says why).
    bool Start();
    // Asks the gear once how the test goes; false once it is over (done, or the gear stopped
    // answering).
    bool Poll(const ProgressFn& progress = {});
    // The result when the gear reported it done; otherwise STOP TEST goes out and the outcome
    // says why: cancelled, the limit passed, the connection or the gear gone.
    EmergencyTestReport Finish(bool cancelled);

    bool Done() const { return m_done; }
    std::int64_t PollMs() const { return m_pollMs; }
    std::int64_t LimitMs() const { return m_limitMs; }
    std::int64_t ElapsedMs() const;
    const EmergencyTestRequest& Request() const { return m_request; }

  private:
    bool Function() const;

    EngineTerminal& m_terminal;
    EmergencyTestRequest m_request;
    EmergencyTestReport m_report;
    std::int64_t m_pollMs = 0;
    std::int64_t m_limitMs = 0;
    std::int64_t m_startMs = 0;
    int m_silentPolls = 0;
    bool m_done = false;
    // Polls in a row that found the gear back in normal operation without a result; when the
    // test was first seen running, and how long it may run; why it ended without a result.
    int m_normalPolls = 0;
    std::optional<std::int64_t> m_runningSinceMs;
    std::int64_t m_runLimitMs = 0;
    std::string m_endedWithout;
};

// Clears the test's done flag, starts it and asks every pollMs until the gear reports it done;
// then reads the failure status, the duration reached and the battery. Cancel is asked between
// two polls.
EmergencyTestReport RunEmergencyTest(EngineTerminal& terminal, const EmergencyTestRequest& request,
                                     const ProgressFn& progress = {},
                                     const std::function<bool()>& cancel = {});

// The settings behind the automatic tests.
struct EmergencyTiming {
    // Days (0: no automatic function test), weeks (0: none), days (0: 15 minutes), 30-second
    // units.
    ReadByte functionTestInterval;
    ReadByte durationTestInterval;
    ReadByte testExecutionTimeout;
    ReadByte prolongTime;
    // Quarter hours to the next automatic test; none without automatic tests or unread.
    std::optional<int> nextFunctionTestQuarters;
    std::optional<int> nextDurationTestQuarters;
};

// What to change; none leaves a value as it is. Ranges: intervals 0 to 255 days and 0 to 97
// weeks, timeout 0 to 255 days, prolong 0 to 255, test delay 0 to 65535 quarter hours.
struct EmergencyTimingChange {
    std::optional<int> functionTestInterval;
    std::optional<int> durationTestInterval;
    std::optional<int> testExecutionTimeout;
    std::optional<int> prolongTime;
    std::optional<int> testDelay;

    bool Empty() const {
        return !functionTestInterval && !durationTestInterval && !testExecutionTimeout &&
               !prolongTime && !testDelay;
    }
};
// Which value of a change is outside its range, or none.
std::optional<std::string> EmergencyTimingChangeError(const EmergencyTimingChange& change);

struct EmergencyTimingReport {
    std::int16_t address = 0;
    EmergencyGearCheck gear;
    std::optional<EmergencyTiming> timing;
    // The changes that went out and read back as written (the test delay is not read back).
    std::vector<std::string> written;
    std::vector<std::string> notTaken;
    EngineOutcome outcome;
};

EmergencyTimingReport ReadEmergencyTiming(EngineTerminal& terminal, std::int16_t address);
// Writes the change (refused when a value is out of range) and reads the timing back.
EmergencyTimingReport WriteEmergencyTiming(EngineTerminal& terminal, std::int16_t address,
                                           const EmergencyTimingChange& change);

}  // namespace zd
