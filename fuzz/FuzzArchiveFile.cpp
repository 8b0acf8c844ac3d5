// Fuzzes the archive file as the Archiv tab opens it: the file parsed through the XML wrapper
// (its encoding declaration followed), the parse error turned into the box's text, and the grids
// rewritten from what parsed. Grids loaded from any file must save as an archive that loads back
// into the very same grids.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "archive/ArchiveGrids.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Xml.h"
#include "ui/Grid.h"

namespace {

using namespace zd;

struct ArchiveGrids {
    Grid scenes{"gridScenes", kArchiveAddresses + 1, kArchiveColumns + 1};
    Grid groups{"gridGroups", kArchiveAddresses + 1, kArchiveColumns + 1};
};

bool SameCells(const Grid& a, const Grid& b) {
    for (int row = 1; row <= kArchiveAddresses; ++row)
        for (int col = 1; col <= kArchiveColumns; ++col)
            if (a.TextMatrix(row, col) != b.TextMatrix(row, col)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFile file(".xml");
    XmlDocument document;
    if (!document.Load(file.Write(data, size), kArchiveInput)) {
        const std::string text =
            ArchiveParseErrorText(document.ParseError().value_or(XmlParseError{}));
        if (text.empty()) fuzz::Broken("an empty parse error text");
        return 0;
    }
    ArchiveGrids loaded;
    try {
        if (!LoadArchive(document, loaded.scenes, loaded.groups)) return 0;
    } catch (const ControlError&) {
        // A value out of range: the box tells the user; the rows read before it stay.
        return 0;
    }

    const std::string saved = ArchiveXml(loaded.scenes, loaded.groups);
    XmlDocument again;
    if (!again.LoadXml(saved)) fuzz::Broken("the saved archive does not parse", saved);
    ArchiveGrids reloaded;
    if (!LoadArchive(again, reloaded.scenes, reloaded.groups))
        fuzz::Broken("the saved archive has no loop", saved);
    if (!SameCells(loaded.scenes, reloaded.scenes) || !SameCells(loaded.groups, reloaded.groups))
        fuzz::Broken("the saved archive loads into other grids", saved);
    return 0;
}
