// The light control page of one DALI address: direct arc power by slider or text box, the fixed
// light commands and scenes by button, and the yes/no and value queries with their answer.
#pragma once

#include <cstdint>

#include "pages/ColourPanel.h"
#include "pages/PageSupport.h"
#include "ui/Controls.h"

namespace zd {

class configZD4270LightControl : public DaliDevicePage {
  public:
    explicit configZD4270LightControl(const Context& context);

    bool Shown() const { return m_bShown; }

    // The colour panel follows the address the page is given: the device tree shows the page
    // before it addresses it.
    void SetDALIAddr(std::int16_t nAddr) override;
    void SetDALIAddrType(AddressKind nAddrType) override;

    Frame fraDirectLightControl{"fraDirectLightControl"};
    Label lblLightLevel{"lblLightLevel"};
    Slider sliLightLevel{"sliLightLevel", 0, 255};
    TextBox txtLightLevel{"txtLightLevel"};
    Label lblLightLevelPerCent{"lblLightLevelPerCent"};
    Label lblLightLevelRange{"lblLightLevelRange", "[0...255]"};
    Label lblLightLevelPerCentRange{"lblLightLevelPerCentRange", "[0%...100%]"};

    Frame fraIndirectLightControl{"fraIndirectLightControl"};
    Button btnOff{"btnOff"};
    Button btnUp{"btnUp"};
    Button btnDown{"btnDown"};
    Button btnStepUp{"btnStepUp"};
    Button btnStepDown{"btnStepDown"};
    Button bntnRecallMaxLevel{"bntnRecallMaxLevel"};
    Button bntnRecallMinLevel{"bntnRecallMinLevel"};
    Button btnStepDownAndOff{"btnStepDownAndOff"};
    Button btnOnAndStepUp{"btnOnAndStepUp"};
    ComboBox cboGotoScene{"cboGotoScene"};
    Button btnGotoScene{"btnGotoScene"};

    Frame fraQuery{"fraQuery"};
    ComboBox cboQuery{"cboQuery"};
    Button btnSendQuery{"btnSendQuery"};
    Label lblAnswer{"lblAnswer"};
    Label lblQueryAnswer{"lblQueryAnswer"};

    // Tunable-white gear: the colour temperature slider.
    ColourPanel colourPanel{ColourPanel::Kind::Slider, m_context,
                            [this] { return WriteTerminal(); }};

  private:
    void UserControlInitialize();
    void PlaceControls();
    void ConnectHandlers();
    // The page became visible for the first time: from now on it sends.
    void UserControlShow();

    void sliLightLevel_Change();
    void txtLightLevel_Change();
    void SendLightCommand(std::int16_t nCommandId);
    void btnGotoScene_Click();
    void btnSendQuery_Click();
    void EnableControls(bool bEnable);
    // Room for the colour slider in the direct light control frame while it is shown: the query
    // frame gives up its empty lower part.
    void ArrangeForColour(bool shown);

    std::uint8_t m_nLightLevel = 0;
    bool m_bShown = false;
    // An address has been given: the colour panel may read the gear there.
    bool m_bAddressed = false;
};

}  // namespace zd
