#include "sim/LineFile.h"

#include <cstdio>
#include <initializer_list>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "sim/Faults.h"

namespace zd::sim {

namespace {

using Json = nlohmann::json;

// A lamp script runs for at most a day.
constexpr std::int64_t kMaxLampEventMs = 24LL * 3600 * 1000;

std::string Describe(const std::string& file, int line, int column, const std::string& where,
                     const std::string& reason) {
    // A file that cannot be read at all is named by the reason already.
    if (line == 0 && where.empty() && reason.find(file) != std::string::npos) return reason;
    std::string text = file;
    if (line > 0) text += ":" + std::to_string(line) + ":" + std::to_string(column);
    if (!where.empty()) text += ": at " + where;
    return text + ": " + reason;
}

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

// Where in the text the value at a JSON pointer starts, as line and column from 1, so that an
// error about a value can point at it in an editor. Walks the text the parser has read; gives up
// (nothing) on anything it does not expect, such as a key with "/" or an escape in its name.
class ValueLocator {
  public:
    explicit ValueLocator(const std::string& text) : m_text(text) {}

    std::optional<std::pair<int, int>> Locate(const std::string& pointer) const {
        std::size_t at = SkipBlanks(0);
        std::size_t from = 1;
        while (from <= pointer.size() && pointer.size() > 1) {
            std::size_t to = pointer.find('/', from);
            if (to == std::string::npos) to = pointer.size();
            const std::optional<std::size_t> inner = Step(at, pointer.substr(from, to - from));
            if (!inner) return std::nullopt;
            at = *inner;
            from = to + 1;
        }
        if (at >= m_text.size()) return std::nullopt;
        int line = 1;
        int column = 1;
        for (std::size_t i = 0; i < at; ++i) {
            if (m_text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return std::pair{line, column};
    }

  private:
    std::size_t SkipBlanks(std::size_t at) const {
        while (at < m_text.size() &&
               std::string_view(" \t\r\n").find(m_text[at]) != std::string_view::npos)
            ++at;
        return at;
    }
    // Past the string that starts at at; its raw text (escapes kept) into raw.
    std::optional<std::size_t> SkipString(std::size_t at, std::string* raw = nullptr) const {
        for (std::size_t i = at + 1; i < m_text.size(); ++i) {
            if (m_text[i] == '\\') {
                ++i;
            } else if (m_text[i] == '"') {
                if (raw) *raw = m_text.substr(at + 1, i - at - 1);
                return i + 1;
            }
        }
        return std::nullopt;
    }
    std::optional<std::size_t> SkipValue(std::size_t at) const {
        if (at >= m_text.size()) return std::nullopt;
        if (m_text[at] == '"') return SkipString(at);
        if (m_text[at] != '{' && m_text[at] != '[') {
            while (at < m_text.size() &&
                   std::string_view(",}] \t\r\n").find(m_text[at]) == std::string_view::npos)
                ++at;
            return at;
        }
        int depth = 0;
        for (std::size_t i = at; i < m_text.size(); ++i) {
            const char c = m_text[i];
            if (c == '"') {
                const auto end = SkipString(i);
                if (!end) return std::nullopt;
                i = *end - 1;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if ((c == '}' || c == ']') && --depth == 0) {
                return i + 1;
            }
        }
        return std::nullopt;
    }
    // From the container at at to the start of its member or element named token.
    std::optional<std::size_t> Step(std::size_t at, const std::string& token) const {
        if (at >= m_text.size()) return std::nullopt;
        const bool array = m_text[at] == '[';
        if (!array && m_text[at] != '{') return std::nullopt;
        std::size_t index = 0;
        if (array) {
            if (token.empty() || token.find_first_not_of("0123456789") != std::string::npos ||
                token.size() > 6)
                return std::nullopt;
            index = static_cast<std::size_t>(std::stoul(token));
        }
        at = SkipBlanks(at + 1);
        for (std::size_t item = 0; at < m_text.size(); ++item) {
            bool match = array && item == index;
            if (!array) {
                std::string key;
                const auto end = m_text[at] == '"' ? SkipString(at, &key) : std::nullopt;
                if (!end) return std::nullopt;
                at = SkipBlanks(*end);
                if (at >= m_text.size() || m_text[at] != ':') return std::nullopt;
                at = SkipBlanks(at + 1);
                match = key == token;
            }
            if (match) return at;
            const auto end = SkipValue(at);
            if (!end) return std::nullopt;
            at = SkipBlanks(*end);
            if (at >= m_text.size() || m_text[at] != ',') return std::nullopt;
            at = SkipBlanks(at + 1);
        }
        return std::nullopt;
    }

    const std::string& m_text;
};

[[noreturn]] void FailAt(const std::string& file, const std::string& text, const std::string& where,
                         const std::string& reason) {
    const auto place = ValueLocator(text).Locate(where);
    throw LineFileError(file, place ? place->first : 0, place ? place->second : 0, where, reason);
}

// Reads one document; every complaint names the JSON pointer of the value concerned and, where it
// can be found, its line and column.
class Reader {
  public:
    Reader(std::string file, const std::string& text) : m_file(std::move(file)), m_text(text) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& reason) const {
        FailAt(m_file, m_text, where.empty() ? "/" : where, reason);
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
              "lampEvents"});
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
    return gear;
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

// nlohmann keeps the last of two equal keys; a line file with a key twice is ambiguous, so the
// parse refuses it, naming where.
class DuplicateKeyGuard {
  public:
    DuplicateKeyGuard(const std::string& file, const std::string& text)
        : m_file(file), m_text(text) {}

    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                CountArrayItem();
                m_frames.push_back(Frame{event == Json::parse_event_t::array_start, -1, {}, {}});
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                if (!m_frames.empty()) m_frames.pop_back();
                break;
            case Json::parse_event_t::key: {
                Frame& frame = m_frames.back();
                frame.key = parsed.get<std::string>();
                if (!frame.keys.insert(frame.key).second) {
                    FailAt(m_file, m_text, Pointer(), "the key \"" + frame.key + "\" comes twice");
                }
                break;
            }
            case Json::parse_event_t::value:
                CountArrayItem();
                break;
        }
        return true;
    }

