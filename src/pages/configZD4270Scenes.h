// The scenes page of one ballast: its 16 scene levels read into a list, the selected scene's level
// edited with a live preview on the lamp, and stored through the DTR.
#pragma once

#include <array>
#include <cstdint>

#include "pages/PageSupport.h"
#include "ui/Controls.h"

namespace zd {

class configZD4270Scenes : public DaliDevicePage {
  public:
    static constexpr int kSceneCount = 16;

    explicit configZD4270Scenes(const Context& context);

    // A new short address reads the ballast's scene levels and shows scene 0.
    void SetDALIAddr(std::int16_t nAddr) override;

    std::uint8_t SceneLevel(int scene) const {
        return m_levels.at(static_cast<std::size_t>(scene));
    }

    ListView lstViewScenes{"lstViewScenes", ListViewStyle::Report};
    Frame fraVariables{"fraVariables"};
    Label lblCaption{"lblCaption"};
    TextBox txtValue{"txtValue"};
    Label lblValueUnit{"lblValueUnit", "[0...255]"};
    Slider sliValue{"sliValue", 0, 255};
    Label lblValueSub{"lblValueSub"};
    Label lblValueSubUnit{"lblValueSubUnit", "[0%...100%]"};
    Button btnSaveToDevice{"btnSaveToDevice"};
    Button btnRefreshList{"btnRefreshList"};
    ProgressBar prgState{"prgState", 0, kSceneCount};

  private:
    void UserControlInitialize();
    void PlaceControls();
    void ConnectHandlers();

    void ReadScenes();
    void ShowFirstScene();
    void EnableEditing(bool bEnable);
    void ShowLevel(ListItem& item, std::uint8_t level);

    void lstViewScenes_ItemClick(ListItem& item);
    void sliValue_Change();
    void txtValue_Change();
    void btnSaveToDevice_Click();
    void btnRefreshList_Click();

    std::int16_t m_nLastReadAddr = -1;
    std::array<std::uint8_t, kSceneCount> m_levels{};
    std::array<ListItem*, kSceneCount> m_items{};
};

}  // namespace zd
