#include "maintenance/SiteNames.h"

namespace zd {

namespace {

void AddNames(Json& value, const SiteFile& site, std::int32_t position, int depth) {
    // The documents are a few levels deep; the walk stops well below any that could overflow.
    if (depth > 16) return;
    if (value.is_array()) {
        for (Json& item : value) AddNames(item, site, position, depth + 1);
        return;
    }
    if (!value.is_object()) return;
    for (const char* key : {"shortAddress", "short", "address"}) {
        const auto found = value.find(key);
        if (found == value.end() || !found->is_number_integer() || value.contains("name")) continue;
        const std::int64_t address = found->get<std::int64_t>();
        if (address < 0 || address > 63) continue;
        if (const SiteEntry* entry = site.Find(position, static_cast<std::int16_t>(address)))
            value.update(SiteEntryJson(*entry));
    }
    for (auto& [key, item] : value.items())
        if (item.is_structured()) AddNames(item, site, position, depth + 1);
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

void AddSiteNames(Json& document, const SiteFile& site, std::int32_t position) {
    if (site.HasPosition(position)) AddNames(document, site, position, 0);
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
    if (const auto& devices = run.State().devices)
        for (const auto& [key, device] : devices->Items())
            if (device && !device->m_bDALIConflict) addresses.push_back(device->m_nShortAddress);
    return ReadSiteGear(run.Line().Terminal(), addresses);
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
