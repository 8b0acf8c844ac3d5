// One device read straight through the terminal link, typed: the twelve variables of the
// Variables page, the groups and the scene levels, with the queries, order and second asks of the
// device pages. Reading never changes the device: only queries go out (and the optical feedback
// where the caller asks for it), no preview as the Scenes page's editor sends one.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "engine/Outcome.h"
#include "engine/Progress.h"
#include "engine/Terminal.h"

namespace zd {

// How one query came back.
enum class ReadState : std::uint8_t {
    // One gear answered.
    Answered,
    // Nobody answered, also when asked a second time.
    NoAnswer,
    // Several gear answered at once (a corrupt frame or a collision on the line).
    SeveralAnswered,
    // The device communication failed (its box has been shown), or the link refused the request.
    LinkFailed,
    // Not asked: the reading ended before, on a lost connection.
    NotAsked,
};

// What a receive's result says of the gear asked: an answer, silence, several at once, or a
// failed link.
ReadState ReadStateOf(Result result);
const char* ReadStateName(ReadState state);
std::ostream& operator<<(std::ostream& out, ReadState state);

// One byte as a query read it.
struct ReadByte {
    ReadState state = ReadState::NotAsked;
    // The answer; 0 unless answered.
    std::uint8_t value = 0;

    bool Answered() const { return state == ReadState::Answered; }
    std::optional<std::uint8_t> Value() const {
        return Answered() ? std::optional<std::uint8_t>(value) : std::nullopt;
    }
};

// The Variables page's twelve variables, in its order.
enum class DeviceVariable : std::uint8_t {
    ActualLevel,
    PowerOnLevel,
    SystemFailureLevel,
    MinLevel,
    MaxLevel,
    FadeRate,
    FadeTime,
    RandomAddress,
    Status,
    Version,
    DeviceType,
    PhysicalMinLevel,
};
inline constexpr int kDeviceVariableCount = 12;
inline constexpr int kDeviceGroupCount = 16;
inline constexpr int kDeviceSceneCount = 16;

// Status byte bit 1: the lamp has failed.
inline constexpr std::uint8_t kStatusLampFailure = 0x02;

// The variable at a position of the page's list (0 to 11).
constexpr DeviceVariable DeviceVariableAt(int pos) {
    return static_cast<DeviceVariable>(pos);
}
constexpr int DeviceVariablePos(DeviceVariable variable) {
    return static_cast<int>(variable);
}
// "actual-level", "fade-rate", "random-address" ...: the names of the command line and the backup.
const char* DeviceVariableName(DeviceVariable variable);
// The query that reads the variable; the random address's is QUERY RANDOM ADDRESS H, followed by
// M and L.
std::int16_t DeviceVariableQuery(DeviceVariable variable);
// The variable's value in a query's answer: the fade rate the low nibble of QUERY FADE TIME / FADE
// RATE, the fade time its high nibble, every other one the byte. (The random address takes three
// answers: see DeviceVariables::RandomAddress.)
std::int32_t DeviceVariableValue(DeviceVariable variable, std::uint8_t answer);

struct DeviceVariables {
    // Each variable as its query came back, the fade rate and fade time already their nibble; the
    // random address's entry holds how its three bytes came back together (the first that was not
    // answered), its value is in randomAddress.
    std::array<ReadByte, kDeviceVariableCount> values{};
    // QUERY RANDOM ADDRESS H, M and L.
    std::array<ReadByte, 3> randomAddress{};

    const ReadByte& operator[](DeviceVariable variable) const {
        return values[static_cast<std::size_t>(variable)];
    }
    // The value as the Variables page holds it (the random address as its 24 bits); none when it
    // was not read.
    std::optional<std::int32_t> Value(DeviceVariable variable) const;
    std::optional<std::uint32_t> RandomAddress() const;
    // Status bit 1, where the status was read.
    std::optional<bool> LampFailure() const;
    // The variables that were not read, in the page's order.
    std::vector<DeviceVariable> Unread() const;
};

struct DeviceGroups {
    // QUERY GROUPS 0-7 and 8-15: bit n of the first is group n.
    std::array<ReadByte, 2> masks{};

    // Whether the device belongs to the group; none when its half was not read.
    std::optional<bool> Member(int group) const;
    // The groups it belongs to, of those read, ascending.
    std::vector<int> Groups() const;
    // The groups whose half was not read, ascending.
    std::vector<int> Unread() const;
};

struct DeviceScenes {
    // QUERY SCENE LEVEL 0 to 15; 255 (MASK): not in the scene.
    std::array<ReadByte, kDeviceSceneCount> levels{};

    std::optional<std::uint8_t> Level(int scene) const {
        return levels.at(static_cast<std::size_t>(scene)).Value();
    }
    std::vector<int> Unread() const;
};

// What the device answered over the whole reading.
enum class DeviceAnswer : std::uint8_t {
    // Every query.
    Answered,
    // Some queries; the others got no answer.
    Partly,
    // None.
    Silent,
    // Several gear answered at once, to one query at least: the address is used twice.
    Conflict,
    // The connection was lost: the reading ended where it was.
    LinkLost,
};
const char* DeviceAnswerName(DeviceAnswer answer);
std::ostream& operator<<(std::ostream& out, DeviceAnswer answer);

// The part of a reading that progress tells of.
enum class ReadoutPart : std::uint8_t { Variables, Groups, Scenes };

struct ReadoutOptions {
    bool variables = true;
    bool groups = true;
    bool scenes = true;
    // The device tab's optical selection feedback: every lamp to its minimum level, then this
    // device's to its maximum, before the reading. It changes levels, so only on request.
    bool opticalFeedback = false;
    // Hears of each step before it is read. The reading cannot be cancelled: it is short.
    // Before each step: the part as the stage (Variables, Groups, Scenes), the step of the part
    // (a variable, a half of the groups, a scene) and its steps, the steps of the whole reading
    // before this one and all of them.
    ProgressFn progress;
};

struct DeviceReadout {
    int shortAddress = 0;
    // The parts the options asked for.
    std::optional<DeviceVariables> variables;
    std::optional<DeviceGroups> groups;
    std::optional<DeviceScenes> scenes;
    DeviceAnswer answer = DeviceAnswer::Silent;
    // Refused (not in DALI mode, an address outside 0 to 63; nothing was sent), CommunicationLost,
    // Incomplete (something could not be read: answer says why), or none.
    EngineOutcome outcome;

    // Every asked value was read.
    bool Complete() const { return answer == DeviceAnswer::Answered; }
};

// Reads the device at shortAddress (0 to 63) as the device pages read it, part by part in the
// order variables, groups, scenes. Between two queries the scheduler's events run, as they do
// while a page reads, so that a window stays alive. A lost connection (Link::CommunicationLost)
// ends the reading with what it has read.
DeviceReadout ReadDevice(EngineTerminal& terminal, int shortAddress,
                         const ReadoutOptions& options = {});

}  // namespace zd
