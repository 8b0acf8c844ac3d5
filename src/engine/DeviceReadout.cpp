#include "engine/DeviceReadout.h"

#include <string>

#include "link/Commands.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

struct VariableEntry {
    const char* name;
    std::int16_t nQuery;
};

// In the Variables page's order; the fade rate and the fade time are asked for each by itself.
constexpr std::array<VariableEntry, kDeviceVariableCount> kVariables{{
    {"actual-level", kCmdQueryActualLevel},
    {"power-on-level", kCmdQueryPowerOnLevel},
    {"system-failure-level", kCmdQuerySystemFailureLevel},
    {"min-level", kCmdQueryMinLevel},
    {"max-level", kCmdQueryMaxLevel},
    {"fade-rate", kCmdQueryFadeTimeFadeRate},
    {"fade-time", kCmdQueryFadeTimeFadeRate},
    {"random-address", kCmdQueryRandomAddressH},
    {"status", kCmdQueryStatus},
    {"version", kCmdQueryVersionNumber},
    {"device-type", kCmdQueryDeviceType},
    {"physical-min-level", kCmdQueryPhysicalMinimumLevel},
}};

constexpr int kGroupQueries = 2;

// The queries of one reading, with what the whole reading has met so far.
class Reader {
  public:
    Reader(EngineTerminal& terminal, int address, const ReadoutOptions& options, int total)
        : m_terminal(terminal),
          m_address(static_cast<std::int16_t>(address)),
          m_options(options),
          m_total(total) {}

    // A query and its answer, asked once more when nobody answered (a gear that lost an answer,
    // or answers every second question), as the device pages ask.
    ReadByte Query(std::int16_t nCommandId, std::uint8_t nQueryData) {
        ReadByte read;
        std::uint8_t answer = 0;
        Result result = Ask(nCommandId, nQueryData, answer);
        if (result == Result::Timeout) result = Ask(nCommandId, nQueryData, answer);
        read.state = ReadStateOf(result);
        if (read.Answered()) read.value = answer;
        Note(read.state);
        // Like a page's read: a failure of the device communication itself ends the reading,
        // rather than failing once more per value.
        if (result == Result::Error || m_terminal.link.CommunicationLost()) m_lost = true;
        return read;
    }

    // A command the reading sends without an answer (the optical feedback).
    void Send(std::int16_t nCommandId, AddressKind nAddrType, std::int16_t nAddr) {
        std::uint8_t nData = 0;
        int again = 0;
        if (m_terminal.link.SendDALICommandAgainOnCollision(nCommandId, nData, nAddrType, nAddr,
                                                            nullptr, again) == Result::Error ||
            m_terminal.link.CommunicationLost())
            m_lost = true;
    }

    // The start of a part: the window's events run once, as when a page clears its list.
    void BeginPart() { m_terminal.context.scheduler.DoEvents(); }
    // Before each step: progress, then the window's events.
    void Step(ReadoutPart part, int step, int steps) {
        if (m_options.progress) {
            ProgressState now;
            now.stage = part == ReadoutPart::Variables ? ProgressStage::Variables
                        : part == ReadoutPart::Groups  ? ProgressStage::Groups
                                                       : ProgressStage::Scenes;
            now.stageStep = step;
            now.stageSteps = steps;
            now.done = m_done;
            now.total = m_total;
            now.address = m_address;
            if (m_total > 0) now.fraction = static_cast<double>(m_done) / m_total;
            m_options.progress(now);
        }
        ++m_done;
        m_terminal.context.scheduler.DoEvents();
    }

    bool Lost() const { return m_lost; }
    std::int16_t Address() const { return m_address; }

    DeviceAnswer Answer() const {
        if (m_lost) return DeviceAnswer::LinkLost;
        if (m_several) return DeviceAnswer::Conflict;
        if (!m_answered) return DeviceAnswer::Silent;
        return m_unanswered ? DeviceAnswer::Partly : DeviceAnswer::Answered;
    }

  private:
    Result Ask(std::int16_t nCommandId, std::uint8_t nQueryData, std::uint8_t& answer) {
        std::int16_t nCommand = nCommandId;
        std::uint8_t nData = nQueryData;
        AddressKind nAddrType = AddressKind::Short;
        std::int16_t nAddr = m_address;
        // A frame that met another master reached no gear: it goes out again.
        int again = 0;
        Result result = m_terminal.link.SendDALICommandAgainOnCollision(nCommand, nData, nAddrType,
                                                                        nAddr, nullptr, again);
        if (result == Result::Done) result = m_terminal.link.ReceiveDALIData(answer, nullptr);
        return result;
    }

    void Note(ReadState state) {
        if (state == ReadState::Answered) {
            m_answered = true;
        } else {
            m_unanswered = true;
            if (state == ReadState::SeveralAnswered) m_several = true;
        }
    }

