// The commands page of the whole line: one DALI command, chosen from a list with its data byte,
// to all ballasts, a group or a short address, or one DSI data byte; each refused in the wrong
// operation mode of the terminal.
#pragma once

#include <cstdint>

#include "link/ModuleState.h"
#include "pages/PageSupport.h"
#include "ui/Controls.h"

namespace zd {

class configZD4270Commands : public DaliDevicePage {
  public:
    // state tells the terminal's operation mode when a command is sent.
    configZD4270Commands(const Context& context, const ModuleState& state);

    std::int16_t CommandId() const { return m_nCommandId; }
    std::uint8_t Data() const { return m_byData; }
    std::int16_t GroupId() const { return m_nGroupId; }
    AddressKind AddrType() const { return m_nAddrType; }
    std::int16_t ShortAddr() const { return m_nShortAddr; }
    std::uint8_t DSIData() const { return m_byDSIData; }

    TabStrip tabCommands{"tabCommands", 2};

    Frame frmAddressType{"frmAddressType"};
    OptionGroup grpAddressType;
    OptionButton Option1{"Option1"};
    OptionButton Option2{"Option2"};
    OptionButton Option3{"Option3"};
    TextBox txtGroupId{"txtGroupId"};
    TextBox txtShortAddr{"txtShortAddr"};

    Frame frmCommandAndData{"frmCommandAndData"};
    Label lblCommand{"lblCommand"};
    ComboBox cboCommand{"cboCommand"};
    Label lblCommandId{"lblCommandId"};
    Label lblData{"lblData"};
    TextBox txtDataDec{"txtDataDec"};
    Label lblDataHex{"lblDataHex"};
    Slider sliDALIData{"sliDALIData", 0, 255};
    Button btnSendDALICommand{"btnSendDALICommand"};
    Frame fraResponse{"fraResponse"};
    Label lblDALIResponse{"lblDALIResponse"};

    Frame frmDataDSI{"frmDataDSI"};
    Label lblDataDSI{"lblDataDSI"};
    TextBox txtDSIDataDec{"txtDSIDataDec"};
    Label lblDSIDataHex{"lblDSIDataHex"};
    Slider sliDSIData{"sliDSIData", 0, 255};
    Button btnSendDSICommand{"btnSendDSICommand"};

  private:
    void UserControlInitialize();
    void PlaceControls();
    void ConnectHandlers();

    void SelectAddressType(AddressKind nAddrType);
    // A group or short address box: numbers limited to 0..max, other text refused.
    void AddressBoxChanged(TextBox& box, std::int16_t& value, std::int16_t max);
    // A data box: the byte, its hexadecimal label and the inverted slider follow.
    void DataBoxChanged(TextBox& box, std::uint8_t& value, Label& hex, Slider& slider);
    void DataSliderChanged(Slider& slider, std::uint8_t& value, TextBox& box, Label& hex);
    void cboCommand_Click();
    void btnSendDALICommand_Click();
    void btnSendDSICommand_Click();

    const ModuleState& m_state;
    std::int16_t m_nCommandId = 0;
    std::uint8_t m_byData = 0;
    std::int16_t m_nGroupId = 0;
    AddressKind m_nAddrType = AddressKind::Broadcast;
    std::int16_t m_nShortAddr = 0;
    std::uint8_t m_byDSIData = 0;
};

}  // namespace zd
