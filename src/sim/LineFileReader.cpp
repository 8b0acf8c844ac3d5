#include "sim/LineFileReader.h"

#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

#include "sim/Faults.h"
#include "sim/JsonLocator.h"

namespace zd::sim {

namespace {

using Json = nlohmann::json;

// A lamp script runs for at most a day.
constexpr std::int64_t kMaxLampEventMs = 24LL * 3600 * 1000;

// How a number may be written: as a JSON integer, or (where the format says so) also as a text
// "0x" followed by hexadecimal digits. Nothing else: no decimal texts, no signs, blanks, octal or
// fractions, so that every number in a file means one thing.
enum class Notation { Decimal, DecimalOrHex };

std::optional<std::int64_t> HexText(const std::string& text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || text[1] != 'x')
        return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

// Scene keys are the scene numbers as plain decimal texts: "0" to "15".
std::optional<int> SceneKey(const std::string& key) {
    if (key.empty() || key.size() > 2 || (key.size() == 2 && key[0] == '0')) return std::nullopt;
    int scene = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return std::nullopt;
        scene = scene * 10 + (c - '0');
    }
    if (scene > 15) return std::nullopt;
    return scene;
}

// Reads one document; every complaint names the JSON pointer of the value concerned and, where it
// can be found, its line and column.
class Reader {
  public:
    Reader(std::string file, const std::string& text) : m_file(std::move(file)), m_text(text) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& reason) const {
        FailAtValue(m_file, m_text, where.empty() ? "/" : where, reason);
    }

    void OnlyKeys(const Json& object, const std::string& where,
                  std::initializer_list<const char*> keys) const {
        if (!object.is_object()) Fail(where, "an object is expected");
        for (const auto& item : object.items()) {
            bool known = false;
            for (const char* key : keys) known = known || item.key() == key;
            if (!known) Fail(where + "/" + item.key(), "unknown key \"" + item.key() + "\"");
        }
    }

    std::int64_t Integer(const Json& value, const std::string& where, std::int64_t low,
                         std::int64_t high, Notation notation = Notation::Decimal) const {
        std::int64_t number = 0;
        if (value.is_number_unsigned()) {
            const std::uint64_t big = value.get<std::uint64_t>();
            if (big > static_cast<std::uint64_t>(high))
                Fail(where, std::to_string(big) + " is outside " + Range(low, high));
            number = static_cast<std::int64_t>(big);
        } else if (value.is_number_integer()) {
            number = value.get<std::int64_t>();
        } else if (value.is_string() && notation == Notation::DecimalOrHex) {
            const std::string text = value.get<std::string>();
            const std::optional<std::int64_t> hex = HexText(text);
            if (!hex)
                Fail(where,
                     "\"" + text + "\" is not a number (a number, or \"0x\" and hex digits)");
            number = *hex;
        } else if (value.is_string()) {
            Fail(where, "\"" + value.get<std::string>() + "\" is a text; a number is expected");
        } else {
            Fail(where, notation == Notation::DecimalOrHex
                            ? "a whole number or a \"0x\" hexadecimal text is expected"
                            : "a whole number is expected");
        }
        if (number < low || number > high)
            Fail(where, std::to_string(number) + " is outside " + Range(low, high));
        return number;
    }

    template <class T>
    void Optional(const Json& object, const char* key, const std::string& where, std::int64_t low,
                  std::int64_t high, T& out, Notation notation = Notation::Decimal) const {
        if (object.contains(key))
            out = static_cast<T>(Integer(object.at(key), where + "/" + key, low, high, notation));
    }

    bool Boolean(const Json& value, const std::string& where) const {
        if (!value.is_boolean()) Fail(where, "true or false is expected");
        return value.get<bool>();
    }

    void OptionalBoolean(const Json& object, const char* key, const std::string& where,
                         bool& out) const {
        if (object.contains(key)) out = Boolean(object.at(key), where + "/" + key);
    }

    std::string Text(const Json& value, const std::string& where) const {
        if (!value.is_string()) Fail(where, "a text is expected");
        return value.get<std::string>();
    }