    EngineTerminal& m_terminal;
    std::int16_t m_address;
    const ReadoutOptions& m_options;
    int m_total;
    int m_done = 0;
    bool m_lost = false;
    bool m_answered = false;
    bool m_unanswered = false;
    bool m_several = false;
};

DeviceVariables ReadVariables(Reader& reader) {
    DeviceVariables read;
    reader.BeginPart();
    for (int pos = 0; pos < kDeviceVariableCount; ++pos) {
        const DeviceVariable variable = DeviceVariableAt(pos);
        ReadByte& value = read.values[static_cast<std::size_t>(pos)];
        reader.Step(ReadoutPart::Variables, pos, kDeviceVariableCount);
        if (variable == DeviceVariable::RandomAddress) {
            // All three bytes are asked for even when one of them fails.
            value.state = ReadState::Answered;
            for (std::size_t k = 0; k < read.randomAddress.size(); ++k) {
                read.randomAddress[k] =
                    reader.Query(static_cast<std::int16_t>(DeviceVariableQuery(variable) + k), 0);
                if (value.Answered() && !read.randomAddress[k].Answered())
                    value.state = read.randomAddress[k].state;
                if (reader.Lost()) break;
            }
        } else {
            value = reader.Query(DeviceVariableQuery(variable), 0);
            if (value.Answered()) {
                value.value = static_cast<std::uint8_t>(DeviceVariableValue(variable, value.value));
            }
        }
        if (reader.Lost()) break;
    }
    return read;
}

DeviceGroups ReadGroups(Reader& reader) {
    static constexpr std::array<std::int16_t, kGroupQueries> kQueries{kCmdQueryGroups0To7,
                                                                      kCmdQueryGroups8To15};
    DeviceGroups read;
    reader.BeginPart();
    for (int step = 0; step < kGroupQueries; ++step) {
        reader.Step(ReadoutPart::Groups, step, kGroupQueries);
        read.masks[static_cast<std::size_t>(step)] =
            reader.Query(kQueries[static_cast<std::size_t>(step)], 0);
        if (reader.Lost()) break;
    }
    return read;
}

DeviceScenes ReadScenes(Reader& reader) {
    DeviceScenes read;
    reader.BeginPart();
    for (int scene = 0; scene < kDeviceSceneCount; ++scene) {
        reader.Step(ReadoutPart::Scenes, scene, kDeviceSceneCount);
        read.levels[static_cast<std::size_t>(scene)] =
            reader.Query(kCmdQuerySceneLevel, static_cast<std::uint8_t>(scene));
        if (reader.Lost()) break;
    }
    return read;
}

}  // namespace

ReadState ReadStateOf(Result result) {
    switch (result) {
        case Result::Done:
            return ReadState::Answered;
        case Result::Timeout:
            return ReadState::NoAnswer;
        case Result::Collision:
        case Result::CorruptFrame:
            return ReadState::SeveralAnswered;
        default:
            return ReadState::LinkFailed;
    }
}

const char* ReadStateName(ReadState state) {
    switch (state) {
        case ReadState::Answered:
            return "answered";
        case ReadState::NoAnswer:
            return "no-answer";
        case ReadState::SeveralAnswered:
            return "several-answered";
        case ReadState::LinkFailed:
            return "link-failed";
        case ReadState::NotAsked:
            return "not-asked";
    }
    return "unknown";
}

std::ostream& operator<<(std::ostream& out, ReadState state) {
    return out << ReadStateName(state);
}

const char* DeviceAnswerName(DeviceAnswer answer) {
    switch (answer) {
        case DeviceAnswer::Answered:
            return "answered";
        case DeviceAnswer::Partly:
            return "partly";
        case DeviceAnswer::Silent:
            return "silent";
        case DeviceAnswer::Conflict:
            return "conflict";
        case DeviceAnswer::LinkLost:
            return "link-lost";
    }
    return "unknown";
}

std::ostream& operator<<(std::ostream& out, DeviceAnswer answer) {
    return out << DeviceAnswerName(answer);
}

const char* DeviceVariableName(DeviceVariable variable) {
    return kVariables.at(static_cast<std::size_t>(variable)).name;
}

std::int16_t DeviceVariableQuery(DeviceVariable variable) {
    return kVariables.at(static_cast<std::size_t>(variable)).nQuery;
}

std::int32_t DeviceVariableValue(DeviceVariable variable, std::uint8_t answer) {
    switch (variable) {
        case DeviceVariable::FadeRate:
            return answer & 0x0F;
        case DeviceVariable::FadeTime:
            return (answer & 0xF0) / 16;
        default:
            return answer;
    }
}

std::optional<std::int32_t> DeviceVariables::Value(DeviceVariable variable) const {
    if (variable == DeviceVariable::RandomAddress) {
        const auto address = RandomAddress();
        return address ? std::optional<std::int32_t>(static_cast<std::int32_t>(*address))
                       : std::nullopt;
    }
    const ReadByte& read = (*this)[variable];
    return read.Answered() ? std::optional<std::int32_t>(read.value) : std::nullopt;
}

