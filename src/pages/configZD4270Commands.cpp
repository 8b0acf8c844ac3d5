#include "pages/configZD4270Commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr int kSceneCount = 16;

// Upper-case hexadecimal without prefix or padding: 200 gives C8, 7 gives 7.
std::string HexText(std::uint8_t value) {
    char buffer[4];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
    return buffer;
}

void EnableBox(TextBox& box, bool bEnable) {
    box.SetEnabled(bEnable);
    box.SetBackColor(bEnable ? kColorWindow : kColorButtonFace);
}

}  // namespace

configZD4270Commands::configZD4270Commands(const Context& context, const ModuleState& state)
    : DaliDevicePage(PageClassName(PageKind::Commands), context), m_state(state) {
    PlaceControls();
    ConnectHandlers();
    Guard(m_context, "UserControl_Initialize", [this] { UserControlInitialize(); });
}

void configZD4270Commands::UserControlInitialize() {
    const MessageCatalogue& msg = m_context.messages;
    tabCommands.SetTabCaption(0, msg.Load(5002));
    tabCommands.SetTabCaption(1, msg.Load(5003));
    tabCommands.SetTab(0);
    frmAddressType.SetCaption(msg.Load(5004));
    Option1.SetCaption(msg.Load(5019));
    Option2.SetCaption(msg.Load(5005));
    Option3.SetCaption(msg.Load(5006));
    frmCommandAndData.SetCaption(msg.Load(5007));
    lblCommand.SetCaption(msg.Load(5008));
    lblData.SetCaption(msg.Load(5009));
    btnSendDALICommand.SetCaption(msg.Load(5010));
    fraResponse.SetCaption(msg.Load(5011));
    btnSendDSICommand.SetCaption(msg.Load(5012));
    frmDataDSI.SetCaption(msg.Load(5013));
    lblDataDSI.SetCaption(msg.Load(5009));

    for (TextBox* box : {&txtGroupId, &txtShortAddr}) {
        box->SetMaxLength(2);
        box->SetText("0");
    }
    for (TextBox* box : {&txtDataDec, &txtDSIDataDec}) {
        box->SetMaxLength(3);
        box->SetAlignment(Alignment::Right);
        box->SetText("0");
    }
    for (Label* hex : {&lblDataHex, &lblDSIDataHex}) {
        hex->SetAlignment(Alignment::Right);
        hex->SetCaption("0");
        hex->SetBackColor(kColorButtonFace);
    }
    for (Slider* slider : {&sliDALIData, &sliDSIData}) {
        slider->SetRange(0, 255);
        slider->SetOrientation(Orientation::Vertical);
        slider->SetSmallChange(1);
        slider->SetLargeChange(16);
        slider->SetTickFrequency(16);
        // The top end is level 255; the byte 0 lies at the bottom.
        slider->SetValue(255);
    }
    fraResponse.SetVisible(false);

    cboCommand.Clear();
    cboCommand.AddItem(msg.Load(5022), kCmdDirectArcPower);
    for (int i = 0; i <= kCmdOnAndStepUp; ++i) cboCommand.AddItem(msg.Load(5023 + i), i);
    for (int scene = 0; scene < kSceneCount; ++scene) {
        cboCommand.AddItem(msg.Load(5032) + " " + std::to_string(scene), kCmdGoToScene + scene);
    }
    cboCommand.AddItem(msg.Load(5033), kCmdReset);
    cboCommand.AddItem(msg.Load(5034), kCmdStoreActualLevelInDtr);
    cboCommand.SetListIndex(0);

    Option1.SetValue(true);
}

