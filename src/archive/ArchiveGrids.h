// The archive tab's grids and the archive file: the grids' data cells (row = address + 1, column =
// number + 1) written as an archive, and an archive read into them, through the engine's file.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "engine/ArchiveFile.h"
#include "ui/Grid.h"

namespace zd {

// The archive text from the grids' data cells (row = address + 1, column = number + 1). Throws
// ControlError for a scene cell whose number is no byte (overflow).
std::string ArchiveXml(const Grid& gridScenes, const Grid& gridGroups);
// Writes ArchiveXml to path, replacing the file only once the new one is complete. Throws
// ControlError; the old file stays as it was when the grids do not make a valid archive or the
// write fails.
void SaveArchiveFile(const std::string& path, const Grid& gridScenes, const Grid& gridGroups);

// Rewrites both grids from a parsed archive, address by address: each row is emptied and then
// filled from its ballast element, so an address without one ends up with no scenes and no
// groups. Returns false, with no cell changed, when the document has no loop of the expected
// device. Throws ControlError for a value out of range (an id without a grid column, a number
// past 16 bits) and for a number not written in plain decimal; the rows rewritten before it keep
// their new contents.
// listed, where given, gets the addresses the file has a ballast element for.
bool LoadArchive(const XmlDocument& document, Grid& gridScenes, Grid& gridGroups,
                 std::set<std::int16_t>* listed = nullptr);

}  // namespace zd
