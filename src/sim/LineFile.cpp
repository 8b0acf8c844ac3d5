#include "sim/LineFile.h"

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

namespace zd::sim {

namespace {

using Json = nlohmann::json;

std::string Describe(const std::string& file, int line, int column, const std::string& where,
                     const std::string& reason) {
    std::string text = file;
    if (line > 0) text += ":" + std::to_string(line) + ":" + std::to_string(column);
    if (!where.empty()) text += ": at " + where;
    return text + ": " + reason;
}

// Reads one document; every complaint names the JSON pointer of the value concerned.
class Reader {
  public:
    explicit Reader(std::string file) : m_file(std::move(file)) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& reason) const {
        throw LineFileError(m_file, 0, 0, where.empty() ? "/" : where, reason);
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

    // An integer, written as a number or as a text in decimal or "0x" hexadecimal.
    std::int64_t Integer(const Json& value, const std::string& where, std::int64_t low,
                         std::int64_t high) const {
        std::int64_t number = 0;
        if (value.is_number_integer()) {
            number = value.get<std::int64_t>();
        } else if (value.is_string()) {
            const std::string text = value.get<std::string>();
            std::size_t used = 0;
            try {
                number = std::stoll(text, &used, 0);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == 0 || used != text.size()) Fail(where, "\"" + text + "\" is not a number");
        } else {
            Fail(where, "a number is expected");
        }
        if (number < low || number > high) {
            Fail(where, std::to_string(number) + " is outside " + std::to_string(low) + ".." +
                            std::to_string(high));
        }
        return number;
    }

    template <class T>
    void Optional(const Json& object, const char* key, const std::string& where, std::int64_t low,
                  std::int64_t high, T& out) const {
        if (object.contains(key))
            out = static_cast<T>(Integer(object.at(key), where + "/" + key, low, high));
    }

    bool Boolean(const Json& value, const std::string& where) const {
        if (!value.is_boolean()) Fail(where, "true or false is expected");
        return value.get<bool>();
    }

    std::string Text(const Json& value, const std::string& where) const {
        if (!value.is_string()) Fail(where, "a text is expected");
        return value.get<std::string>();
    }

    TerminalConfig Terminal(const Json& object, const std::string& where) const;
    GearConfig Gear(const Json& object, const std::string& where) const;

  private:
    ImageEntry Entry(const Json& object, const std::string& where) const;
    std::string m_file;
};

ImageEntry Reader::Entry(const Json& object, const std::string& where) const {
    OnlyKeys(object, where, {"word", "bit", "table"});
    if (!object.contains("word") || !object.contains("bit") || !object.contains("table"))
        Fail(where, "\"word\", \"bit\" and \"table\" are all needed");
    ImageEntry entry;
    entry.nWordOffset = static_cast<std::int32_t>(
        Integer(object.at("word"), where + "/word", 0, ProcessImage::kTableWords - 1));
    entry.nBitOffset = static_cast<std::int32_t>(Integer(object.at("bit"), where + "/bit", 0, 8));
    entry.nTableNumber =
        static_cast<std::int32_t>(Integer(object.at("table"), where + "/table", 0, 0x7FFF));
    return entry;
}

TerminalConfig Reader::Terminal(const Json& object, const std::string& where) const {
    OnlyKeys(object, where,
             {"position", "firmwareVersion", "featureRegister", "takeOverDelayMs", "byteOrder",
              "layout", "identicalAnswersDecode", "randomSeed"});
    TerminalConfig config;
    Optional(object, "position", where, 1, 0x7FFF, config.position);
    Optional(object, "firmwareVersion", where, 0, 0xFFFF, config.firmwareVersion);
    Optional(object, "featureRegister", where, 0, 0xFFFF, config.featureRegister);
    Optional(object, "takeOverDelayMs", where, 0, 60000, config.takeOverDelayMs);
    Optional(object, "randomSeed", where, 0, std::numeric_limits<std::uint32_t>::max(),
             config.randomSeed);
    if (object.contains("identicalAnswersDecode"))
        config.identicalAnswersDecode =
            Boolean(object.at("identicalAnswersDecode"), where + "/identicalAnswersDecode");
    if (object.contains("byteOrder")) {
        const std::string order = Text(object.at("byteOrder"), where + "/byteOrder");
        if (order != "Intel" && order != "Motorola")
            Fail(where + "/byteOrder", "\"Intel\" or \"Motorola\" is expected");
        config.layout.motorola = order == "Motorola";
    }
    if (object.contains("layout")) {
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
    return config;
}

GearConfig Reader::Gear(const Json& object, const std::string& where) const {
    OnlyKeys(object, where,
             {"kind", "shortAddress", "randomAddress", "actualLevel", "powerOnLevel",
              "systemFailureLevel", "minLevel", "maxLevel", "physicalMinimum", "fadeTime",
              "fadeRate", "groups", "scenes", "lamp", "deviceType", "version", "randomise"});
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
    Optional(object, "randomAddress", where, 0, 0xFFFFFF, gear.randomAddress);
    if (object.contains("actualLevel"))
        gear.actualLevel = static_cast<std::uint8_t>(
            Integer(object.at("actualLevel"), where + "/actualLevel", 0, 254));
    Optional(object, "powerOnLevel", where, 0, 255, gear.powerOnLevel);
    Optional(object, "systemFailureLevel", where, 0, 255, gear.systemFailureLevel);
    if (object.contains("minLevel"))
        gear.minLevel =
            static_cast<std::uint8_t>(Integer(object.at("minLevel"), where + "/minLevel", 1, 254));
    Optional(object, "maxLevel", where, 1, 254, gear.maxLevel);
    Optional(object, "physicalMinimum", where, 1, 254, gear.physicalMinimum);
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
                Integer(values[i], where + "/randomise/" + std::to_string(i), 0, 0xFFFFFF)));
        }
    }
    if (gear.minLevel && *gear.minLevel < gear.physicalMinimum)
        Fail(where + "/minLevel",
             "below the physical minimum " + std::to_string(gear.physicalMinimum));
    if (gear.minLevel && *gear.minLevel > gear.maxLevel)
        Fail(where + "/minLevel", "above the maximum level");
    if (object.contains("groups")) {
        const Json& groups = object.at("groups");
        if (!groups.is_array()) Fail(where + "/groups", "a list of group numbers is expected");
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const auto group = Integer(groups[i], where + "/groups/" + std::to_string(i), 0, 15);
            gear.groups = static_cast<std::uint16_t>(gear.groups | (1u << group));
        }
    }
    if (object.contains("scenes")) {
        const Json& scenes = object.at("scenes");
        if (!scenes.is_object())
            Fail(where + "/scenes", "an object of scene number to level is expected");
        for (const auto& item : scenes.items()) {
            const std::string at = where + "/scenes/" + item.key();
            const auto scene = Integer(Json(item.key()), at, 0, 15);
            gear.scenes[static_cast<std::size_t>(scene)] =
                static_cast<std::uint8_t>(Integer(item.value(), at, 0, 255));
        }
    }
    if (object.contains("lamp")) {
        const std::string lamp = Text(object.at("lamp"), where + "/lamp");
        if (lamp == "present") {
            gear.lamp = LampState::Present;
        } else if (lamp == "removed") {
            gear.lamp = LampState::Removed;
        } else if (lamp == "failed") {
            gear.lamp = LampState::Failed;
        } else {
            Fail(where + "/lamp", "\"present\", \"removed\" or \"failed\" is expected");
        }
    }
    return gear;
}

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
        document = Json::parse(text);
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
    const Reader reader(fileName);
    reader.OnlyKeys(document, "", {"description", "terminal", "gear"});
    LineDescription description;
    if (document.contains("description")) reader.Text(document.at("description"), "/description");
    if (document.contains("terminal"))
        description.terminal = reader.Terminal(document.at("terminal"), "/terminal");
    if (document.contains("gear")) {
        const Json& gear = document.at("gear");
        if (!gear.is_array()) reader.Fail("/gear", "a list of gear is expected");
        for (std::size_t i = 0; i < gear.size(); ++i) {
            description.gear.push_back(reader.Gear(gear[i], "/gear/" + std::to_string(i)));
        }
    }
    return description;
}