void configZD4270Commands::PlaceControls() {
    AddChild(tabCommands);
    tabCommands.Move(0, 0, 5415, 6450);

    tabCommands.AddChild(frmAddressType, 0);
    frmAddressType.Move(120, 480, 5175, 1455);
    for (OptionButton* option : {&Option1, &Option2, &Option3}) {
        grpAddressType.Add(*option);
        frmAddressType.AddChild(*option);
    }
    frmAddressType.AddChild(txtGroupId);
    frmAddressType.AddChild(txtShortAddr);
    Option1.Move(240, 300, 1500, 300);
    Option2.Move(240, 660, 1500, 300);
    txtGroupId.Move(1800, 630, 600, 315);
    Option3.Move(240, 1020, 1500, 300);
    txtShortAddr.Move(1800, 990, 600, 315);

    tabCommands.AddChild(frmCommandAndData, 0);
    frmCommandAndData.Move(120, 2055, 5175, 3240);
    for (Control* c : std::initializer_list<Control*>{&lblCommand, &cboCommand, &lblCommandId,
                                                      &lblData, &txtDataDec, &lblDataHex,
                                                      &sliDALIData, &btnSendDALICommand}) {
        frmCommandAndData.AddChild(*c);
    }
    lblCommand.Move(120, 330, 1000, 255);
    cboCommand.Move(1200, 300, 3855, 315);
    lblCommandId.Move(1200, 690, 900, 255);
    lblData.Move(120, 1110, 1000, 255);
    txtDataDec.Move(1200, 1065, 600, 315);
    lblDataHex.Move(1920, 1110, 600, 255);
    sliDALIData.Move(4380, 720, 600, 2400);
    btnSendDALICommand.Move(120, 2700, 2400, 375);

    tabCommands.AddChild(fraResponse, 0);
    fraResponse.Move(120, 5415, 5175, 855);
    fraResponse.AddChild(lblDALIResponse);
    lblDALIResponse.Move(120, 360, 4935, 255);

    tabCommands.AddChild(frmDataDSI, 1);
    frmDataDSI.Move(120, 480, 5175, 2895);
    for (Control* c : std::initializer_list<Control*>{&lblDataDSI, &txtDSIDataDec, &lblDSIDataHex,
                                                      &sliDSIData, &btnSendDSICommand}) {
        frmDataDSI.AddChild(*c);
    }
    lblDataDSI.Move(120, 330, 1000, 255);
    txtDSIDataDec.Move(1200, 285, 600, 315);
    lblDSIDataHex.Move(1920, 330, 600, 255);
    sliDSIData.Move(4380, 300, 600, 2400);
    btnSendDSICommand.Move(120, 2340, 2400, 375);
}

void configZD4270Commands::ConnectHandlers() {
    Option1.Clicked.Connect([this] { SelectAddressType(AddressKind::Broadcast); });
    Option2.Clicked.Connect([this] { SelectAddressType(AddressKind::Group); });
    Option3.Clicked.Connect([this] { SelectAddressType(AddressKind::Short); });
    txtGroupId.Change.Connect([this] { AddressBoxChanged(txtGroupId, m_nGroupId, 15); });
    txtShortAddr.Change.Connect([this] { AddressBoxChanged(txtShortAddr, m_nShortAddr, 63); });
    txtDataDec.Change.Connect(
        [this] { DataBoxChanged(txtDataDec, m_byData, lblDataHex, sliDALIData); });
    txtDSIDataDec.Change.Connect(
        [this] { DataBoxChanged(txtDSIDataDec, m_byDSIData, lblDSIDataHex, sliDSIData); });
    for (Event<>* e : {&sliDALIData.Change, &sliDALIData.Scroll}) {
        e->Connect([this] { DataSliderChanged(sliDALIData, m_byData, txtDataDec, lblDataHex); });
    }
    for (Event<>* e : {&sliDSIData.Change, &sliDSIData.Scroll}) {
        e->Connect(
            [this] { DataSliderChanged(sliDSIData, m_byDSIData, txtDSIDataDec, lblDSIDataHex); });
    }
    cboCommand.Clicked.Connect([this] { cboCommand_Click(); });
    btnSendDALICommand.Clicked.Connect([this] { btnSendDALICommand_Click(); });
    btnSendDSICommand.Clicked.Connect([this] { btnSendDSICommand_Click(); });
}

