// The variables page of one ballast: reads its twelve DALI variables into a list, edits the
// selected one with a slider or a text box, and writes the writable ones back through the DTR.
#pragma once

#include <array>
#include <cstdint>

#include "pages/ColourPanel.h"
#include "pages/PageSupport.h"
#include "ui/Controls.h"

namespace zd {

class configZD4270Variables : public DaliDevicePage {
  public:
    static constexpr int kVariableCount = 12;

    explicit configZD4270Variables(const Context& context);

    // A new short address reads the ballast's variables and shows the first one.
    void SetDALIAddr(std::int16_t nAddr) override;

    // The value held for the variable at list position pos.
    std::int32_t Value(int pos) const { return m_values.at(static_cast<std::size_t>(pos)); }

    ListView lstViewVariables{"lstViewVariables", ListViewStyle::Report};
    Frame fraVariables{"fraVariables"};
    Label lblCaption{"lblCaption"};
    TextBox txtValue{"txtValue"};
    Label lblValueUnit{"lblValueUnit"};
    Slider sliValue{"sliValue", 0, 255};
    Label lblValueSub{"lblValueSub"};
    Label lblValueSubUnit{"lblValueSubUnit"};
    Button btnSaveVariable{"btnSaveVariable"};
    Button btnRefreshList{"btnRefreshList"};
    ProgressBar prgState{"prgState", 0, kVariableCount};

    // Tunable-white gear: the colour temperature limits.
    ColourPanel colourPanel{ColourPanel::Kind::Limits, m_context,
                            [this] { return WriteTerminal(); }};

  private:
    void UserControlInitialize();
    void PlaceControls();
    void ConnectHandlers();

    void ReadVariables();
    // The colour panel for the device type just read.
    void LoadColour();
    // Room for the colour limits while they are shown: the list scrolls instead of showing all
    // twelve rows at once.
    void ArrangeForColour(bool shown);
    void ReadVariable(int pos);
    // Shows the first variable in the editor as a click on it would.
    void ShowFirstVariable();
    void EnableEditing(bool bEnable);
    // Position of the selected row, or -1.
    int SelectedPos() const;

    void lstViewVariables_ItemClick(ListItem& item);
    void sliValue_Change();
    void txtValue_Change();
    void btnSaveVariable_Click();
    void btnRefreshList_Click();

    std::int16_t m_nLastReadAddr = -1;
    std::array<std::int32_t, kVariableCount> m_values{};
    std::array<ListItem*, kVariableCount> m_items{};
    // The answer buffer of the reads.
    std::uint8_t m_nData = 0;
};

}  // namespace zd
