#include "engine/DeviceWrites.h"

#include <algorithm>
#include <string>

#include "engine/LineCommands.h"
#include "link/Commands.h"
#include "link/ModuleState.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// The command that stores a variable; direct arc power for the actual level; none for the
// variables the device only reports.
std::optional<std::int16_t> StoreCommand(DeviceVariable variable) {
    switch (variable) {
        case DeviceVariable::ActualLevel:
            return kCmdDirectArcPower;
        case DeviceVariable::PowerOnLevel:
            return kCmdStoreDtrAsPowerOnLevel;
        case DeviceVariable::SystemFailureLevel:
            return kCmdStoreDtrAsSystemFailureLevel;
        case DeviceVariable::MinLevel:
            return kCmdStoreDtrAsMinLevel;
        case DeviceVariable::MaxLevel:
            return kCmdStoreDtrAsMaxLevel;
        case DeviceVariable::FadeRate:
            return kCmdStoreDtrAsFadeRate;
        case DeviceVariable::FadeTime:
            return kCmdStoreDtrAsFadeTime;
        default:
            return std::nullopt;
    }
}

// The transactions of one write, to one short address, with what they have met.
class Writer {
  public:
    Writer(EngineTerminal& terminal, int address)
        : m_terminal(terminal), m_address(static_cast<std::int16_t>(address)) {}

    // Sends the command, again when it met another master on the line (a collided frame reached
    // no gear); the transaction goes into result when there is one.
    Result Send(std::int16_t nCommandId, std::uint8_t nData, WriteResult* result) {
        std::int16_t nCommand = nCommandId;
        std::uint8_t nSent = nData;
        AddressKind nAddrType = AddressKind::Short;
        std::int16_t nAddr = m_address;
        int again = 0;
        const Result sent = m_terminal.link.SendDALICommandAgainOnCollision(
            nCommand, nSent, nAddrType, nAddr, nullptr, again);
        if (result) result->transactions.push_back({nCommandId, nData, sent});
        if (sent == Result::Error || m_terminal.link.CommunicationLost()) m_lost = true;
        return sent;
    }

    bool Lost() const { return m_lost; }

  private:
    EngineTerminal& m_terminal;
    std::int16_t m_address;
    bool m_lost = false;
};

std::optional<std::string> Refusal(EngineTerminal& terminal, int shortAddress) {
    if (terminal.state.m_nOperationMode != kModeDali)
        return terminal.context.messages.Load(5122) + "!";
    if (shortAddress < 0 || shortAddress > 63)
        return HostText(terminal.context.messages.GetLanguage(), "no short address: %1",
                        {std::to_string(shortAddress)});
    return std::nullopt;
}

std::string NameOf(const VariableWrite& write, Language) {
    return DeviceVariableName(write.variable);
}
std::string NameOf(const GroupWrite& write, Language language) {
    return HostText(language, "group %1", {std::to_string(write.group)});
}
std::string NameOf(const SceneWrite& write, Language language) {
    return HostText(language, "scene %1", {std::to_string(write.scene)});
}