  private:
    struct Frame {
        bool array = false;
        int index = -1;
        std::string key;
        std::set<std::string> keys;
    };
    void CountArrayItem() {
        if (!m_frames.empty() && m_frames.back().array) ++m_frames.back().index;
    }
    std::string Pointer() const {
        std::string pointer;
        for (const Frame& frame : m_frames)
            pointer += "/" + (frame.array ? std::to_string(frame.index) : frame.key);
        return pointer;
    }

    std::string m_file;
    const std::string& m_text;
    std::vector<Frame> m_frames;
};

}  // namespace

LineFileError::LineFileError(std::string file, int line, int column, std::string where,
                             std::string reason)
    : ControlError(Describe(file, line, column, where, reason), kLibraryTitle,
                   line == 0 && where.empty() ? kErrFileNotFound : kErrAutomation),
      m_file(std::move(file)),
      m_line(line),
      m_column(column),
      m_where(std::move(where)),
      m_reason(std::move(reason)) {}

namespace {

// A syntax error at byte offset of the text, with the line and column people count.
[[noreturn]] void FailSyntax(const std::string& text, const std::string& fileName,
                             std::size_t offset, std::string reason) {
    int line = 1;
    int column = 1;
    const std::size_t end = std::min(offset, text.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    // nlohmann's text starts "[json.exception.parse_error.101] parse error at line ..., column
    // ...: ".
    const std::size_t colon = reason.find(": ");
    if (colon != std::string::npos) reason = reason.substr(colon + 2);
    throw LineFileError(fileName, line, column, "", reason);
}

}  // namespace

LineDescription ParseLineDescription(const std::string& text, const std::string& fileName) {
    Json document;
    try {
        document = Json::parse(text, DuplicateKeyGuard(fileName, text));
    } catch (const Json::parse_error& error) {
        // The parser counts bytes from 1.
        FailSyntax(text, fileName, error.byte == 0 ? 0 : error.byte - 1, error.what());
    } catch (const Json::out_of_range& error) {
        // A number too large for any number type ("1e999") ends the parse with this error, which
        // quotes the number but gives no place: it is taken where that text first stands.
        const std::string what = error.what();
        const std::size_t open = what.find('\'');
        const std::size_t close = what.rfind('\'');
        const std::size_t at = open != std::string::npos && close > open
                                   ? text.find(what.substr(open + 1, close - open - 1))
                                   : std::string::npos;
        FailSyntax(text, fileName, at == std::string::npos ? text.size() : at,
                   what.substr(what.find("] ") + 2));
    }
    const Reader reader(fileName, text);
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

LineDescription LoadLineFile(const std::string& path) {
    std::string text;
    try {
        text = ReadInputFile(path, kLineFileInput);
    } catch (const ControlError& e) {
        throw LineFileError(path, 0, 0, "", e.Description());
    }
    return ParseLineDescription(text, path);
}

std::unique_ptr<Terminal> MakeTerminal(Scheduler& scheduler, const LineDescription& description) {
    auto terminal = std::make_unique<Terminal>(scheduler, description.terminal);
    const std::int64_t loadedMs = scheduler.Now();
    for (const GearConfig& gear : description.gear) {
        const int id = terminal->AddGear(gear);
        for (const GearConfig::LampEvent& event : gear.lampEvents)
            terminal->ScheduleLamp(id, event.lamp, loadedMs + event.atMs);
    }
    return terminal;
}

namespace {

using OrderedJson = nlohmann::ordered_json;

// Codes and register values are written in hexadecimal, as people write them in the examples.
std::string HexText(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

OrderedJson EntryJson(const ImageEntry& entry) {
    return {{"word", entry.nWordOffset}, {"bit", entry.nBitOffset}, {"table", entry.nTableNumber}};
}

const char* LampText(LampState lamp) {
    switch (lamp) {
        case LampState::Removed:
            return "removed";
        case LampState::Failed:
            return "failed";
        case LampState::Present:
            break;
    }
    return "present";
}

// The faults that are on, by name; nothing when none is.
template <class Faults>
OrderedJson FaultsJson(const Faults& faults, const std::vector<FaultField<Faults>>& fields) {
    OrderedJson json = OrderedJson::object();
    for (const auto& field : fields) {
        const std::int64_t value = field.get(faults);
        if (value == 0) continue;
        if (field.boolean) {
            json[field.name] = true;
        } else {
            json[field.name] = value;
        }
    }
    return json;
}

OrderedJson GearJson(const GearConfig& gear) {
    OrderedJson json;
    json["kind"] = gear.kind == GearKind::Dsi ? "DSI" : "DALI";
    json["shortAddress"] = gear.shortAddress ? OrderedJson(*gear.shortAddress) : OrderedJson();
    json["randomAddress"] = HexText(gear.randomAddress, 6);
    if (gear.actualLevel) json["actualLevel"] = *gear.actualLevel;
    json["powerOnLevel"] = gear.powerOnLevel;
    json["systemFailureLevel"] = gear.systemFailureLevel;
    if (gear.minLevel) json["minLevel"] = *gear.minLevel;
    json["maxLevel"] = gear.maxLevel;
    json["physicalMinimum"] = gear.physicalMinimum;
    json["fadeTime"] = gear.fadeTime;
    json["fadeRate"] = gear.fadeRate;
    OrderedJson groups = OrderedJson::array();
    for (int group = 0; group < 16; ++group)
        if ((gear.groups >> group) & 1u) groups.push_back(group);
    json["groups"] = groups;
    OrderedJson scenes = OrderedJson::object();
    for (std::size_t scene = 0; scene < gear.scenes.size(); ++scene)
        if (gear.scenes[scene] != kMask) scenes[std::to_string(scene)] = gear.scenes[scene];
    json["scenes"] = scenes;
    json["lamp"] = LampText(gear.lamp);
    json["deviceType"] = gear.deviceType;
    json["version"] = gear.version;
    if (!gear.randomise.empty()) {
        OrderedJson randomise = OrderedJson::array();
        for (std::uint32_t value : gear.randomise) randomise.push_back(HexText(value, 6));
        json["randomise"] = randomise;
    }
    json["dtr"] = gear.dtr;
    json["powerFailure"] = gear.powerFailure;
    json["limitError"] = gear.limitError;
    json["searchAddress"] = HexText(gear.searchAddress, 6);
    if (gear.fade) {
        json["fade"] = {{"target", gear.fade->target},
                        {"final", gear.fade->final},
                        {"remainingMs", gear.fade->remainingMs}};
    }
    if (gear.initialiseRemainingMs > 0) {
        json["initialiseRemainingMs"] = gear.initialiseRemainingMs;
        json["withdrawn"] = gear.withdrawn;
        json["physicalSelection"] = gear.physicalSelection;
    }
    json["powered"] = gear.powered;
    const OrderedJson faults = FaultsJson(gear.faults, GearFaultFields());
    if (!faults.empty()) json["faults"] = faults;
    if (!gear.lampEvents.empty()) {
        OrderedJson events = OrderedJson::array();
        for (const GearConfig::LampEvent& event : gear.lampEvents)
            events.push_back({{"atMs", event.atMs}, {"lamp", LampText(event.lamp)}});
        json["lampEvents"] = events;
    }
    return json;
}

}  // namespace

LineDescription CaptureLine(Terminal& terminal, const TerminalConfig& settings) {
    terminal.AdvanceToNow();
    LineDescription description;
    description.positionStated = true;
    description.layoutStated = true;
    description.byteOrderStated = true;
    TerminalConfig& config = description.terminal;
    config.position = terminal.Position();
    config.firmwareVersion = terminal.Register(Terminal::kRegisterFirmwareVersion);
    config.featureRegister = terminal.Register(Terminal::kRegisterFeatures);
    config.codeWord = terminal.Register(Terminal::kRegisterCodeWord);
    config.takeOverDelayMs = settings.takeOverDelayMs;
    config.layout = terminal.Layout();
    config.identicalAnswersDecode = terminal.GetLine().IdenticalAnswersDecode();
    config.randomSeed = terminal.GetLine().NextSeed();
    const Micros nowUs = terminal.NowMicros();
    config.faults = terminal.Faults();
    for (const auto& ballast : terminal.GetLine().Gear()) {
        GearConfig gear = ballast->Capture(nowUs);
        // The lamp script goes on from the save: times from now, whole milliseconds rounded up.
        for (const auto& [atUs, lamp] : terminal.ScheduledLamps(ballast->Id()))
            gear.lampEvents.push_back(GearConfig::LampEvent{(atUs - nowUs + 999) / 1000, lamp});
        description.gear.push_back(gear);
    }
    return description;
}

std::string WriteLineDescription(const LineDescription& description) {
    const TerminalConfig& config = description.terminal;
    OrderedJson layout;
    const char* names[4] = {"STATUS", "INPUT", "CONTROL", "OUTPUT"};
    for (std::size_t i = 0; i < 4; ++i) layout[names[i]] = EntryJson(config.layout.entries[i]);
    OrderedJson document;
    document["terminal"] = {{"position", config.position},
                            {"firmwareVersion", HexText(config.firmwareVersion, 4)},
                            {"featureRegister", HexText(config.featureRegister, 4)},
                            {"codeWord", HexText(config.codeWord, 4)},
                            {"takeOverDelayMs", config.takeOverDelayMs},
                            {"byteOrder", config.layout.motorola ? "Motorola" : "Intel"},
                            {"layout", layout},
                            {"identicalAnswersDecode", config.identicalAnswersDecode},
                            {"randomSeed", config.randomSeed}};
    const OrderedJson faults = FaultsJson(config.faults, TerminalFaultFields());
    if (!faults.empty()) document["terminal"]["faults"] = faults;
    OrderedJson gear = OrderedJson::array();
    for (const GearConfig& one : description.gear) gear.push_back(GearJson(one));
    document["gear"] = gear;
    return document.dump(2) + "\n";
}

}  // namespace zd::sim
