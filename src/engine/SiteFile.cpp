#include "engine/SiteFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "engine/LineCommands.h"
#include "platform/Error.h"
#include "platform/Utf8.h"

namespace zd {

namespace {

using SiteJson = nlohmann::ordered_json;

constexpr std::uint32_t kRandomAddressMax = 0xFFFFFF;
constexpr int kMaxNesting = 16;
constexpr std::size_t kExcerptLength = 40;

[[noreturn]] void Fail(const std::string& file, const std::string& where,
                       const std::string& reason) {
    throw ControlError(file + ": " + (where.empty() ? "" : "at " + where + ": ") + reason,
                       kLibraryTitle, kErrAutomation);
}

std::string Excerpt(const SiteJson& value) {
    if (value.is_object()) return "an object";
    if (value.is_array()) return "a list";
    std::string text = value.dump(-1, ' ', true, SiteJson::error_handler_t::replace);
    if (text.size() > kExcerptLength) text = text.substr(0, kExcerptLength) + "...";
    return text;
}

// nlohmann keeps the last of two equal keys; a file with a key twice is ambiguous.
struct DuplicateKeys {
    std::string file;
    std::vector<std::set<std::string>> objects;
    bool operator()(int depth, SiteJson::parse_event_t event, SiteJson& parsed) {
        if (depth > kMaxNesting)
            Fail(file, "", "values are nested deeper than " + std::to_string(kMaxNesting));
        if (event == SiteJson::parse_event_t::object_start) objects.emplace_back();
        if (event == SiteJson::parse_event_t::object_end && !objects.empty()) objects.pop_back();
        if (event == SiteJson::parse_event_t::key && !objects.empty() &&
            !objects.back().insert(parsed.get<std::string>()).second)
            Fail(file, "", "the key " + Excerpt(parsed) + " comes twice");
        return true;
    }
};

void CheckKeys(const std::string& file, const SiteJson& value, const std::string& where,
               std::initializer_list<const char*> required,
               std::initializer_list<const char*> optional) {
    if (!value.is_object()) Fail(file, where, "an object is expected");
    for (const auto& entry : value.items()) {
        auto in = [&](auto list) {
            return std::any_of(list.begin(), list.end(),
                               [&](const char* name) { return entry.key() == name; });
        };
        if (!in(required) && !in(optional))
            Fail(file, where, "unknown key " + Excerpt(SiteJson(entry.key())));
    }
    for (const char* key : required)
        if (!value.contains(key))
            Fail(file, where, "the key \"" + std::string(key) + "\" is missing");
}

std::int64_t Integer(const std::string& file, const SiteJson& value, const std::string& where,
                     std::int64_t low, std::int64_t high) {
    if (!value.is_number_integer() || value.get<std::int64_t>() < low ||
        value.get<std::int64_t>() > high) {
        Fail(file, where,
             "a whole number " + std::to_string(low) + " to " + std::to_string(high) +
                 " is expected, not " + Excerpt(value));
    }
    return value.get<std::int64_t>();
}

std::string RandomText(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(address));
    return text;
}

std::optional<std::uint32_t> ParseRandom(const std::string& text) {
    if (text.size() != 8 || text.rfind("0x", 0) != 0) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::size_t CodePoints(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

const SiteEntry* SiteFile::Find(std::int32_t position, std::int16_t shortAddress) const {
    for (const SiteEntry& entry : luminaires)
        if (entry.position == position && entry.shortAddress == shortAddress) return &entry;
    return nullptr;
}

SiteEntry* SiteFile::Find(std::int32_t position, std::int16_t shortAddress) {
    return const_cast<SiteEntry*>(std::as_const(*this).Find(position, shortAddress));
}

bool SiteFile::HasPosition(std::int32_t position) const {
    return std::any_of(luminaires.begin(), luminaires.end(),
                       [&](const SiteEntry& entry) { return entry.position == position; });
}

std::optional<std::string> SiteTextRefusal(const std::string& text) {
    if (!IsValidUtf8(text)) return "it is not UTF-8 text";
    if (CodePoints(text) > kSiteTextMax)
        return "it is longer than " + std::to_string(kSiteTextMax) + " characters";
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return "it holds a control character (a line break, a tab)";
    return std::nullopt;
}

const SiteEntry& ApplySiteNaming(SiteFile& site, const SiteNaming& naming) {
    const std::pair<const char*, const std::optional<std::string>*> texts[] = {
        {"name", &naming.name},
        {"room", &naming.room},
        {"floor", &naming.floor},
        {"note", &naming.note}};
    for (const auto& [what, text] : texts) {
        if (!*text) continue;
        if (const auto refusal = SiteTextRefusal(**text))
            throw ControlError(std::string("the ") + what + " cannot be used: " + *refusal,
                               kLibraryTitle, kErrAutomation);
    }
    if (naming.shortAddress < 0 || naming.shortAddress > 63)
        throw ControlError(
            "the short address " + std::to_string(naming.shortAddress) + " is not 0 to 63",
            kLibraryTitle, kErrAutomation);
    SiteEntry* entry = site.Find(naming.position, naming.shortAddress);
    if (!entry) {
        if (site.luminaires.size() >= kSiteEntriesMax)
            throw ControlError("the site file holds " + std::to_string(kSiteEntriesMax) +
                                   " luminaires, the most it takes",
                               kLibraryTitle, kErrAutomation);
        site.luminaires.push_back({naming.position, naming.shortAddress, {}, {}, {}, {}, {}});
        entry = &site.luminaires.back();
    }
    if (naming.randomAddress) {
        // The gear is named now: an older entry that remembered it elsewhere loses the claim.
        for (SiteEntry& other : site.luminaires)
            if (&other != entry && other.position == naming.position &&
                other.randomAddress == naming.randomAddress)
                other.randomAddress.reset();
        entry->randomAddress = naming.randomAddress;
    }
    if (naming.name) entry->name = *naming.name;
    if (naming.room) entry->room = *naming.room;
    if (naming.floor) entry->floor = *naming.floor;
    if (naming.note) entry->note = *naming.note;
    return *entry;
}

std::string WriteSiteText(const SiteFile& site) {
    SiteJson luminaires = SiteJson::array();
    for (const SiteEntry& entry : site.luminaires) {
        SiteJson json = {{"position", entry.position}};
        json["shortAddress"] = entry.shortAddress ? SiteJson(*entry.shortAddress) : SiteJson();
        if (entry.randomAddress) json["randomAddress"] = RandomText(*entry.randomAddress);
        json["name"] = entry.name;
        if (!entry.room.empty()) json["room"] = entry.room;
        if (!entry.floor.empty()) json["floor"] = entry.floor;
        if (!entry.note.empty()) json["note"] = entry.note;
        luminaires.push_back(std::move(json));
    }
    const SiteJson document = {
        {"format", kSiteFormat}, {"version", kSiteVersion}, {"luminaires", luminaires}};
    return document.dump(2) + "\n";
}

SiteFile ParseSiteText(const std::string& text, const std::string& fileName) {
    SiteJson document;
    try {
        document = SiteJson::parse(text, DuplicateKeys{fileName, {}});
    } catch (const SiteJson::exception& error) {
        std::string what = error.what();
        const std::size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        if (what.size() > 4 * kExcerptLength) what = what.substr(0, 4 * kExcerptLength) + "...";
        Fail(fileName, "", what);
    }
    if (!document.is_object() || document.value("format", SiteJson()) != kSiteFormat)
        Fail(fileName, "/format",
             std::string("this is no site file (\"format\": \"") + kSiteFormat + "\" is expected)");
    if (!document.contains("version")) Fail(fileName, "/", "the key \"version\" is missing");
    const std::int64_t version =
        Integer(fileName, document.at("version"), "/version", 1, 1'000'000);
    if (version > kSiteVersion)
        Fail(fileName, "/version",
             "version " + std::to_string(version) + " is newer than this program reads (" +
                 std::to_string(kSiteVersion) + ")");
    CheckKeys(fileName, document, "/", {"format", "version", "luminaires"}, {});
    const SiteJson& list = document.at("luminaires");
    if (!list.is_array()) Fail(fileName, "/luminaires", "a list of luminaires is expected");
    if (list.size() > kSiteEntriesMax)
        Fail(fileName, "/luminaires",
             "more than " + std::to_string(kSiteEntriesMax) + " luminaires");
    SiteFile site;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string where = "/luminaires/" + std::to_string(i);
        const SiteJson& item = list[i];
        CheckKeys(fileName, item, where, {"position", "shortAddress", "name"},
                  {"randomAddress", "room", "floor", "note"});
        SiteEntry entry;
        entry.position = static_cast<std::int32_t>(
            Integer(fileName, item.at("position"), where + "/position", -1, 65535));
        if (!item.at("shortAddress").is_null())
            entry.shortAddress = static_cast<std::int16_t>(
                Integer(fileName, item.at("shortAddress"), where + "/shortAddress", 0, 63));
        if (item.contains("randomAddress")) {
            const SiteJson& random = item.at("randomAddress");
            const auto value =
                random.is_string() ? ParseRandom(random.get<std::string>()) : std::nullopt;
            if (!value || *value > kRandomAddressMax)
                Fail(fileName, where + "/randomAddress",
                     "a random address \"0x000000\" to \"0xFFFFFF\" is expected, not " +
                         Excerpt(random));
            entry.randomAddress = *value;
        }
        const std::pair<const char*, std::string*> texts[] = {{"name", &entry.name},
                                                              {"room", &entry.room},
                                                              {"floor", &entry.floor},
                                                              {"note", &entry.note}};
        for (const auto& [key, target] : texts) {
            if (!item.contains(key)) continue;
            const SiteJson& value = item.at(key);
            if (!value.is_string()) Fail(fileName, where + "/" + key, "a text is expected");
            *target = value.get<std::string>();
            if (const auto refusal = SiteTextRefusal(*target))
                Fail(fileName, where + "/" + key, *refusal);
        }
        if (entry.shortAddress && site.Find(entry.position, *entry.shortAddress))
            Fail(fileName, where + "/shortAddress",
                 "short address " + std::to_string(*entry.shortAddress) + " of position " +
                     std::to_string(entry.position) + " is named twice");
        site.luminaires.push_back(std::move(entry));
    }
    return site;
}

SiteFile LoadSiteFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return {};
    return ParseSiteText(ReadInputFile(path, kSiteInput), path);
}

void SaveSiteFile(const std::string& path, const SiteFile& site) {
    WriteFileAtomically(path, WriteSiteText(site));
}

std::string DefaultSitePath(const std::string& storePath) {
    const std::size_t slash = storePath.find_last_of('/');
    return (slash == std::string::npos ? std::string() : storePath.substr(0, slash + 1)) +
           "site.json";
}

std::vector<SiteMove> FollowSiteGear(SiteFile& site, std::int32_t position,
                                     const std::vector<SiteGear>& line,
                                     const std::vector<std::int16_t>& replaced) {
    std::map<std::uint32_t, std::int16_t> byRandom;
    std::set<std::uint32_t> seenTwice;
    std::map<std::int16_t, std::optional<std::uint32_t>> atAddress;
    for (const SiteGear& gear : line) {
        atAddress[gear.shortAddress] = gear.randomAddress;
        if (!gear.randomAddress) continue;
        if (!byRandom.emplace(*gear.randomAddress, gear.shortAddress).second)
            seenTwice.insert(*gear.randomAddress);
    }
    for (std::uint32_t twice : seenTwice) byRandom.erase(twice);
    const std::set<std::int16_t> replacedSet(replaced.begin(), replaced.end());

    // Where each luminaire goes, and whether its own gear confirmed the place.
    struct Target {
        SiteEntry* entry;
        std::optional<std::int16_t> to;
        bool confirmed;
        std::string why;
    };
    std::vector<Target> targets;
    for (SiteEntry& entry : site.luminaires) {
        if (entry.position != position) continue;
        Target target{&entry, entry.shortAddress, false, ""};
        const auto found =
            entry.randomAddress ? byRandom.find(*entry.randomAddress) : byRandom.end();
        const auto here =
            entry.shortAddress ? atAddress.find(*entry.shortAddress) : atAddress.end();
        if (found != byRandom.end()) {
            target.to = found->second;
            target.confirmed = true;
            if (target.to != entry.shortAddress) target.why = "moved";
        } else if (here != atAddress.end() && replacedSet.count(here->first) && here->second) {
            target.confirmed = true;
            entry.randomAddress = here->second;
            target.why = "replaced";
        } else if (here != atAddress.end() && here->second) {
            if (!entry.randomAddress) {
                entry.randomAddress = here->second;
            } else if (!seenTwice.count(*here->second)) {
                // Another gear answers at the address, and the luminaire's own is nowhere.
                target.to.reset();
                target.why = "lost";
            }
        } else if (here == atAddress.end() && entry.randomAddress && entry.shortAddress) {
            // Nobody is at the address any more and the luminaire's gear is nowhere on the line
            // (a new installation drew it a new random address): the name is kept without an
            // address and said to be lost, rather than waiting for whichever gear comes there.
            target.to.reset();
            target.why = "lost";
        }
        targets.push_back(target);
    }
    // A place its own gear confirmed wins over a name that merely stayed there.
    std::map<std::int16_t, std::size_t> taken;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < targets.size(); ++i) {
            Target& target = targets[i];
            if (!target.to || target.confirmed != (pass == 0)) continue;
            if (taken.count(*target.to)) {
                target.to.reset();
                target.why = "not-found";
            } else {
                taken[*target.to] = i;
            }
        }
    }
    std::vector<SiteMove> moves;
    for (Target& target : targets) {
        SiteEntry& entry = *target.entry;
        if (target.to == entry.shortAddress && target.why != "replaced") continue;
        moves.push_back(
            {entry.name, entry.shortAddress, target.to, target.why.empty() ? "moved" : target.why});
        entry.shortAddress = target.to;
    }
    return moves;
}

std::optional<std::uint32_t> ReadRandomAddress(EngineTerminal& terminal,
                                               std::int16_t shortAddress) {
    std::uint32_t value = 0;
    for (std::int16_t query :
         {kCmdQueryRandomAddressH, kCmdQueryRandomAddressM, kCmdQueryRandomAddressL}) {
        std::optional<std::uint8_t> byte;
        for (int ask = 0; ask < 2 && !byte; ++ask) {
            const LineCommandResult result =
                QueryLine(terminal, {query, 0, AddressKind::Short, shortAddress});
            if (result.answer == QueryAnswer::Byte) byte = result.answerByte;
            if (result.answer == QueryAnswer::Failed || result.answer == QueryAnswer::Several)
                return std::nullopt;
        }
        if (!byte) return std::nullopt;
        value = (value << 8) | *byte;
    }
    return value;
}

std::vector<SiteGear> ReadSiteGear(EngineTerminal& terminal,
                                   const std::vector<std::int16_t>& addresses) {
    std::vector<SiteGear> gear;
    for (std::int16_t address : addresses)
        gear.push_back({address, ReadRandomAddress(terminal, address)});
    return gear;
}

}  // namespace zd
