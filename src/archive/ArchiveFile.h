// The archive file: the group memberships and scene levels of the 64 short addresses of one line as
// an XML physical tree (hub, devices, device, loops, loop, ballasts), written from the archive
// grids and read back into them; a file is read whole before any cell changes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Xml.h"
#include "ui/Grid.h"

namespace zd {

inline constexpr const char* kArchiveGenerator = "Velmar Orvix";
// The one device of the tree this tool writes and reads.
inline constexpr const char* kArchiveDeviceName = "vareLUX QC7300";
inline constexpr const char* kArchiveLoopPath =
    "/physicaltree/hub/devices/device[@name='vareLUX QC7300']/loops/loop";
// The version of this program as the archive's version attribute records it.
inline constexpr int kArchiveWriterMajor = 0;
inline constexpr int kArchiveWriterMinor = 1;
inline constexpr int kArchiveWriterRevision = 0;

inline constexpr int kArchiveAddresses = 64;
inline constexpr int kArchiveColumns = 16;
// Ids the reader accepts for a group or a scene; the grids have columns for 0 to 15 only.
inline constexpr int kArchiveHighestId = 63;
// The classic error number for an index outside an array.
inline constexpr std::int32_t kErrSubscriptOutOfRange = 9;

// The data cells of one grid: [short address][scene or group number].
using ArchiveCells = std::array<std::array<std::string, kArchiveColumns>, kArchiveAddresses>;

struct ArchiveContents {
    ArchiveCells scenes;  // "0" to "254", or empty
    ArchiveCells groups;  // "1" or "0"
};

// A numeric cell as the byte it stands for: rounded; ControlError "Overflow" outside 0 to 255 and
// "Type mismatch" for text that is no number.
std::uint8_t ArchiveCellByte(const std::string& text);

// The archive text from the grids' data cells (row = address + 1, column = number + 1). Throws
// ControlError for a scene cell whose number is no byte (overflow).
std::string ArchiveXml(const Grid& gridScenes, const Grid& gridGroups);
// Writes ArchiveXml to path, replacing the file. Throws ControlError; nothing is written when the
// grids do not make a valid archive.
void SaveArchiveFile(const std::string& path, const Grid& gridScenes, const Grid& gridGroups);

// The cells a parsed archive gives, every address rewritten; nothing when the document has no loop
// of the expected device. Throws ControlError for a value out of range (an id without a grid
// column, a number past 16 bits).
std::optional<ArchiveContents> ReadArchive(const XmlDocument& document);
void ApplyArchive(const ArchiveContents& contents, Grid& gridScenes, Grid& gridGroups);

// The message for a file that does not parse: code, reason, line, position, source text and URL.
std::string ArchiveParseErrorText(const XmlParseError& error);

}  // namespace zd
