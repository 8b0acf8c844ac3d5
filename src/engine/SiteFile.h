// The site file: the name and place (room, floor, a free note) of each luminaire, keyed by the
// terminal's position and the short address and remembered by the gear's random address, so that
// a name follows its gear when addresses move. A JSON file (examples/site/FORMAT.md), read with a
// size limit and strictly, and written whole to a temporary file that replaces the old one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Terminal.h"
#include "platform/Files.h"

namespace zd {

inline constexpr const char* kSiteFormat = "zd4270-site";
inline constexpr int kSiteVersion = 1;
// 64 positions of 64 luminaires with long names and notes stay far below.
inline constexpr InputKind kSiteInput{"site file", 4 * kMegabyte};
// The most characters of a name, room, floor or note, and the most luminaires a file holds.
inline constexpr std::size_t kSiteTextMax = 200;
inline constexpr std::size_t kSiteEntriesMax = 64 * 64 * 2;

struct SiteEntry {
    std::int32_t position = 0;
    // None: the gear was not found again after its address moved; the name is kept for the
    // engineer to give again.
    std::optional<std::int16_t> shortAddress;
    std::optional<std::uint32_t> randomAddress;
    std::string name;
    std::string room;
    std::string floor;
    std::string note;
};

struct SiteFile {
    std::vector<SiteEntry> luminaires;

    // The luminaire at the terminal's short address, or null.
    const SiteEntry* Find(std::int32_t position, std::int16_t shortAddress) const;
    SiteEntry* Find(std::int32_t position, std::int16_t shortAddress);
    // Whether any luminaire of the position is named.
    bool HasPosition(std::int32_t position) const;
};

// What a naming changes; a field left out stays as it was.
struct SiteNaming {
    std::int32_t position = 0;
    std::int16_t shortAddress = 0;
    std::optional<std::uint32_t> randomAddress;
    std::optional<std::string> name;
    std::optional<std::string> room;
    std::optional<std::string> floor;
    std::optional<std::string> note;
};

// Why a text cannot be a name, room, floor or note (too long, a control character, no UTF-8);
// none when it can.
std::optional<std::string> SiteTextRefusal(const std::string& text);

// Names the luminaire (a new entry, or the one at the address changed). Throws ControlError when
// a text is refused.
const SiteEntry& ApplySiteNaming(SiteFile& site, const SiteNaming& naming);

// The file's text, and back. Parsing refuses an unknown key, a value of the wrong kind or out of
// range, a key twice, one address named twice, with a ControlError naming the file and the place
// ("/luminaires/2/name").
std::string WriteSiteText(const SiteFile& site);
SiteFile ParseSiteText(const std::string& text, const std::string& fileName);
// A file that does not exist is an empty site. Throws ControlError.
SiteFile LoadSiteFile(const std::string& path);
// Replaces path only once the whole file is written. Throws ControlError.
void SaveSiteFile(const std::string& path, const SiteFile& site);
// The site file beside the store: its folder and "site.json".
std::string DefaultSitePath(const std::string& storePath);

// A gear as the line shows it now.
struct SiteGear {
    std::int16_t shortAddress = 0;
    // None: the gear did not tell it.
    std::optional<std::uint32_t> randomAddress;
};

struct SiteMove {
    std::string name;
    std::optional<std::int16_t> from;
    std::optional<std::int16_t> to;
    // Why: "moved" (its gear is at another address), "replaced" (a new gear took its address
    // over), "lost" (its gear is nowhere on the line: another gear or nobody holds its address),
    // "not-found" (another luminaire's gear took its place).
    std::string why;
};

// Follows the gear of the position's luminaires to where the line has them now: a luminaire
// whose random address answers at another short address moves there; one whose address a
// replacement took over (replaced) keeps it and learns the new gear's random address; one whose
// gear is gone while another gear or another luminaire holds its address is kept without an
// address, so that no name lands on the wrong gear and none is lost. A luminaire of unknown random
// address learns the one of the gear at its address. Returns what changed.
std::vector<SiteMove> FollowSiteGear(SiteFile& site, std::int32_t position,
                                     const std::vector<SiteGear>& line,
                                     const std::vector<std::int16_t>& replaced = {});

// The random address the gear at the short address reports (QUERY RANDOM ADDRESS H, M, L, each
// asked once more when silent); none when it does not answer all three.
std::optional<std::uint32_t> ReadRandomAddress(EngineTerminal& terminal, std::int16_t shortAddress);
// The gear at each address with its random address, for FollowSiteGear.
std::vector<SiteGear> ReadSiteGear(EngineTerminal& terminal,
                                   const std::vector<std::int16_t>& addresses);

}  // namespace zd