    TerminalConfig Terminal(const Json& object, const std::string& where,
                            LineDescription& stated) const;
    EmergencyConfig Emergency(const Json& object, const std::string& where) const;
    // Every key a fault of the model, each at most once; 0 and false are the fault switched off.
    template <class Faults>
    Faults ReadFaults(const Json& object, const std::string& where,
                      const std::vector<FaultField<Faults>>& fields) const {
        if (!object.is_object()) Fail(where, "an object of fault names and values is expected");
        Faults faults;
        for (const auto& item : object.items()) {
            const std::string at = where + "/" + item.key();
            const FaultField<Faults>* field = nullptr;
            for (const auto& known : fields)
                if (item.key() == known.name) field = &known;
            if (!field) Fail(at, "unknown fault \"" + item.key() + "\"");
            std::int64_t value = 0;
            if (field->boolean) {
                value = Boolean(item.value(), at) ? 1 : 0;
            } else {
                value = Integer(item.value(), at, 0, field->high);
                if (!field->Allows(value))
                    Fail(at, std::to_string(value) + " is outside " + field->RangeText());
            }
            field->set(faults, value);
        }
        return faults;
    }
    LampState Lamp(const Json& value, const std::string& where) const {
        const std::string lamp = Text(value, where);
        if (lamp == "present") return LampState::Present;
        if (lamp == "removed") return LampState::Removed;
        if (lamp != "failed") Fail(where, "\"present\", \"removed\" or \"failed\" is expected");
        return LampState::Failed;
    }
    GearConfig Gear(const Json& object, const std::string& where) const;

  private:
    static std::string Range(std::int64_t low, std::int64_t high) {
        return std::to_string(low) + ".." + std::to_string(high);
    }
    ImageEntry Entry(const Json& object, const std::string& where) const;
    void Levels(const Json& object, const std::string& where, GearConfig& gear) const;
    void Volatile(const Json& object, const std::string& where, GearConfig& gear) const;
    std::string m_file;
    const std::string& m_text;
};

ImageEntry Reader::Entry(const Json& object, const std::string& where) const {
    OnlyKeys(object, where, {"word", "bit", "table"});
    if (!object.contains("word") || !object.contains("bit") || !object.contains("table"))
        Fail(where, "\"word\", \"bit\" and \"table\" are all needed");
    ImageEntry entry;
    entry.nWordOffset = static_cast<std::int32_t>(
        Integer(object.at("word"), where + "/word", 0, ProcessImage::kTableWords - 1));
    entry.nBitOffset = static_cast<std::int32_t>(Integer(object.at("bit"), where + "/bit", 0, 8));
    if (entry.nBitOffset != 0 && entry.nBitOffset != 8) Fail(where + "/bit", "0 or 8 is expected");
    entry.nTableNumber =
        static_cast<std::int32_t>(Integer(object.at("table"), where + "/table", 0, 0x7FFF));
    return entry;
}

TerminalConfig Reader::Terminal(const Json& object, const std::string& where,
                                LineDescription& stated) const {
    OnlyKeys(object, where,
             {"position", "firmwareVersion", "featureRegister", "codeWord", "takeOverDelayMs",
              "byteOrder", "layout", "identicalAnswersDecode", "randomSeed", "faults"});
    TerminalConfig config;
    stated.positionStated = object.contains("position");
    Optional(object, "position", where, 1, 0x7FFF, config.position);
    Optional(object, "firmwareVersion", where, 0, 0xFFFF, config.firmwareVersion,
             Notation::DecimalOrHex);
    Optional(object, "featureRegister", where, 0, 0xFFFF, config.featureRegister,
             Notation::DecimalOrHex);
    Optional(object, "codeWord", where, 0, 0xFFFF, config.codeWord, Notation::DecimalOrHex);
    Optional(object, "takeOverDelayMs", where, 0, 60000, config.takeOverDelayMs);
    Optional(object, "randomSeed", where, 0, std::numeric_limits<std::uint32_t>::max(),
             config.randomSeed);
    OptionalBoolean(object, "identicalAnswersDecode", where, config.identicalAnswersDecode);
    if (object.contains("byteOrder")) {
        stated.byteOrderStated = true;
        const std::string order = Text(object.at("byteOrder"), where + "/byteOrder");
        if (order != "Intel" && order != "Motorola")
            Fail(where + "/byteOrder", "\"Intel\" or \"Motorola\" is expected");
        config.layout.motorola = order == "Motorola";
    }
    if (object.contains("layout")) {
        stated.layoutStated = true;
        const std::string at = where + "/layout";
        const Json& layout = object.at("layout");
        OnlyKeys(layout, at, {"STATUS", "INPUT", "CONTROL", "OUTPUT"});
        const char* names[4] = {"STATUS", "INPUT", "CONTROL", "OUTPUT"};
        for (int i = 0; i < 4; ++i) {
            if (!layout.contains(names[i]))
                Fail(at, std::string("\"") + names[i] + "\" is missing");
            config.layout.entries[static_cast<std::size_t>(i)] =
                Entry(layout.at(names[i]), at + "/" + names[i]);
        }
        try {
            ProcessImage check;
            check.SetLayout(config.layout);
        } catch (const ControlError& error) {
            Fail(at, error.Description());
        }
    }
    if (object.contains("faults"))
        config.faults = ReadFaults(object.at("faults"), where + "/faults", TerminalFaultFields());
    return config;
}

