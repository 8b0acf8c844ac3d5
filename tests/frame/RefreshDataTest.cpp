// RefreshData end to end against the simulated terminal: the Device settings values, byte order,
// feature register (the operation mode and its boxes) and firmware version, the failure messages,
// the logging switches and files, the registry load, and the watchdog that it starts.
#include "devices/DeviceRegistry.h"
#include "support/ControlRig.h"

namespace zd::test {
namespace {

const std::string kRefreshFailed = "Error: RefreshData!";

using RefreshDataTest = ControlRig;

TEST_F(RefreshDataTest, PackedIntelStationFillsTheLabelsAndWritesTheWatchdogEvery500Ms) {
    Refresh({}, UserDataXml("2", "7"));
    EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    EXPECT_EQ(control->lblValuePos.Caption(), "1");
    EXPECT_EQ(control->lblValueChannel.Caption(), "3");
    EXPECT_EQ(control->lblValueType.Caption(), "ZD4270");
    EXPECT_EQ(control->lblValueOffset.Caption(), "0 [Byte]");
    EXPECT_EQ(control->lblValueFormat.Caption(), "Intel");
    EXPECT_EQ(control->CompanyId(), 7);
    EXPECT_EQ(state.ProcessImageLayout[kOutput].nTableNumber, 1);
    // Firmware 1M runs random addressing itself; both feature boxes set in DALI mode.
    EXPECT_EQ(control->lblFirmwareVersion.Caption(), "0x314D  (1M)");
    EXPECT_TRUE(control->chkRndAddrOpticalFeedback.Visible());
    EXPECT_FALSE(control->lstRndAddrView.Visible());
    EXPECT_TRUE(control->chkPowerSupplyUnit.IsChecked());
    EXPECT_TRUE(control->chkCountDALIDevices.IsChecked());
    EXPECT_TRUE(control->Option4.Value());
    EXPECT_EQ(state.m_nOperationMode, kModeDali);

    const std::int64_t start = ctx.scheduler.Now();
    ctx.scheduler.RunFor(2000);
    EXPECT_EQ(terminal->Watchdog().count, 4);
    EXPECT_EQ(terminal->Watchdog().lastMs, start + 2000);
    EXPECT_EQ(terminal->Watchdog().words, (std::array<std::uint16_t, 3>{1793, 1, 15000}));
}

TEST_F(RefreshDataTest, WordAlignedMotorolaStationAndOldFirmware) {
    MakeTerminal(0x314C, 0, sim::ImageLayout::WordAligned(0, 1, true));
    StationShape shape;
    shape.endianElement = "<ProcessDataGlobal EndianFormat=\"motorola\"/>";
    shape.offsets = {"0.0", "1.0", "0.0", "1.0"};
    Refresh(shape);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(control->lblValueFormat.Caption(), "Motorola");
    EXPECT_TRUE(state.m_bMotorola);
    // Below 1M the control runs random addressing itself and lists the lamps.
    EXPECT_EQ(control->lblFirmwareVersion.Caption(), "0x314C  (1L)");
    EXPECT_FALSE(control->chkRndAddrOpticalFeedback.Visible());
    EXPECT_TRUE(control->lstRndAddrView.Visible());
}

TEST_F(RefreshDataTest, EveryMappingFailureIsShownAndNothingIsReadFromTheTerminal) {
    StationShape shape;
    shape.pos = "";
    shape.offsets = {"38", "x.8", "0.0", "0.8"};
    shape.tables = {"0", "0", "1", ""};
    Refresh(shape);
    // STATUS without a point: status 1; INPUT's bad number is reported by the reader itself.
    const std::vector<std::string> texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], "Error: RefreshData.GetDevicePos()!\r\nnRet: 0");
    EXPECT_EQ(texts[1], "Error: RefreshData.GetChannelVariableInfo()!\r\nnRet: 1");
    EXPECT_EQ(texts[2].rfind("Error: GetChannelVariableInfo: Type mismatch: ", 0), 0u) << texts[2];
    EXPECT_EQ(texts[3], texts[1]);
    EXPECT_EQ(texts[4], kRefreshFailed);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure");
    EXPECT_EQ(control->lblValuePos.Caption(), "-1");
    EXPECT_EQ(control->lblValueOffset.Caption(), "76 [Byte]");
    EXPECT_EQ(control->lblFirmwareVersion.Caption(), "");
    EXPECT_FALSE(control->timerWatchdog.Enabled());