std::string List(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// What a change asks the device to hold, as the read-back reports it.
std::int32_t WantedOf(const VariableWrite& write) {
    return write.value;
}
std::int32_t WantedOf(const GroupWrite& write) {
    return write.member ? 1 : 0;
}
std::int32_t WantedOf(const SceneWrite& write) {
    return write.level;
}

// The read-back of the part written, with each change checked against it, and the outcome.
template <typename Write, typename ValueOf>
void Finish(EngineTerminal& terminal, DeviceWriteReport<Write>& report, bool lost,
            const DeviceWriteOptions& options, ReadoutOptions readout, ValueOf valueOf) {
    const Language language = terminal.context.messages.GetLanguage();
    if (lost) {
        report.outcome.Fail(EngineFailure::CommunicationLost,
                            HostText(language,
                                     "the connection to the terminal was lost while writing the "
                                     "device at address %1",
                                     {std::to_string(report.shortAddress)}));
        return;
    }
    if (options.readBack) {
        const bool anySent = std::any_of(report.writes.begin(), report.writes.end(),
                                         [](const Write& write) { return write.result.sent; });
        if (options.settleMs > 0 && anySent) {
            if (options.settle)
                options.settle(options.settleMs);
            else
                terminal.context.scheduler.RunUntil([] { return false; }, options.settleMs);
        }
        report.readBack = ReadDevice(terminal, report.shortAddress, readout);
        for (Write& write : report.writes) {
            if (!write.result.sent) continue;
            write.result.readBack = valueOf(*report.readBack, write);
            write.result.check = !write.result.readBack                      ? WriteCheck::Unread
                                 : *write.result.readBack == WantedOf(write) ? WriteCheck::Taken
                                                                             : WriteCheck::NotTaken;
        }
        if (report.readBack->outcome.failure == EngineFailure::CommunicationLost) {
            report.outcome.Fail(EngineFailure::CommunicationLost, report.readBack->outcome.text);
            return;
        }
    }
    std::vector<std::string> notSent;
    std::vector<std::string> notTaken;
    std::vector<std::string> unread;
    for (const Write& write : report.writes) {
        if (!write.result.sent) notSent.push_back(NameOf(write, language));
        if (write.result.check == WriteCheck::NotTaken) notTaken.push_back(NameOf(write, language));
        if (write.result.check == WriteCheck::Unread) unread.push_back(NameOf(write, language));
    }
    const std::string address = std::to_string(report.shortAddress);
    std::string problem;
    const auto add = [&](std::string_view english, const std::vector<std::string>& names) {
        if (names.empty()) return;
        problem +=
            (problem.empty() ? "" : "; ") + HostText(language, english, {List(names), address});
    };
    add("%1 could not be sent to the device at address %2", notSent);
    add("the device at address %2 did not take %1", notTaken);
    add("%1 could not be read back from the device at address %2", unread);
    if (!problem.empty()) report.outcome.Fail(EngineFailure::Incomplete, problem);
}

}  // namespace

const char* WriteCheckName(WriteCheck check) {
    switch (check) {
        case WriteCheck::NotChecked:
            return "not-checked";
        case WriteCheck::Taken:
            return "taken";
        case WriteCheck::NotTaken:
            return "not-taken";
        case WriteCheck::Unread:
            return "unread";
    }
    return "unknown";
}

bool DeviceVariableWritable(DeviceVariable variable) {
    return StoreCommand(variable).has_value();
}

WritableRange DeviceVariableRange(DeviceVariable variable) {
    switch (variable) {
        case DeviceVariable::FadeRate:
            return {1, 15};
        case DeviceVariable::FadeTime:
            return {0, 15};
        default:
            return DeviceVariableWritable(variable) ? WritableRange{0, 255} : WritableRange{0, 0};
    }
}

VariablesWriteReport WriteVariables(EngineTerminal& terminal, int shortAddress,
                                    std::vector<VariableWrite> writes,
                                    const DeviceWriteOptions& options) {
    VariablesWriteReport report;
    report.shortAddress = shortAddress;
    report.writes = std::move(writes);
    if (const auto refusal = Refusal(terminal, shortAddress)) {
        report.outcome.Fail(EngineFailure::Refused, *refusal);
        return report;
    }
    for (const VariableWrite& write : report.writes) {
        const WritableRange range = DeviceVariableRange(write.variable);
        if (!DeviceVariableWritable(write.variable) || write.value < range.min ||
            write.value > range.max) {
            report.outcome.Fail(
                EngineFailure::Refused,
                std::string(DeviceVariableName(write.variable)) +
                    (DeviceVariableWritable(write.variable)
                         ? " takes " + std::to_string(range.min) + " to " +
                               std::to_string(range.max) + ", not " + std::to_string(write.value)
                         : " cannot be written"));
            return report;
        }
    }
    Writer writer(terminal, shortAddress);
    for (VariableWrite& write : report.writes) {
        const std::int16_t nStore = *StoreCommand(write.variable);
        if (nStore == kCmdDirectArcPower) {
            write.result.sent =
                writer.Send(kCmdDirectArcPower, write.value, &write.result) == Result::Done;
        } else {
            write.result.sent =
                writer.Send(kCmdDataTransferRegister, write.value, &write.result) == Result::Done &&
                !writer.Lost() && writer.Send(nStore, 0, &write.result) == Result::Done;
        }
        if (writer.Lost()) break;
    }
    ReadoutOptions readout;
    readout.groups = readout.scenes = false;
    Finish(terminal, report, writer.Lost(), options, readout,
           [](const DeviceReadout& read, const VariableWrite& write) {
               return read.variables->Value(write.variable);
           });
    return report;
}

