#include "maintenance/SiteNames.h"

#include <optional>
#include <set>

namespace zd {

namespace {

// The random address a document gives its device: a number, or text as "0x0A0B0C".
std::optional<std::uint32_t> DocumentRandomAddress(const Json& value) {
    const auto found = value.find("randomAddress");
    if (found == value.end()) return std::nullopt;
    if (found->is_number_integer()) {
        const std::int64_t number = found->get<std::int64_t>();
        if (number >= 0 && number <= 0xFFFFFF) return static_cast<std::uint32_t>(number);
        return std::nullopt;
    }
    if (!found->is_string()) return std::nullopt;
    try {
        std::size_t used = 0;
        const std::string text = found->get<std::string>();
        const unsigned long number = std::stoul(text, &used, 16);
        if (used == text.size() && number <= 0xFFFFFF) return static_cast<std::uint32_t>(number);
    } catch (const std::exception&) {
        // Not a random address.
    }
    return std::nullopt;
}

// Calls named(object, address, entry) for every device of the document the site names.
template <typename JsonValue, typename Named>
void WalkNamed(JsonValue& value, const SiteFile& site, std::int32_t position, int depth,
               const Named& named) {
    // The documents are a few levels deep; the walk stops well below any that could overflow.
    if (depth > 16) return;
    if (value.is_array()) {
        for (auto& item : value) WalkNamed(item, site, position, depth + 1, named);
        return;
    }
    if (!value.is_object()) return;
    for (const char* key : {"shortAddress", "short", "address"}) {
        const auto found = value.find(key);
        if (found == value.end() || !found->is_number_integer() || value.contains("name")) continue;
        const std::int64_t address = found->template get<std::int64_t>();
        if (address < 0 || address > 63) continue;
        if (const SiteEntry* entry = site.Find(position, static_cast<std::int16_t>(address)))
            named(value, static_cast<std::int16_t>(address), *entry);
    }
    for (auto& [key, item] : value.items())
        if (item.is_structured()) WalkNamed(item, site, position, depth + 1, named);
}

// Whether the device is the luminaire's gear as far as anybody can tell: a name is not shown on
// a gear whose random address is known and another than the one named with it.
bool SameGear(const Json& value, std::int16_t address, const SiteEntry& entry,
              const std::vector<SiteGear>& line) {
    if (!entry.randomAddress) return true;
    std::optional<std::uint32_t> random = DocumentRandomAddress(value);
    if (!random) {
        for (const SiteGear& gear : line)
            if (gear.shortAddress == address) random = gear.randomAddress;
    }
    return !random || *random == *entry.randomAddress;
}

}  // namespace

std::mutex& SiteFileMutex() {
    static std::mutex lock;
    return lock;
}

Json SiteEntryJson(const SiteEntry& entry) {
    Json json = {{"name", entry.name}};
    if (!entry.room.empty()) json["room"] = entry.room;
    if (!entry.floor.empty()) json["floor"] = entry.floor;
    if (!entry.note.empty()) json["note"] = entry.note;
    return json;
}

void AddSiteNames(Json& document, const SiteFile& site, std::int32_t position,
                  const std::vector<SiteGear>& line) {
    if (!site.HasPosition(position)) return;
    WalkNamed(document, site, position, 0,
              [&](Json& value, std::int16_t address, const SiteEntry& entry) {
                  if (SameGear(value, address, entry, line)) value.update(SiteEntryJson(entry));
              });
}

std::vector<std::int16_t> AddressesToCheck(const Json& document, const SiteFile& site,
                                           std::int32_t position) {
    std::set<std::int16_t> addresses;
    if (!site.HasPosition(position)) return {};
    WalkNamed(document, site, position, 0,
              [&](const Json& value, std::int16_t address, const SiteEntry& entry) {
                  if (entry.randomAddress && !DocumentRandomAddress(value))
                      addresses.insert(address);
              });
    return {addresses.begin(), addresses.end()};
}

Json SiteMovesJson(const std::vector<SiteMove>& moves) {
    Json list = Json::array();
    for (const SiteMove& move : moves) {
        list.push_back({{"name", move.name},
                        {"from", move.from ? Json(*move.from) : Json()},
                        {"to", move.to ? Json(*move.to) : Json()},
                        {"why", move.why}});
    }
    return list;
}

std::vector<SiteGear> ReadListedGear(ControlRun& run) {
    std::vector<std::int16_t> addresses;
    std::vector<SiteGear> conflicts;
    if (const auto& devices = run.State().devices)
        for (const auto& [key, device] : devices->Items()) {
            if (!device) continue;
            // Several gear at one address tell no random address, but the address is not free.
            if (device->m_bDALIConflict) {
                conflicts.push_back({device->m_nShortAddress, std::nullopt});
            } else {
                addresses.push_back(device->m_nShortAddress);
            }
        }
    std::vector<SiteGear> gear = ReadSiteGear(run.Line().Terminal(), addresses);
    gear.insert(gear.end(), conflicts.begin(), conflicts.end());
    return gear;
}

std::vector<SiteMove> FollowSiteNames(ControlRun& run, SiteFile& site, std::int32_t position,
                                      const std::vector<std::int16_t>& replaced) {
    if (!site.HasPosition(position)) return {};
    return FollowSiteGear(site, position, ReadListedGear(run), replaced);
}

void AddSiteNamesToBackup(LineBackup& backup, const SiteFile& site, std::int32_t position) {
    for (DeviceBackup& device : backup.devices)
        if (const SiteEntry* entry =
                site.Find(position, static_cast<std::int16_t>(device.shortAddress)))
            device.luminaire = *entry;
}

std::size_t RestoreSiteNames(const LineBackup& backup, SiteFile& site, std::int32_t position) {
    std::size_t restored = 0;
    for (const DeviceBackup& device : backup.devices) {
        if (!device.luminaire) continue;
        const SiteEntry& name = *device.luminaire;
        ApplySiteNaming(site, {position, static_cast<std::int16_t>(device.shortAddress),
                               device.randomAddress, name.name, name.room, name.floor, name.note});
        ++restored;
    }
    return restored;
}

}  // namespace zd