    ctx.dialogs.boxes.clear();
    control->RefreshData(Node(), nullptr, UserDataXml());
    EXPECT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{kRefreshFailed});
    EXPECT_EQ(control->lblValuePos.Caption(), "1");
    EXPECT_FALSE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, MissingProcessDataSkipsTheMappingAndKeepsTheLabels) {
    Refresh();
    ctx.dialogs.boxes.clear();
    StationShape shape;
    shape.processData = false;
    shape.pos = "Pos=\"5\"";
    shape.name = "Other";
    Refresh(shape);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text,
              "The process image of the ZD4270 has not been determined.\r\n"
              "Is the option 'Enable setup mode' under the menu 'Options' active?");
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Exclamation");
    EXPECT_EQ(ctx.dialogs.boxes[1].text, kRefreshFailed);
    EXPECT_EQ(control->lblValuePos.Caption(), "1");
    EXPECT_EQ(control->lblValueType.Caption(), "ZD4270");
    // The earlier layout and watchdog stay.
    EXPECT_EQ(state.ProcessImageLayout[kOutput].nBitOffset, 8);
    EXPECT_TRUE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, UserDataThatDoesNotParseEndsTheRefreshAfterStoringTheDevCom) {
    const std::pair<std::string, const char*> cases[] = {
        {"<Params><UserData>1</UserData>", "The user data is no XML document: "},
        {"<Params><UserData>1</UserData></Params>",
         "The user data lacks the element "
         "\"Params/CompanyId\""},
        {"<Params><UserData>one</UserData><CompanyId>2</CompanyId></Params>", "Type mismatch"},
        {"<Params><UserData>1</UserData><CompanyId>2</CompanyId></Params>" +
             std::string(1024 * 1024, ' '),
         "The user data is larger than 1 MB, the most this program reads"}};
    for (const auto& [userData, text] : cases) Refresh({}, userData);
    const std::vector<std::string> texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(texts[i].rfind(std::string("Error: RefreshData: ") + cases[i].second, 0), 0u)
            << texts[i];
    EXPECT_NE(texts[0].find("\r\nNumber: " + std::to_string(kErrXmlParse)), std::string::npos);
    EXPECT_EQ(state.objDevCom, port);
    EXPECT_EQ(control->lblValuePos.Caption(), "");
    EXPECT_FALSE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, ADevComFailureDuringTheRegisterReadIsShownAndTheNextRefreshWorks) {
    port->Faults().m_failOnCall = 1;  // the feature register read
    Refresh();
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"Error: RefreshData: device communication failed (simulated "
                                       "fault on call 1)\r\nSource: OrvixVTermZD4270\r\n"
                                       "Number: 30001"});
    EXPECT_FALSE(control->Refreshing());
    EXPECT_FALSE(control->timerWatchdog.Enabled());
    ctx.dialogs.boxes.clear();
    Refresh();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_TRUE(control->timerWatchdog.Enabled());
}