// The limits first, then the levels that must lie within them; a file that contradicts itself is
// refused rather than quietly made to fit.
void Reader::Levels(const Json& object, const std::string& where, GearConfig& gear) const {
    Optional(object, "physicalMinimum", where, 1, 254, gear.physicalMinimum);
    Optional(object, "maxLevel", where, 1, 254, gear.maxLevel);
    if (object.contains("minLevel"))
        gear.minLevel =
            static_cast<std::uint8_t>(Integer(object.at("minLevel"), where + "/minLevel", 1, 254));
    const std::string pm = " the physical minimum " + std::to_string(gear.physicalMinimum);
    if (gear.kind == GearKind::Dali && gear.maxLevel < gear.physicalMinimum)
        Fail(where + "/maxLevel", std::to_string(gear.maxLevel) + " is below" + pm);
    if (gear.minLevel && *gear.minLevel < gear.physicalMinimum)
        Fail(where + "/minLevel", std::to_string(*gear.minLevel) + " is below" + pm);
    if (gear.minLevel && *gear.minLevel > gear.maxLevel)
        Fail(where + "/minLevel", std::to_string(*gear.minLevel) + " is above the maximum level " +
                                      std::to_string(gear.maxLevel));
    const std::uint8_t low = gear.minLevel.value_or(gear.physicalMinimum);
    auto withinLimits = [&](const char* key, std::uint8_t level) {
        if (gear.kind == GearKind::Dali && level != 0 && (level < low || level > gear.maxLevel))
            Fail(where + "/" + key, std::to_string(level) + " is outside the limits " +
                                        std::to_string(low) + ".." + std::to_string(gear.maxLevel));
    };
    if (object.contains("actualLevel")) {
        // A DSI gear takes any level byte; a DALI gear's level is 0 (off) or within its limits.
        gear.actualLevel =
            static_cast<std::uint8_t>(Integer(object.at("actualLevel"), where + "/actualLevel", 0,
                                              gear.kind == GearKind::Dsi ? 255 : 254));
        withinLimits("actualLevel", *gear.actualLevel);
    }
    Optional(object, "powerOnLevel", where, 0, 255, gear.powerOnLevel);
    Optional(object, "systemFailureLevel", where, 0, 255, gear.systemFailureLevel);
    if (object.contains("fade")) {
        const std::string at = where + "/fade";
        const Json& fade = object.at("fade");
        OnlyKeys(fade, at, {"target", "final", "remainingMs"});
        if (!fade.contains("target") || !fade.contains("remainingMs"))
            Fail(at, "\"target\" and \"remainingMs\" are needed");
        GearConfig::FadeState state;
        state.target =
            static_cast<std::uint8_t>(Integer(fade.at("target"), at + "/target", 1, 254));
        withinLimits("fade/target", state.target);
        state.final = state.target;
        if (fade.contains("final")) {
            state.final =
                static_cast<std::uint8_t>(Integer(fade.at("final"), at + "/final", 0, 254));
            if (state.final != 0 && state.final != state.target)
                Fail(at + "/final", "0 (off at the end) or the target is expected");
        }
        state.remainingMs = Integer(fade.at("remainingMs"), at + "/remainingMs", 1, 100000);
        if (!gear.actualLevel) Fail(at, "a fade needs the \"actualLevel\" it runs from");
        gear.fade = state;
    }
}