LineDescription LoadLineFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LineFileError(path, 0, 0, "", "the file cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return ParseLineDescription(text.str(), path);
}

std::unique_ptr<Terminal> MakeTerminal(Scheduler& scheduler, const LineDescription& description) {
    auto terminal = std::make_unique<Terminal>(scheduler, description.terminal);
    for (const GearConfig& gear : description.gear) terminal->AddGear(gear);
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
    return json;
}

}  // namespace

LineDescription CaptureLine(Terminal& terminal, const TerminalConfig& settings) {
    terminal.AdvanceToNow();
    LineDescription description;
    TerminalConfig& config = description.terminal;
    config.position = terminal.Position();
    config.firmwareVersion = terminal.Register(Terminal::kRegisterFirmwareVersion);
    config.featureRegister = terminal.Register(Terminal::kRegisterFeatures);
    config.takeOverDelayMs = settings.takeOverDelayMs;
    config.layout = terminal.Layout();
    config.identicalAnswersDecode = terminal.GetLine().IdenticalAnswersDecode();
    config.randomSeed = settings.randomSeed;
    for (const auto& ballast : terminal.GetLine().Gear()) {
        GearConfig gear;
        gear.kind = ballast->Kind();
        gear.shortAddress = ballast->ShortAddress();
        gear.randomAddress = ballast->RandomAddress();
        gear.actualLevel = terminal.GearLevel(ballast->Id());
        gear.powerOnLevel = ballast->PowerOnLevel();
        gear.systemFailureLevel = ballast->SystemFailureLevel();
        gear.minLevel = ballast->MinLevel();
        gear.maxLevel = ballast->MaxLevel();
        gear.physicalMinimum = ballast->PhysicalMinimum();
        gear.fadeTime = ballast->FadeTime();
        gear.fadeRate = ballast->FadeRate();
        gear.groups = ballast->Groups();
        for (int scene = 0; scene < 16; ++scene)
            gear.scenes[static_cast<std::size_t>(scene)] = ballast->SceneLevel(scene);
        gear.lamp = ballast->Lamp();
        gear.deviceType = ballast->DeviceType();
        gear.version = ballast->Version();
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
                            {"takeOverDelayMs", config.takeOverDelayMs},
                            {"byteOrder", config.layout.motorola ? "Motorola" : "Intel"},
                            {"layout", layout},
                            {"identicalAnswersDecode", config.identicalAnswersDecode},
                            {"randomSeed", config.randomSeed}};
    OrderedJson gear = OrderedJson::array();
    for (const GearConfig& one : description.gear) gear.push_back(GearJson(one));
    document["gear"] = gear;
    return document.dump(2) + "\n";
}

}  // namespace zd::sim
