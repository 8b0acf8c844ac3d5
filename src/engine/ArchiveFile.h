// The archive file: the group memberships and scene levels of the 64 short addresses of one line as
// an XML physical tree (hub, devices, device, loops, loop, ballasts), written from the archive
// grids or a typed archive and read back into them.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "engine/ArchiveTransfer.h"
#include "platform/Xml.h"

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

inline constexpr int kArchiveColumns = 16;
// Ids the reader accepts for a group or a scene; the grids have columns for 0 to 15 only.
inline constexpr int kArchiveHighestId = 63;
// The classic error number for an index outside an array.
inline constexpr std::int32_t kErrSubscriptOutOfRange = 9;

// A numeric cell as the byte it stands for: rounded; ControlError "Overflow" outside 0 to 255 and
// "Type mismatch" for text that is no number.
std::uint8_t ArchiveCellByte(const std::string& text);

// Where a reading of the file puts what it finds, address by address: the row emptied (no scenes,
// no groups), a group added, a scene level as the file gives it (outside 0 to 254: not in the
// scene). The typed archive below and the form's grids are both filled through it.
struct ArchiveRows {
    std::function<void(int address)> clear;
    std::function<void(int address, int group)> addGroup;
    std::function<void(int address, int scene, std::int16_t level)> setScene;
};
// Reads every address of a parsed archive into rows. Returns false, with nothing read, when the
// document has no loop of the expected device. Throws ControlError for a value out of range (an id
// without a column, a number past 16 bits) and for a number not written in plain decimal; the rows
// read before it keep what they got. listed, where given, gets the addresses the file has a
// ballast element for.
bool ReadArchive(const XmlDocument& document, const ArchiveRows& rows,
                 std::set<std::int16_t>* listed = nullptr);
bool IsArchiveSceneLevel(std::int16_t level);

// The archive text of a typed archive: an unknown value is left out like an empty cell.
std::string ArchiveXml(const Archive& archive);
void SaveArchiveFile(const std::string& path, const Archive& archive);
// Reads a parsed archive as the grids read it, every address's entry replaced (an address without
// a ballast element: no scenes, no groups) and listed set. Returns false when the document has no
// loop of the expected device; archive is changed only when the whole file was read.
bool LoadArchive(const XmlDocument& document, Archive& archive);

// The message for a file that does not parse: code, reason, line, position, source text and URL.
std::string ArchiveParseErrorText(const XmlParseError& error);

}  // namespace zd