// The state a gear keeps only while it has power: the DTR, the flags of its status byte and the
// initialisation window.
void Reader::Volatile(const Json& object, const std::string& where, GearConfig& gear) const {
    Optional(object, "dtr", where, 0, 255, gear.dtr);
    OptionalBoolean(object, "powerFailure", where, gear.powerFailure);
    OptionalBoolean(object, "limitError", where, gear.limitError);
    Optional(object, "searchAddress", where, 0, 0xFFFFFF, gear.searchAddress,
             Notation::DecimalOrHex);
    Optional(object, "initialiseRemainingMs", where, 0, kInitialiseWindowUs / 1000,
             gear.initialiseRemainingMs);
    OptionalBoolean(object, "withdrawn", where, gear.withdrawn);
    OptionalBoolean(object, "physicalSelection", where, gear.physicalSelection);
    OptionalBoolean(object, "powered", where, gear.powered);
    if ((gear.withdrawn || gear.physicalSelection) && gear.initialiseRemainingMs == 0)
        Fail(where + (gear.withdrawn ? "/withdrawn" : "/physicalSelection"),
             "holds only inside the initialisation window (\"initialiseRemainingMs\" above 0)");
}

GearConfig Reader::Gear(const Json& object, const std::string& where) const {
    OnlyKeys(object, where,
             {"kind",
              "shortAddress",
              "randomAddress",
              "actualLevel",
              "powerOnLevel",
              "systemFailureLevel",
              "minLevel",
              "maxLevel",
              "physicalMinimum",
              "fadeTime",
              "fadeRate",
              "groups",
              "scenes",
              "lamp",
              "deviceType",
              "version",
              "colour",
              "randomise",
              "dtr",
              "powerFailure",
              "limitError",
              "searchAddress",
              "fade",
              "initialiseRemainingMs",
              "withdrawn",
              "physicalSelection",
              "powered",
              "faults",
              "lampEvents",
              "emergency"});
    GearConfig gear;
    if (object.contains("kind")) {
        const std::string kind = Text(object.at("kind"), where + "/kind");
        if (kind != "DALI" && kind != "DSI")
            Fail(where + "/kind", "\"DALI\" or \"DSI\" is expected");
        gear.kind = kind == "DSI" ? GearKind::Dsi : GearKind::Dali;
    }
    if (object.contains("shortAddress") && !object.at("shortAddress").is_null())
        gear.shortAddress = static_cast<std::uint8_t>(
            Integer(object.at("shortAddress"), where + "/shortAddress", 0, 63));
    Optional(object, "randomAddress", where, 0, 0xFFFFFF, gear.randomAddress,
             Notation::DecimalOrHex);
    Levels(object, where, gear);
    Optional(object, "fadeTime", where, 0, 15, gear.fadeTime);
    Optional(object, "fadeRate", where, 1, 15, gear.fadeRate);
    Optional(object, "deviceType", where, 0, 254, gear.deviceType);
    Optional(object, "version", where, 0, 255, gear.version);
    if (object.contains("colour")) {
        if (gear.deviceType != kColourDeviceType)
            Fail(where + "/colour", "only gear of device type 8 have a colour part");
        gear.colour = ReadColourJson(
            object.at("colour"), where + "/colour",
            [this](const std::string& at, const std::string& why) { Fail(at, why); });
    }
    if (object.contains("randomise")) {
        const Json& values = object.at("randomise");
        if (!values.is_array())
            Fail(where + "/randomise", "a list of random addresses is expected");
        for (std::size_t i = 0; i < values.size(); ++i) {
            gear.randomise.push_back(static_cast<std::uint32_t>(
                Integer(values[i], where + "/randomise/" + std::to_string(i), 0, 0xFFFFFF,
                        Notation::DecimalOrHex)));
        }
    }
    if (object.contains("groups")) {
        const Json& groups = object.at("groups");
        if (!groups.is_array()) Fail(where + "/groups", "a list of group numbers is expected");
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const std::string at = where + "/groups/" + std::to_string(i);
            const auto group = Integer(groups[i], at, 0, 15);
            if ((gear.groups >> group) & 1u) Fail(at, "group " + std::to_string(group) + " twice");
            gear.groups = static_cast<std::uint16_t>(gear.groups | (1u << group));
        }
    }
    if (object.contains("scenes")) {
        const Json& scenes = object.at("scenes");
        if (!scenes.is_object())
            Fail(where + "/scenes", "an object of scene number to level is expected");
        for (const auto& item : scenes.items()) {
            const std::string at = where + "/scenes/" + item.key();
            const std::optional<int> scene = SceneKey(item.key());
            if (!scene) Fail(at, "a scene number \"0\" to \"15\" is expected as the key");
            gear.scenes[static_cast<std::size_t>(*scene)] =
                static_cast<std::uint8_t>(Integer(item.value(), at, 0, 255));
        }
    }
    if (object.contains("lamp")) gear.lamp = Lamp(object.at("lamp"), where + "/lamp");
    Volatile(object, where, gear);
    if (object.contains("faults"))
        gear.faults = ReadFaults(object.at("faults"), where + "/faults", GearFaultFields());
    if (object.contains("lampEvents")) {
        const Json& events = object.at("lampEvents");
        if (!events.is_array())
            Fail(where + "/lampEvents", "a list of {\"atMs\", \"lamp\"} is expected");
        for (std::size_t i = 0; i < events.size(); ++i) {
            const std::string at = where + "/lampEvents/" + std::to_string(i);
            OnlyKeys(events[i], at, {"atMs", "lamp"});
            if (!events[i].contains("atMs") || !events[i].contains("lamp"))
                Fail(at, "\"atMs\" and \"lamp\" are both needed");
            GearConfig::LampEvent event;
            event.atMs = Integer(events[i].at("atMs"), at + "/atMs", 0, kMaxLampEventMs);
            event.lamp = Lamp(events[i].at("lamp"), at + "/lamp");
            gear.lampEvents.push_back(event);
        }
    }
    if (object.contains("emergency")) {
        if (gear.deviceType != 1) Fail(where + "/emergency", "only gear of device type 1 have it");
        gear.emergency = Emergency(object.at("emergency"), where + "/emergency");
    }
    return gear;
}

