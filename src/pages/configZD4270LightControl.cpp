#include "pages/configZD4270LightControl.h"

#include <array>
#include <string>

#include "link/Commands.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

namespace {

struct QueryEntry {
    int message;
    std::int16_t nCommandId;
    // Yes/no queries count any answer as "Yes"; value queries show the byte.
    bool bYesNo;
};

constexpr std::array<QueryEntry, 9> kQueries{{
    {5040, kCmdQueryBallast, true},
    {5041, kCmdQueryLampFailure, true},
    {5042, kCmdQueryLampPowerOn, true},
    {5043, kCmdQueryLimitError, true},
    {5044, kCmdQueryResetState, true},
    {5045, kCmdQueryMissingShortAddress, true},
    {5046, kCmdQueryContentDtr, false},
    {5047, kCmdQueryDeviceType, false},
    {5048, kCmdQueryPowerFailure, false},
}};

constexpr int kSceneCount = 16;

}  // namespace

configZD4270LightControl::configZD4270LightControl(const Context& context)
    : DaliDevicePage(PageClassName(PageKind::LightControl), context) {
    PlaceControls();
    ConnectHandlers();
    Guard(m_context, "UserControl_Initialize", [this] { UserControlInitialize(); });
    // Classic forms announce a user control's first appearance; here that is its first showing.
    OnChanged.Connect([this] {
        if (Visible() && !m_bShown) UserControlShow();
    });
}

void configZD4270LightControl::UserControlInitialize() {
    const MessageCatalogue& msg = m_context.messages;
    m_nLightLevel = 0;
    m_bShown = false;

    sliLightLevel.SetRange(0, 255);
    sliLightLevel.SetSmallChange(1);
    sliLightLevel.SetLargeChange(25);
    sliLightLevel.SetTickFrequency(10);
    sliLightLevel.SetOrientation(Orientation::Horizontal);
    sliLightLevel.SetValue(0);
    txtLightLevel.SetAlignment(Alignment::Right);
    txtLightLevel.SetMaxLength(3);
    lblLightLevelPerCent.SetAlignment(Alignment::Right);
    // The level starts at 0; nothing is sent yet, since the page is not shown.
    txtLightLevel.SetText("0");
    lblLightLevelPerCent.SetCaption(GetPercentString(0));

    fraDirectLightControl.SetCaption(msg.Load(5035));
    lblLightLevel.SetCaption(msg.Load(5037) + ":");
    fraIndirectLightControl.SetCaption(msg.Load(5036));
    btnOff.SetCaption(msg.Load(5023));
    btnUp.SetCaption(msg.Load(5024));
    btnDown.SetCaption(msg.Load(5025));
    btnStepUp.SetCaption(msg.Load(5026));
    btnStepDown.SetCaption(msg.Load(5027));
    bntnRecallMaxLevel.SetCaption(msg.Load(5028));
    bntnRecallMinLevel.SetCaption(msg.Load(5029));
    btnStepDownAndOff.SetCaption(msg.Load(5030));
    btnOnAndStepUp.SetCaption(msg.Load(5031));
    btnGotoScene.SetCaption(msg.Load(5032));
    fraQuery.SetCaption(msg.Load(5038));
    btnSendQuery.SetCaption(msg.Load(5049));
    lblAnswer.SetCaption(msg.Load(5011) + ":");

    cboGotoScene.Clear();
    for (int scene = 0; scene < kSceneCount; ++scene) {
        cboGotoScene.AddItem(msg.Load(5039) + " " + std::to_string(scene));
    }
    cboGotoScene.SetListIndex(0);
    cboQuery.Clear();
    for (const QueryEntry& query : kQueries) cboQuery.AddItem(msg.Load(query.message));
    cboQuery.SetListIndex(0);
}