GroupsWriteReport WriteGroups(EngineTerminal& terminal, int shortAddress,
                              std::vector<GroupWrite> writes, const DeviceWriteOptions& options) {
    GroupsWriteReport report;
    report.shortAddress = shortAddress;
    report.writes = std::move(writes);
    if (const auto refusal = Refusal(terminal, shortAddress)) {
        report.outcome.Fail(EngineFailure::Refused, *refusal);
        return report;
    }
    for (const GroupWrite& write : report.writes) {
        if (write.group < 0 || write.group >= kDeviceGroupCount) {
            report.outcome.Fail(
                EngineFailure::Refused,
                HostText(terminal.context.messages.GetLanguage(), "no group %1: groups are 0 to 15",
                         {std::to_string(write.group)}));
            return report;
        }
    }
    Writer writer(terminal, shortAddress);
    for (GroupWrite& write : report.writes) {
        write.result.sent =
            writer.Send(write.member ? kCmdAddToGroup : kCmdRemoveFromGroup,
                        static_cast<std::uint8_t>(write.group), &write.result) == Result::Done;
        if (writer.Lost()) break;
    }
    ReadoutOptions readout;
    readout.variables = readout.scenes = false;
    Finish(terminal, report, writer.Lost(), options, readout,
           [](const DeviceReadout& read, const GroupWrite& write) -> std::optional<std::int32_t> {
               const auto member = read.groups->Member(write.group);
               if (!member) return std::nullopt;
               return *member ? 1 : 0;
           });
    return report;
}

ScenesWriteReport WriteScenes(EngineTerminal& terminal, int shortAddress,
                              std::vector<SceneWrite> writes, const DeviceWriteOptions& options) {
    ScenesWriteReport report;
    report.shortAddress = shortAddress;
    report.writes = std::move(writes);
    if (const auto refusal = Refusal(terminal, shortAddress)) {
        report.outcome.Fail(EngineFailure::Refused, *refusal);
        return report;
    }
    for (const SceneWrite& write : report.writes) {
        if (write.scene < 0 || write.scene >= kDeviceSceneCount) {
            report.outcome.Fail(
                EngineFailure::Refused,
                HostText(terminal.context.messages.GetLanguage(), "no scene %1: scenes are 0 to 15",
                         {std::to_string(write.scene)}));
            return report;
        }
    }
    Writer writer(terminal, shortAddress);
    std::optional<DeviceWriteOptions::LampPreview> preview = options.scenePreview;
    // The lamp shows each scene; its level before is read first and set again at the end, so
    // that the lamp is left as it was found.
    if (preview && preview->putBack) {
        for (int ask = 0; ask < 2 && !report.lampLevelBefore; ++ask) {
            const LineCommandResult read =
                QueryLine(terminal, {kCmdQueryActualLevel, 0, AddressKind::Short,
                                     static_cast<std::int16_t>(shortAddress)});
            if (read.answer == QueryAnswer::Byte) report.lampLevelBefore = read.answerByte;
            if (read.answer != QueryAnswer::None) break;
        }
    }
    // The lamp follows the level being set, so that whoever stands below it sees each scene.
    const auto show = [&](std::uint8_t level) {
        if (!preview || writer.Lost() || level == preview->lastShown) return;
        preview->lastShown = level;
        writer.Send(kCmdDirectArcPower, level, nullptr);
    };
    for (SceneWrite& write : report.writes) {
        if (preview) {
            auto& held = preview->held.levels.at(static_cast<std::size_t>(write.scene));
            show(held.Value().value_or(0));
            show(write.level);
            held = {ReadState::Answered, write.level};
        }
        if (writer.Lost()) break;
        write.result.sent =
            writer.Send(kCmdDataTransferRegister, write.level, &write.result) == Result::Done &&
            !writer.Lost() &&
            writer.Send(kCmdStoreDtrAsScene, static_cast<std::uint8_t>(write.scene),
                        &write.result) == Result::Done;
        if (writer.Lost()) break;
    }
    if (preview && preview->putBack && report.lampLevelBefore &&
        *report.lampLevelBefore != kDaliMask && !writer.Lost()) {
        report.lampLevelRestored =
            writer.Send(kCmdDirectArcPower, *report.lampLevelBefore, nullptr) == Result::Done;
    }
    ReadoutOptions readout;
    readout.variables = readout.groups = false;
    Finish(terminal, report, writer.Lost(), options, readout,
           [](const DeviceReadout& read, const SceneWrite& write) -> std::optional<std::int32_t> {
               const auto level = read.scenes->Level(write.scene);
               if (!level) return std::nullopt;
               return *level;
           });
    return report;
}

}  // namespace zd