void configZD4270Commands::SelectAddressType(AddressKind nAddrType) {
    m_nAddrType = nAddrType;
    EnableBox(txtGroupId, nAddrType == AddressKind::Group);
    EnableBox(txtShortAddr, nAddrType == AddressKind::Short);
}

void configZD4270Commands::AddressBoxChanged(TextBox& box, std::int16_t& value, std::int16_t max) {
    Guard(m_context, box.Name() + "_Change", [&] {
        const BoxText text = ReadBoxText(box.Text());
        if (text.kind == BoxTextKind::Empty) {
            value = 0;
            return;
        }
        if (text.kind == BoxTextKind::Numeric) {
            value = std::clamp<std::int16_t>(text.value, 0, max);
        }
        box.SetText(std::to_string(value));
        PlaceCaret(box, 2);
    });
}

void configZD4270Commands::DataBoxChanged(TextBox& box, std::uint8_t& value, Label& hex,
                                          Slider& slider) {
    Guard(m_context, box.Name() + "_Change", [&] {
        const BoxText text = ReadBoxText(box.Text());
        if (text.kind == BoxTextKind::Empty) {
            value = 0;
        } else {
            if (text.kind == BoxTextKind::Numeric) {
                // Only bytes are data; larger numbers stop at the ends of the range.
                value = static_cast<std::uint8_t>(std::clamp<std::int16_t>(text.value, 0, 255));
            }
            box.SetText(std::to_string(value));
            PlaceCaret(box, 3);
        }
        hex.SetCaption(HexText(value));
        slider.SetValue(255 - value);
    });
}

void configZD4270Commands::DataSliderChanged(Slider& slider, std::uint8_t& value, TextBox& box,
                                             Label& hex) {
    Guard(m_context, slider.Name() + "_Change", [&] {
        value = static_cast<std::uint8_t>(std::abs(slider.Value() - 255));
        box.SetText(std::to_string(value));
        hex.SetCaption(HexText(value));
    });
}

void configZD4270Commands::cboCommand_Click() {
    const int index = cboCommand.ListIndex();
    m_nCommandId =
        index >= 0 ? static_cast<std::int16_t>(cboCommand.ItemData(index)) : std::int16_t{0};
    const bool directArcPower = m_nCommandId == kCmdDirectArcPower;
    lblCommandId.SetCaption(directArcPower ? std::string() : std::to_string(m_nCommandId));
    sliDALIData.SetVisible(directArcPower);
    EnableBox(txtDataDec, directArcPower);
    lblDataHex.SetEnabled(directArcPower);
    fraResponse.SetEnabled(false);
    lblDALIResponse.SetEnabled(false);
}

void configZD4270Commands::btnSendDALICommand_Click() {
    Guard(m_context, "btnSendDALICommand_Click", [this] {
        if (m_state.m_nOperationMode == kModeDsi) {
            ShowModeRefusal(5122);
            return;
        }
        std::int16_t nAddr = -1;
        if (m_nAddrType == AddressKind::Short) {
            nAddr = m_nShortAddr;
        } else if (m_nAddrType == AddressKind::Group) {
            nAddr = m_nGroupId;
        } else if (m_nAddrType != AddressKind::Broadcast) {
            m_nAddrType = AddressKindFromNumber(-1);
        }
        if (m_nCommandId == kCmdReset) {
            const MsgResult answer = m_context.dialogs.MessageBox(
                {m_context.messages.Load(5134) + "?", MsgButtons::YesNo, MsgIcon::Information,
                 m_context.messages.Load(5098)});
            if (answer != MsgResult::Yes) return;
        }
        SendDALICommand(m_nCommandId, m_byData, m_nAddrType, nAddr);
    });
}

void configZD4270Commands::btnSendDSICommand_Click() {
    Guard(m_context, "btnSendDSICommand_Click", [this] {
        if (m_state.m_nOperationMode != kModeDsi) {
            ShowModeRefusal(5123);
            return;
        }
        std::int16_t nRet = 0;
        EventParams params;
        params.Bind("nData", m_byDSIData).Bind("nRet", nRet);
        RaiseEvent("SendDSICommand", params);
    });
}

}  // namespace zd