void configZD4270LightControl::PlaceControls() {
    AddChild(fraDirectLightControl);
    fraDirectLightControl.Move(120, 120, 5175, 1455);
    for (Control* c : std::initializer_list<Control*>{&lblLightLevel, &txtLightLevel,
                                                      &lblLightLevelRange, &lblLightLevelPerCent,
                                                      &lblLightLevelPerCentRange, &sliLightLevel}) {
        fraDirectLightControl.AddChild(*c);
    }
    lblLightLevel.Move(120, 330, 1380, 255);
    txtLightLevel.Move(1500, 285, 600, 315);
    lblLightLevelRange.Move(2160, 330, 900, 255);
    lblLightLevelPerCent.Move(3060, 330, 900, 255);
    lblLightLevelPerCentRange.Move(4020, 330, 1035, 255);
    sliLightLevel.Move(120, 720, 4935, 600);

    AddChild(fraIndirectLightControl);
    fraIndirectLightControl.Move(120, 1695, 5175, 2895);
    const std::array<Button*, 9> buttons{&btnOff,
                                         &btnUp,
                                         &btnDown,
                                         &btnStepUp,
                                         &btnStepDown,
                                         &bntnRecallMaxLevel,
                                         &bntnRecallMinLevel,
                                         &btnStepDownAndOff,
                                         &btnOnAndStepUp};
    // Five rows on the left; on the right the two recalls, and the two steps that switch, whose
    // captions are the longest, share the last three rows and have room for two lines each.
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const double left = i < 5 ? 120 : 2655;
        const double top = i < 7 ? 300 + 435 * static_cast<double>(i < 5 ? i : i - 5)
                                 : 1170 + 652.5 * static_cast<double>(i - 7);
        fraIndirectLightControl.AddChild(*buttons[i]);
        buttons[i]->Move(left, top, 2400, i < 7 ? 375 : 592.5);
    }
    fraIndirectLightControl.AddChild(cboGotoScene);
    fraIndirectLightControl.AddChild(btnGotoScene);
    cboGotoScene.Move(120, 2475, 2400, 315);
    btnGotoScene.Move(2655, 2445, 2400, 375);

    AddChild(fraQuery);
    fraQuery.Move(120, 4710, 5175, 1620);
    for (Control* c :
         std::initializer_list<Control*>{&cboQuery, &btnSendQuery, &lblAnswer, &lblQueryAnswer}) {
        fraQuery.AddChild(*c);
    }
    cboQuery.Move(120, 330, 3000, 315);
    btnSendQuery.Move(3255, 300, 1800, 375);
    lblAnswer.Move(120, 900, 1200, 255);
    lblQueryAnswer.Move(1380, 900, 3675, 255);
    colourPanel.Place(fraDirectLightControl, 1395);
    colourPanel.OnShown = [this](bool shown) { ArrangeForColour(shown); };
}

void configZD4270LightControl::ArrangeForColour(bool shown) {
    const double extra = shown ? 660 : 0;
    fraDirectLightControl.Move(120, 120, 5175, 1455 + extra);
    fraIndirectLightControl.Move(120, 1695 + extra, 5175, 2895);
    fraQuery.Move(120, 4710 + extra, 5175, shown ? 960 : 1620);
    cboQuery.Move(120, shown ? 300 : 330, 3000, 315);
    btnSendQuery.Move(3255, shown ? 270 : 300, 1800, 375);
    lblAnswer.Move(120, shown ? 660 : 900, 1200, 255);
    lblQueryAnswer.Move(1380, shown ? 660 : 900, 3675, 255);
}

void configZD4270LightControl::ConnectHandlers() {
    sliLightLevel.Change.Connect([this] { sliLightLevel_Change(); });
    sliLightLevel.Scroll.Connect([this] {
        sliLightLevel_Change();
        m_context.scheduler.DoEvents();
    });
    txtLightLevel.Change.Connect([this] { txtLightLevel_Change(); });
    btnOff.Clicked.Connect([this] { SendLightCommand(kCmdOff); });
    btnUp.Clicked.Connect([this] { SendLightCommand(kCmdUp); });
    btnDown.Clicked.Connect([this] { SendLightCommand(kCmdDown); });
    btnStepUp.Clicked.Connect([this] { SendLightCommand(kCmdStepUp); });
    btnStepDown.Clicked.Connect([this] { SendLightCommand(kCmdStepDown); });
    bntnRecallMaxLevel.Clicked.Connect([this] { SendLightCommand(kCmdRecallMaxLevel); });
    bntnRecallMinLevel.Clicked.Connect([this] { SendLightCommand(kCmdRecallMinLevel); });
    btnStepDownAndOff.Clicked.Connect([this] { SendLightCommand(kCmdStepDownAndOff); });
    btnOnAndStepUp.Clicked.Connect([this] { SendLightCommand(kCmdOnAndStepUp); });
    btnGotoScene.Clicked.Connect([this] { btnGotoScene_Click(); });
    btnSendQuery.Clicked.Connect([this] { btnSendQuery_Click(); });
}