// The second terminal's feature register 0x1018: DSI mode with both boxes clear.
TEST_F(RefreshDataTest, ASecondRefreshRereadsEverythingAndRestartsTheWatchdog) {
    Refresh();
    ctx.scheduler.RunFor(300);
    // The devices stored for this position (which ones, DeviceRegistryTest pins).
    for (const char* address : {"4", "12"})
        registry.WriteString(RegistryAccess::kHkeyCurrentUser,
                             DeviceRegistryKeyPath(1, std::stoi(address)), "Short Address",
                             address);
    StationShape shape;
    shape.offsets = {"2.0", "2.8", "4.0", "4.8"};
    sim::ImageLayout layout = sim::ImageLayout::Packed(0, 1);
    layout.entries = {{{2, 0, 0}, {2, 8, 0}, {4, 0, 1}, {4, 8, 1}}};
    MakeTerminal(0x314D, 0x1018, layout);
    const std::int64_t second = ctx.scheduler.Now();
    Refresh(shape, UserDataXml("1"));
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(control->lblValueChannel.Caption(), "2");
    EXPECT_EQ(control->lblValueOffset.Caption(), "4 [Byte]");
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
    EXPECT_TRUE(control->Option5.Value() && !control->Option4.Value());
    EXPECT_FALSE(control->chkPowerSupplyUnit.IsChecked() ||
                 control->chkCountDALIDevices.IsChecked());
    EXPECT_EQ(control->treeDevices.NodeCount(), 1 + 2 * 4);
    ASSERT_EQ(control->lstChangeAddrView.ItemCount(), 2);
    EXPECT_EQ(control->lstChangeAddrView.Item(2).SubItem(1), "12");
    ctx.scheduler.RunFor(499);
    EXPECT_EQ(terminal->Watchdog().count, 0);
    ctx.scheduler.RunFor(1);
    EXPECT_EQ(terminal->Watchdog().lastMs, second + 500);

    // An unknown operation mode changes neither option.
    MakeTerminal(0x314D, 0x3000);
    Refresh();
    EXPECT_TRUE(control->Option5.Value());
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
}

TEST_F(RefreshDataTest, LoggingSwitchesNeedANumberOtherThanZeroAndLogTheXmlAsUtf16) {
    auto set = [&](const char* name, const char* value) {
        registry.WriteString(RegistryAccess::kHkeyCurrentUser, kSettingsKey, name, value);
    };
    set("EnableLoggingAddressing", "2");
    set("EnableLoggingMappingData", "abc");
    set("EnableLoggingUserData", "0");
    Refresh();
    EXPECT_TRUE(control->LoggingAddressing());
    EXPECT_FALSE(control->LoggingMappingData());
    EXPECT_FALSE(control->LoggingUserData());
    EXPECT_FALSE(std::filesystem::exists(kMappingDataLogFile));
    EXPECT_FALSE(std::filesystem::exists(kUserDataLogFile));

    // A switch that went away is off again.
    registry.values.clear();
    set("EnableLoggingMappingData", "-1");
    set("EnableLoggingUserData", "-1");
    StationShape shape;
    shape.name = "Klemme \xC3\xA4";  // non-ASCII
    Refresh(shape, UserDataXml("0", "9"));
    EXPECT_FALSE(control->LoggingAddressing());
    EXPECT_EQ(ReadUtf16File(kMappingDataLogFile), Node(shape).Xml());
    EXPECT_EQ(ReadUtf16File(kUserDataLogFile), UserDataXml("0", "9"));

    // A log file that cannot be written is ignored.
    std::filesystem::remove(kMappingDataLogFile);
    std::filesystem::create_directory(kMappingDataLogFile);
    ctx.dialogs.boxes.clear();
    Refresh();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_TRUE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, AFailingWatchdogWriteIsShownOnceAndTheWritesGoOn) {
    Refresh();
    port->Faults().m_failWritesToTable = 99;
    ctx.scheduler.RunFor(1500);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text.rfind("Error: timerWatchdog_Timer: ", 0), 0u);
    port->Faults().m_failWritesToTable = -1;
    ctx.scheduler.RunFor(500);
    EXPECT_EQ(terminal->Watchdog().count, 1);
    // A new series of failures is shown again.
    port->Faults().m_failWritesToTable = 99;
    ctx.scheduler.RunFor(500);
    EXPECT_EQ(ctx.dialogs.boxes.size(), 2u);
}

}  // namespace
}  // namespace zd::test
