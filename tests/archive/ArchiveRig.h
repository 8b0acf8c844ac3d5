// The control rig on an example line, with what the archive tests need besides: the gear at a
// short address, the grids' data cells, the archive menu's entries and a file in the test folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/ControlRig.h"

namespace zd::test {

inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class ArchiveRig : public ControlRig {
  protected:
    // The control on the line of the example file, refreshed.
    void OnLine(const char* lineFile = "three-addressed.json") {
        UseLineFile(lineFile);
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    }

    sim::Ballast& GearAt(int shortAddress) {
        for (const auto& gear : terminal->GetLine().Gear()) {
            if (gear->ShortAddress() == shortAddress) return terminal->Gear(gear->Id());
        }
        throw std::logic_error("no gear at " + std::to_string(shortAddress));
    }

    // Data cells by short address and scene or group number.
    const std::string& Scene(int address, int scene) const {
        return control->gridScenes.TextMatrix(address + 1, scene + 1);
    }
    const std::string& Group(int address, int group) const {
        return control->gridGroups.TextMatrix(address + 1, group + 1);
    }
    void SetScene(int address, int scene, const std::string& text) {
        control->gridScenes.SetTextMatrix(address + 1, scene + 1, text);
    }
    void SetGroup(int address, int group, const std::string& text) {
        control->gridGroups.SetTextMatrix(address + 1, group + 1, text);
    }
    // Every data cell of both grids, for comparing whole grids.
    std::vector<std::string> Cells() const {
        std::vector<std::string> cells;
        for (int a = 0; a < 64; ++a)
            for (int c = 0; c < 16; ++c) {
                cells.push_back(Scene(a, c));
                cells.push_back(Group(a, c));
            }
        return cells;
    }

    // The user opens the options menu and picks an entry.
    void Menu(const std::string& entry) {
        auto connection = control->mnuArchivOptions.OnPopup.Connect(
            [&](double, double) { control->mnuArchivOptions.ClickEntry(entry); });
        EXPECT_TRUE(control->cmdArchivOptions.Click());
        control->mnuArchivOptions.OnPopup.Disconnect(connection);
    }
    void LoadFile(const std::filesystem::path& path) {
        ctx.dialogs.paths.push_back(path.string());
        Menu("mnuArchivOptionsLoad");
    }
    void SaveFile(const std::filesystem::path& path) {
        ctx.dialogs.paths.push_back(path.string());
        Menu("mnuArchivOptionsSave");
    }

    // The tab is usable again: nothing left disabled, hidden or showing progress.
    void ExpectTabReleased() const {
        EXPECT_TRUE(control->tabMain.Enabled());
        EXPECT_TRUE(control->tabArchiv.Enabled());
        EXPECT_TRUE(control->cmdArchivOptions.Enabled());
        EXPECT_TRUE(control->cmdArchivOptions.Visible());
        EXPECT_TRUE(control->chkArchivOpticalSelectionFeedback.Enabled());
        EXPECT_TRUE(control->chkArchivOpticalSelectionFeedback.Visible());
        EXPECT_FALSE(control->prgArchiv.Visible());
        EXPECT_EQ(control->prgArchiv.Value(), 0);
    }
};

}  // namespace zd::test
