// The site file's names in the documents every front end prints or serves: each device a document
// lists (an object with its "shortAddress", a query's {"short": A}, an archive's ballast by its
// "address") gets its luminaire's name, room, floor and note; the names followed to where an
// addressing left their gear; and the lock under which front ends change the file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "connection/ControlRun.h"
#include "engine/SiteFile.h"
#include "maintenance/LineBackup.h"

namespace zd {

// {"name", "room", "floor", "note"}, the empty ones left out but the name.
Json SiteEntryJson(const SiteEntry& entry);
// Adds the names of the position's luminaires to every device the document lists, at any depth;
// an object that already has a "name" keeps it. A name belongs to its gear: it is left out where
// the device's random address (the document's "randomAddress", else the one line gives for its
// address) is known and another than the one recorded with the name.
void AddSiteNames(Json& document, const SiteFile& site, std::int32_t position,
                  const std::vector<SiteGear>& line = {});
// The addresses of the devices of a document that would be named with a recorded random address
// the document does not give: their random addresses are read before the names are added.
std::vector<std::int16_t> AddressesToCheck(const Json& document, const SiteFile& site,
                                           std::int32_t position);
// What FollowSiteGear changed, for a document.
Json SiteMovesJson(const std::vector<SiteMove>& moves);

// After a run that gave or moved addresses: reads the random address of every device of the list
// and follows the position's luminaires to their gear (replaced: the addresses a new gear took
// over). Sends nothing when the site names nothing at the position. Returns what changed.
// Front ends on several threads (the terminals of a station run, the served page) may change one
// site file at once: each change reads the file afresh and writes it while holding this lock, so
// that no name is lost.
std::mutex& SiteFileMutex();

// The gear of the device list (conflicts left out) with their random addresses.
std::vector<SiteGear> ReadListedGear(ControlRun& run);
std::vector<SiteMove> FollowSiteNames(ControlRun& run, SiteFile& site, std::int32_t position,
                                      const std::vector<std::int16_t>& replaced = {});

// The backup carries the names of its devices, and a restore gives them back to the site file
// (each at its short address, with the gear the backup names); returns how many.
void AddSiteNamesToBackup(LineBackup& backup, const SiteFile& site, std::int32_t position);
std::size_t RestoreSiteNames(const LineBackup& backup, SiteFile& site, std::int32_t position);

}  // namespace zd
