#include "archive/ArchiveGrids.h"

#include "devices/NumericText.h"
#include "platform/Files.h"

namespace zd {

std::string ArchiveXml(const Grid& gridScenes, const Grid& gridGroups) {
    // Cell by cell in the file's order, so that the first cell that is no byte is the one named.
    Archive archive;
    for (int address = 0; address < kArchiveAddresses; ++address) {
        ArchiveBallast& ballast = archive.ballasts[static_cast<std::size_t>(address)];
        for (int scene = 0; scene < kArchiveColumns; ++scene) {
            const std::string& text = gridScenes.TextMatrix(address + 1, scene + 1);
            if (IsNumericText(text))
                ballast.scenes[static_cast<std::size_t>(scene)] = ArchiveCellByte(text);
        }
        for (int group = 0; group < kArchiveColumns; ++group) {
            const std::string& text = gridGroups.TextMatrix(address + 1, group + 1);
            if (IsNumericText(text))
                ballast.groups[static_cast<std::size_t>(group)] = TextToInteger(text) != 0;
        }
    }
    return ArchiveXml(archive);
}

void SaveArchiveFile(const std::string& path, const Grid& gridScenes, const Grid& gridGroups) {
    WriteFileAtomically(path, ArchiveXml(gridScenes, gridGroups));
}

bool LoadArchive(const XmlDocument& document, Grid& gridScenes, Grid& gridGroups,
                 std::set<std::int16_t>* listed) {
    ArchiveRows rows;
    rows.clear = [&](int address) {
        for (int column = 1; column <= kArchiveColumns; ++column) {
            gridScenes.SetTextMatrix(address + 1, column, "");
            gridGroups.SetTextMatrix(address + 1, column, "0");
        }
    };
    rows.addGroup = [&](int address, int group) {
        gridGroups.SetTextMatrix(address + 1, group + 1, "1");
    };
    rows.setScene = [&](int address, int scene, std::int16_t level) {
        gridScenes.SetTextMatrix(
            address + 1, scene + 1,
            IsArchiveSceneLevel(level) ? std::to_string(level) : std::string());
    };
    return ReadArchive(document, rows, listed);
}

}  // namespace zd