std::optional<std::uint32_t> DeviceVariables::RandomAddress() const {
    std::uint32_t address = 0;
    for (const ReadByte& byte : randomAddress) {
        if (!byte.Answered()) return std::nullopt;
        address = address * 256 + byte.value;
    }
    return address;
}

std::optional<bool> DeviceVariables::LampFailure() const {
    const ReadByte& status = (*this)[DeviceVariable::Status];
    if (!status.Answered()) return std::nullopt;
    return (status.value & kStatusLampFailure) != 0;
}

std::vector<DeviceVariable> DeviceVariables::Unread() const {
    std::vector<DeviceVariable> unread;
    for (int pos = 0; pos < kDeviceVariableCount; ++pos)
        if (!Value(DeviceVariableAt(pos))) unread.push_back(DeviceVariableAt(pos));
    return unread;
}

std::optional<bool> DeviceGroups::Member(int group) const {
    const ReadByte& mask = masks.at(static_cast<std::size_t>(group / 8));
    if (!mask.Answered()) return std::nullopt;
    return ((mask.value >> (group % 8)) & 1) != 0;
}

std::vector<int> DeviceGroups::Groups() const {
    std::vector<int> groups;
    for (int group = 0; group < kDeviceGroupCount; ++group)
        if (Member(group).value_or(false)) groups.push_back(group);
    return groups;
}

std::vector<int> DeviceGroups::Unread() const {
    std::vector<int> unread;
    for (int group = 0; group < kDeviceGroupCount; ++group)
        if (!Member(group)) unread.push_back(group);
    return unread;
}

std::vector<int> DeviceScenes::Unread() const {
    std::vector<int> unread;
    for (int scene = 0; scene < kDeviceSceneCount; ++scene)
        if (!Level(scene)) unread.push_back(scene);
    return unread;
}

DeviceReadout ReadDevice(EngineTerminal& terminal, int shortAddress,
                         const ReadoutOptions& options) {
    DeviceReadout readout;
    readout.shortAddress = shortAddress;
    if (terminal.state.m_nOperationMode != kModeDali) {
        // As the device tree, which opens no device page in DSI mode.
        readout.outcome.Fail(EngineFailure::Refused, terminal.context.messages.Load(5122) + "!");
        return readout;
    }
    if (shortAddress < 0 || shortAddress > 63) {
        readout.outcome.Fail(EngineFailure::Refused,
                             HostText(terminal.context.messages.GetLanguage(),
                                      "no short address: %1", {std::to_string(shortAddress)}));
        return readout;
    }
    const int total = (options.variables ? kDeviceVariableCount : 0) +
                      (options.groups ? kGroupQueries : 0) +
                      (options.scenes ? kDeviceSceneCount : 0);
    Reader reader(terminal, shortAddress, options, total);
    if (options.opticalFeedback) {
        reader.Send(kCmdRecallMinLevel, AddressKind::Broadcast, 0);
        if (!reader.Lost()) reader.Send(kCmdRecallMaxLevel, AddressKind::Short, reader.Address());
    }
    if (options.variables && !reader.Lost()) readout.variables = ReadVariables(reader);
    if (options.groups && !reader.Lost()) readout.groups = ReadGroups(reader);
    if (options.scenes && !reader.Lost()) readout.scenes = ReadScenes(reader);
    // Parts left out by a lost connection are there, not asked.
    if (options.variables && !readout.variables) readout.variables.emplace();
    if (options.groups && !readout.groups) readout.groups.emplace();
    if (options.scenes && !readout.scenes) readout.scenes.emplace();

    readout.answer = total > 0 || reader.Lost() ? reader.Answer() : DeviceAnswer::Answered;
    const Language language = terminal.context.messages.GetLanguage();
    const std::string address = std::to_string(shortAddress);
    switch (readout.answer) {
        case DeviceAnswer::Answered:
            break;
        case DeviceAnswer::LinkLost:
            readout.outcome.Fail(EngineFailure::CommunicationLost,
                                 HostText(language,
                                          "the connection to the terminal was lost while reading "
                                          "the device at address %1",
                                          {address}));
            break;
        case DeviceAnswer::Conflict:
            readout.outcome.Fail(
                EngineFailure::Incomplete,
                HostText(language, "several devices answer at address %1 at once", {address}));
            break;
        case DeviceAnswer::Silent:
            readout.outcome.Fail(
                EngineFailure::Incomplete,
                HostText(language, "the device at address %1 does not answer", {address}));
            break;
        case DeviceAnswer::Partly:
            readout.outcome.Fail(
                EngineFailure::Incomplete,
                HostText(language, "some values of the device at address %1 could not be read",
                         {address}));
            break;
    }
    return readout;
}

}  // namespace zd