void configZD4270LightControl::UserControlShow() {
    m_bShown = true;
    if (m_bAddressed) colourPanel.Load(DALIAddrType(), DALIAddr());
}

void configZD4270LightControl::SetDALIAddr(std::int16_t nAddr) {
    DaliDevicePage::SetDALIAddr(nAddr);
    if (DALIAddr() != nAddr) return;
    m_bAddressed = true;
    if (m_bShown) colourPanel.Load(DALIAddrType(), DALIAddr());
}

void configZD4270LightControl::SetDALIAddrType(AddressKind nAddrType) {
    DaliDevicePage::SetDALIAddrType(nAddrType);
    // A group or the whole line has no one colour to show; a short address waits for its number.
    if (m_bShown && DALIAddrType() != AddressKind::Short) colourPanel.Load(DALIAddrType(), 0);
}

void configZD4270LightControl::sliLightLevel_Change() {
    Guard(m_context, "sliLightLevel_Change", [this] {
        m_nLightLevel = static_cast<std::uint8_t>(sliLightLevel.Value());
        txtLightLevel.SetText(std::to_string(m_nLightLevel));
        lblLightLevelPerCent.SetCaption(GetPercentString(m_nLightLevel));
    });
}

void configZD4270LightControl::txtLightLevel_Change() {
    if (!m_bShown) return;
    Guard(m_context, "txtLightLevel_Change", [this] {
        try {
            const BoxText box = ReadBoxText(txtLightLevel.Text());
            if (box.kind == BoxTextKind::Numeric) {
                if (box.value < 0 || box.value > 255) {
                    throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
                }
                m_nLightLevel = static_cast<std::uint8_t>(box.value);
                txtLightLevel.SetText(std::to_string(m_nLightLevel));
                PlaceCaret(txtLightLevel, 3);
            } else if (box.kind == BoxTextKind::Other) {
                txtLightLevel.SetText(std::to_string(m_nLightLevel));
                PlaceCaret(txtLightLevel, 3);
            } else {
                m_nLightLevel = 0;
            }
        } catch (...) {
            // A number that is no level starts over at 0; writing "0" sends that level.
            m_nLightLevel = 0;
            txtLightLevel.SetText("0");
            PlaceCaret(txtLightLevel, 3);
            sliLightLevel.SetValue(0);
            return;
        }
        sliLightLevel.SetValue(m_nLightLevel);
        SendDALICommand(kCmdDirectArcPower, m_nLightLevel);
    });
}

void configZD4270LightControl::SendLightCommand(std::int16_t nCommandId) {
    if (!m_bShown) return;
    SendDALICommand(nCommandId, 0);
}

void configZD4270LightControl::btnGotoScene_Click() {
    const int scene = cboGotoScene.ListIndex();
    if (scene < 0 || scene >= kSceneCount) return;
    SendLightCommand(static_cast<std::int16_t>(kCmdGoToScene + scene));
}

void configZD4270LightControl::btnSendQuery_Click() {
    lblQueryAnswer.SetCaption("-");
    if (!m_bShown) return;
    try {
        EnableControls(false);
        const int index = cboQuery.ListIndex();
        if (index >= 0 && index < static_cast<int>(kQueries.size())) {
            const QueryEntry& query = kQueries[static_cast<std::size_t>(index)];
            std::string answer = "?";
            if (SendDALICommand(query.nCommandId, 0) == Result::Done) {
                std::uint8_t nData = 0;
                const bool received = ReceiveDALIData(nData) == Result::Done;
                if (query.bYesNo) {
                    answer = m_context.messages.Load(received ? 5065 : 5066);
                } else if (received) {
                    answer = std::to_string(nData);
                }
            }
            lblQueryAnswer.SetCaption(answer);
        }
        EnableControls(true);
    } catch (...) {
        ReportCurrentException(m_context, "btnSendQuery_Click");
        IgnoreErrors([this] { EnableControls(true); });
    }
}

void configZD4270LightControl::EnableControls(bool bEnable) {
    for (Control* c : std::initializer_list<Control*>{
             &txtLightLevel, &sliLightLevel, &btnOff, &btnUp, &btnDown, &btnStepUp, &btnStepDown,
             &bntnRecallMaxLevel, &bntnRecallMinLevel, &btnStepDownAndOff, &btnOnAndStepUp,
             &cboGotoScene, &btnGotoScene, &cboQuery, &btnSendQuery}) {
        c->SetEnabled(bEnable);
    }
}

}  // namespace zd