EmergencyConfig Reader::Emergency(const Json& object, const std::string& where) const {
    OnlyKeys(object, where,
             {"batteryCharge",
              "batteryMinutes",
              "ratedMinutes",
              "rechargeMinutes",
              "functionTestSeconds",
              "failures",
              "mains",
              "features",
              "emergencyLevel",
              "emergencyMinLevel",
              "emergencyMaxLevel",
              "functionTestInterval",
              "durationTestInterval",
              "testExecutionTimeout",
              "prolongTime",
              "testDelay",
              "nextFunctionTestMs",
              "nextDurationTestMs",
              "inhibitRemainingMs",
              "prolongRemainingMs",
              "identifyRemainingMs",
              "rest",
              "runningTest",
              "runningTestMs",
              "functionPendingMs",
              "durationPendingMs",
              "functionTestDone",
              "durationTestDone",
              "failureStatus",
              "durationResultMinutes",
              "lampEmergencyMs",
              "lampTotalMs"});
    constexpr std::int64_t kYearMs = 2LL * 366 * 24 * 3600 * 1000;
    EmergencyConfig config;
    Optional(object, "batteryCharge", where, 0, 254, config.batteryCharge);
    Optional(object, "batteryMinutes", where, 1, 6000, config.batteryMinutes);
    Optional(object, "ratedMinutes", where, 0, 510, config.ratedMinutes);
    if (config.ratedMinutes % 2 != 0)
        Fail(where + "/ratedMinutes", "a multiple of 2 minutes is expected");
    Optional(object, "rechargeMinutes", where, 1, 14400, config.rechargeMinutes);
    Optional(object, "functionTestSeconds", where, 1, 600, config.functionTestSeconds);
    if (object.contains("failures")) {
        const Json& failures = object.at("failures");
        if (!failures.is_array())
            Fail(where + "/failures", "a list of \"circuit\", \"battery\", \"lamp\" is expected");
        for (std::size_t i = 0; i < failures.size(); ++i) {
            const std::string at = where + "/failures/" + std::to_string(i);
            const std::optional<EmergencyFailure> failure =
                EmergencyFailureNamed(Text(failures[i], at));
            if (!failure) Fail(at, "\"circuit\", \"battery\" or \"lamp\" is expected");
            config.failures |= static_cast<std::uint8_t>(*failure);
        }
    }
    OptionalBoolean(object, "mains", where, config.mains);
    Optional(object, "features", where, 0, 255, config.features, Notation::DecimalOrHex);
    Optional(object, "emergencyMinLevel", where, 0, 254, config.emergencyMinLevel);
    Optional(object, "emergencyMaxLevel", where, config.emergencyMinLevel, 254,
             config.emergencyMaxLevel);
    Optional(object, "emergencyLevel", where, config.emergencyMinLevel, config.emergencyMaxLevel,
             config.emergencyLevel);
    Optional(object, "functionTestInterval", where, 0, 255, config.functionTestInterval);
    Optional(object, "durationTestInterval", where, 0, 97, config.durationTestInterval);
    Optional(object, "testExecutionTimeout", where, 0, 255, config.testExecutionTimeout);
    Optional(object, "prolongTime", where, 0, 255, config.prolongTime);
    Optional(object, "testDelay", where, 0, 0xFFFF, config.testDelay);
    Optional(object, "nextFunctionTestMs", where, 0, 255 * kYearMs, config.nextFunctionTestMs);
    Optional(object, "nextDurationTestMs", where, 0, 255 * kYearMs, config.nextDurationTestMs);
    Optional(object, "inhibitRemainingMs", where, 0, 15 * 60 * 1000, config.inhibitRemainingMs);
    Optional(object, "prolongRemainingMs", where, 0, 255 * 30 * 1000, config.prolongRemainingMs);
    Optional(object, "identifyRemainingMs", where, 0, 10 * 1000, config.identifyRemainingMs);
    OptionalBoolean(object, "rest", where, config.rest);
    Optional(object, "runningTest", where, 0, 2, config.runningTest);
    Optional(object, "runningTestMs", where, 0, kYearMs, config.runningTestMs);
    Optional(object, "functionPendingMs", where, 0, 255 * kYearMs, config.functionPendingMs);
    Optional(object, "durationPendingMs", where, 0, 255 * kYearMs, config.durationPendingMs);
    OptionalBoolean(object, "functionTestDone", where, config.functionTestDone);
    OptionalBoolean(object, "durationTestDone", where, config.durationTestDone);
    Optional(object, "failureStatus", where, 0, 255, config.failureStatus, Notation::DecimalOrHex);
    Optional(object, "durationResultMinutes", where, 0, 6000, config.durationResultMinutes);
    Optional(object, "lampEmergencyMs", where, 0, 1000 * kYearMs, config.lampEmergencyMs);
    Optional(object, "lampTotalMs", where, 0, 1000 * kYearMs, config.lampTotalMs);
    return config;
}

