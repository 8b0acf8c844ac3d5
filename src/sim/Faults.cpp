#include "sim/Faults.h"

#include "platform/Error.h"

namespace zd::sim {

namespace {

// A count of frames or answers: large enough for any rehearsal, small enough for an int.
constexpr std::int64_t kMaxCount = 1000000000;

// One small lambda per member, as function pointers cannot carry a member pointer.
#define ZD_FLAG(Faults, name, member)                                                       \
    FaultField<Faults> {                                                                    \
        name, true, 1, 1, [](const Faults& f) -> std::int64_t { return f.member ? 1 : 0; }, \
            [](Faults& f, std::int64_t v) { f.member = v != 0; }                            \
    }
#define ZD_NUMBER(Faults, name, member, low, high)                                               \
    FaultField<Faults> {                                                                         \
        name, false, low, high,                                                                  \
            [](const Faults& f) -> std::int64_t { return static_cast<std::int64_t>(f.member); }, \
            [](Faults& f, std::int64_t v) { f.member = static_cast<decltype(f.member)>(v); }     \
    }

template <class Faults>
std::string Names(const std::vector<FaultField<Faults>>& fields) {
    std::string text;
    for (const auto& field : fields) text += (text.empty() ? "" : ", ") + std::string(field.name);
    return text;
}

[[noreturn]] void Refuse(const std::string& faultText, const std::string& reason) {
    throw ControlError("--fault \"" + faultText + "\": " + reason);
}

template <class Faults>
const FaultField<Faults>* Find(const std::vector<FaultField<Faults>>& fields,
                               const std::string& name) {
    for (const auto& field : fields)
        if (name == field.name) return &field;
    return nullptr;
}

std::optional<std::int64_t> Decimal(const std::string& text) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

template <class Faults>
std::int64_t ParseValue(const std::string& faultText, const FaultField<Faults>& field,
                        const std::string& text) {
    if (field.boolean) {
        if (text == "on" || text == "true") return 1;
        if (text == "off" || text == "false") return 0;
        Refuse(faultText,
               std::string(field.name) + " is on, off, true or false, not \"" + text + "\"");
    }
    const std::optional<std::int64_t> value = Decimal(text);
    if (!value || !field.Allows(*value))
        Refuse(faultText,
               std::string(field.name) + " takes " + field.RangeText() + ", not \"" + text + "\"");
    return *value;
}

}  // namespace

template <class Faults>
std::string FaultField<Faults>::RangeText() const {
    if (boolean) return "true or false";
    if (low <= 1) return "0.." + std::to_string(high);
    return "0, or " + std::to_string(low) + ".." + std::to_string(high);
}

template struct FaultField<GearFaults>;
template struct FaultField<TerminalFaults>;

const std::vector<FaultField<GearFaults>>& GearFaultFields() {
    static const std::vector<FaultField<GearFaults>> fields = {
        ZD_FLAG(GearFaults, "silent", m_silent),
        ZD_NUMBER(GearFaults, "missAnswers", m_missAnswers, 0, kMaxCount),
        ZD_FLAG(GearFaults, "gearFailure", m_gearFailure),
        ZD_FLAG(GearFaults, "ignoreProgramming", m_ignoreProgramming),
        ZD_NUMBER(GearFaults, "loseAnswer", m_loseAnswer, 0, kMaxCount),
        ZD_FLAG(GearFaults, "answerEverySecondQuery", m_answerEverySecondQuery),
        ZD_NUMBER(GearFaults, "randomiseDelayMs", m_randomiseDelayMs, 0, 60000),
        ZD_NUMBER(GearFaults, "powerDownAfterFrames", m_powerDownAfterFrames, 0, kMaxCount),
        ZD_NUMBER(GearFaults, "powerUpAfterFrames", m_powerUpAfterFrames, 0, kMaxCount),
        ZD_NUMBER(GearFaults, "answerDelayUs", m_answerDelayUs, kMinAnswerDelayUs,
                  kMaxAnswerDelayUs),
        ZD_FLAG(GearFaults, "ignoreWithdraw", m_ignoreWithdraw),
        ZD_NUMBER(GearFaults, "randomiseAlwaysDraws", m_randomiseAlwaysDraws, 1, 0xFFFFFF),
        ZD_NUMBER(GearFaults, "ignoreInitialiseMs", m_ignoreInitialiseMs, 0, 600000),
        ZD_FLAG(GearFaults, "initialiseEndsWithdraw", m_initialiseEndsWithdraw),
        ZD_FLAG(GearFaults, "testEndsWithoutResult", m_emergency.m_testEndsWithoutResult),
        ZD_FLAG(GearFaults, "testNeverEnds", m_emergency.m_testNeverEnds),
    };
    return fields;
}

const std::vector<FaultField<TerminalFaults>>& TerminalFaultFields() {
    static const std::vector<FaultField<TerminalFaults>> fields = {
        ZD_NUMBER(TerminalFaults, "acknowledgeDelayMs", m_acknowledgeDelayMs, 0, 5000),
        ZD_NUMBER(TerminalFaults, "collideNextCommands", m_collideNextCommands, 0, kMaxCount),
        ZD_FLAG(TerminalFaults, "takeOverNeverComes", m_takeOverNeverComes),
        ZD_NUMBER(TerminalFaults, "collideAfterInitialise", m_collideAfterInitialise, 0, kMaxCount),
        ZD_NUMBER(TerminalFaults, "collisionPercent", m_collisionPercent, 0, 100),
        ZD_NUMBER(TerminalFaults, "mainsOffAfterFrames", m_mainsOffAfterFrames, 0, kMaxCount),
        ZD_NUMBER(TerminalFaults, "mainsOffMs", m_mainsOffMs, 0, 600000),
    };
    return fields;
}

#undef ZD_FLAG
#undef ZD_NUMBER

std::string GearFaultNames() {
    return Names(GearFaultFields());
}

std::string TerminalFaultNames() {
    return Names(TerminalFaultFields());
}

FaultSetting ParseFaultSetting(const std::string& faultText) {
    const std::size_t colon = faultText.find(':');
    const std::size_t equals = faultText.find('=', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || equals == std::string::npos)
        Refuse(faultText,
               "GEAR:NAME=VALUE or terminal:NAME=VALUE is expected (GEAR: the gear's place "
               "in the line file, from 1)");
    const std::string owner = faultText.substr(0, colon);
    FaultSetting setting;
    setting.name = faultText.substr(colon + 1, equals - colon - 1);
    const std::string value = faultText.substr(equals + 1);
    if (owner == "terminal") {
        const auto* field = Find(TerminalFaultFields(), setting.name);
        if (!field)
            Refuse(faultText, "the terminal's faults are " + TerminalFaultNames() + ", not \"" +
                                  setting.name + "\"");
        setting.value = ParseValue(faultText, *field, value);
        return setting;
    }
    const std::optional<std::int64_t> id = Decimal(owner);
    if (!id || *id < 1 || *id > 1000000)
        Refuse(faultText, "\"" + owner + "\" is neither \"terminal\" nor a gear number from 1");
    setting.gearId = static_cast<int>(*id);
    const auto* field = Find(GearFaultFields(), setting.name);
    if (!field)
        Refuse(faultText,
               "a gear's faults are " + GearFaultNames() + ", not \"" + setting.name + "\"");
    setting.value = ParseValue(faultText, *field, value);
    return setting;
}

void ApplyFault(Terminal& terminal, const FaultSetting& setting) {
    if (!setting.gearId) {
        if (const auto* field = Find(TerminalFaultFields(), setting.name))
            field->set(terminal.Faults(), setting.value);
        return;
    }
    if (terminal.GetLine().FindGear(*setting.gearId) == nullptr)
        throw ControlError("--fault " + std::to_string(*setting.gearId) + ":" + setting.name +
                           ": the line has " + std::to_string(terminal.GetLine().Gear().size()) +
                           " gear, no gear " + std::to_string(*setting.gearId));
    if (const auto* field = Find(GearFaultFields(), setting.name))
        field->set(terminal.Gear(*setting.gearId).Faults(), setting.value);
}

namespace {

template <class Faults>
void AddActive(std::string& text, const std::string& owner,
               const std::vector<FaultField<Faults>>& fields, const Faults& faults) {
    for (const FaultField<Faults>& field : fields) {
        const std::int64_t value = field.get(faults);
        if (value == 0) continue;
        text += (text.empty() ? "" : ", ") + owner + ":" + field.name + "=" +
                (field.boolean ? std::string("true") : std::to_string(value));
    }
}

}  // namespace

std::string ActiveFaultsText(Terminal& terminal) {
    std::string text;
    AddActive(text, "terminal", TerminalFaultFields(), terminal.Faults());
    for (const auto& gear : terminal.GetLine().Gear())
        AddActive(text, std::to_string(gear->Id()), GearFaultFields(), gear->Faults());
    return text;
}

}  // namespace zd::sim