// A power-up between the saved state and this run: the gear come back at their power-on level
// (MASK: the level they had), report the power failure, and lose what only lives while powered.
void PowerUp(GearConfig& gear) {
    if (gear.powerOnLevel != kMask) gear.actualLevel.reset();
    gear.fade.reset();
    gear.dtr = 0;
    gear.powerFailure = true;
    gear.limitError = false;
    gear.searchAddress = kNoRandomAddress;
    gear.initialiseRemainingMs = 0;
    gear.withdrawn = false;
    gear.physicalSelection = false;
    gear.powered = true;
}

}  // namespace

void FailAtValue(const std::string& file, const std::string& text, const std::string& where,
                 const std::string& reason) {
    const std::optional<TextPlace> place = LocateJsonPointer(text, where);
    throw LineFileError(file, place ? place->line : 0, place ? place->column : 0, where, reason);
}

LineDescription ReadLineDocument(const Json& document, const std::string& file,
                                 const std::string& text) {
    const Reader reader(file, text);
    reader.OnlyKeys(document, "", {"description", "powerUp", "terminal", "gear"});
    LineDescription description;
    if (document.contains("description")) reader.Text(document.at("description"), "/description");
    bool powerUp = false;
    if (document.contains("powerUp")) powerUp = reader.Boolean(document.at("powerUp"), "/powerUp");
    if (document.contains("terminal"))
        description.terminal = reader.Terminal(document.at("terminal"), "/terminal", description);
    if (document.contains("gear")) {
        const Json& gear = document.at("gear");
        if (!gear.is_array()) reader.Fail("/gear", "a list of gear is expected");
        for (std::size_t i = 0; i < gear.size(); ++i) {
            description.gear.push_back(reader.Gear(gear[i], "/gear/" + std::to_string(i)));
            if (powerUp) PowerUp(description.gear.back());
        }
    }
    return description;
}

}  // namespace zd::sim
