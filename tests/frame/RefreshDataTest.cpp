// RefreshData end to end against the simulated terminal: the Device settings values, byte order,
// feature register and firmware version, the order and texts of every failure message, the
// logging switches and files, the registry load, and the watchdog that it starts.
#include <fstream>
#include <iterator>

#include "support/ControlRig.h"

namespace zd::test {
namespace {

constexpr const char* kSettingsKey =
    "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Settings\\";

using RefreshDataTest = ControlRig;

TEST_F(RefreshDataTest, PackedIntelStationFillsTheDeviceSettingsAndStartsTheWatchdog) {
    Refresh({}, UserDataXml("2", "7"));
    EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    EXPECT_EQ(state.objDevCom, port);
    EXPECT_EQ(control->lblValuePos.Caption(), "1");
    EXPECT_EQ(control->lblValueChannel.Caption(), "3");
    EXPECT_EQ(control->lblValueType.Caption(), "ZD4270");
    EXPECT_EQ(control->lblValueOffset.Caption(), "0 [Byte]");
    EXPECT_EQ(control->lblValueFormat.Caption(), "Intel");
    EXPECT_EQ(control->m_nCompanyId, 7);
    EXPECT_FALSE(state.m_bMotorola);
    EXPECT_EQ(state.ProcessImageLayout[kInput].nBitOffset, 8);
    EXPECT_EQ(state.ProcessImageLayout[kOutput].nTableNumber, 1);

    EXPECT_EQ(control->lblFirmwareVersion.Caption(), "0x314D  (1M)");
    EXPECT_EQ(state.m_nFirmwareVersion, 0x314D);
    EXPECT_TRUE(control->chkRndAddrOpticalFeedback.Visible());
    EXPECT_FALSE(control->lstRndAddrView.Visible());
    EXPECT_TRUE(control->chkPowerSupplyUnit.IsChecked());
    EXPECT_TRUE(control->chkCountDALIDevices.IsChecked());
    EXPECT_TRUE(control->Option4.Value());
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    EXPECT_FALSE(control->m_bRefreshing);
    EXPECT_TRUE(control->timerWatchdog.Enabled());
    EXPECT_EQ(control->timerWatchdog.Interval(), 500);
    // The tree shows the (empty) device list.
    ASSERT_NE(control->treeDevices.Node("Root"), nullptr);
    EXPECT_EQ(control->treeDevices.NodeCount(), 1);
}

TEST_F(RefreshDataTest, WordAlignedMotorolaStationAndStatusAtByteSeven) {
    MakeTerminal(0x314C, 0, sim::ImageLayout::WordAligned(0, 1, true));
    StationShape shape;
    shape.endianElement = "<ProcessDataGlobal EndianFormat=\"motorola\"/>";
    shape.offsets = {"0.0", "1.0", "0.0", "1.0"};
    Refresh(shape);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(control->lblValueFormat.Caption(), "Motorola");
    EXPECT_TRUE(state.m_bMotorola);
    // Firmware below 1M: the control runs random addressing itself and lists the lamps.
    EXPECT_EQ(control->lblFirmwareVersion.Caption(), "0x314C  (1L)");
    EXPECT_FALSE(control->chkRndAddrOpticalFeedback.Visible());
    EXPECT_TRUE(control->lstRndAddrView.Visible());

    // The byte offset label: word 3, high byte.
    StationShape high;
    high.offsets = {"3.8", "0.8", "0.0", "0.8"};
    Refresh(high);
    EXPECT_EQ(control->lblValueOffset.Caption(), "7 [Byte]");
    EXPECT_EQ(state.ProcessImageLayout[kStatus].nWordOffset, 3);
    EXPECT_EQ(state.ProcessImageLayout[kStatus].nBitOffset, 8);

    // Intel when the coupler says nothing.
    for (const char* element : {"", "<ProcessDataGlobal/>"}) {
        high.endianElement = element;
        Refresh(high);
        EXPECT_EQ(control->lblValueFormat.Caption(), "Intel") << element;
    }
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(RefreshDataTest, FeatureRegister0x1018GivesDsiModeWithBothBoxesClearAndWritesNothingBack) {
    MakeTerminal(0x314D, 0x1018);
    bool refreshingSeen = false;
    control->Option5.Clicked.Connect([&] { refreshingSeen = control->m_bRefreshing; });
    Refresh();
    EXPECT_FALSE(control->chkPowerSupplyUnit.IsChecked());
    EXPECT_FALSE(control->chkCountDALIDevices.IsChecked());
    EXPECT_TRUE(control->Option5.Value());
    EXPECT_FALSE(control->Option4.Value());
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
    // The option handlers run while m_bRefreshing holds, so they can tell not to write.
    EXPECT_TRUE(refreshingSeen);
    EXPECT_FALSE(control->m_bRefreshing);
    EXPECT_EQ(terminal->Register(32), 0x1018);

    // An unknown operation mode changes neither option.
    MakeTerminal(0x314D, 0x3000);
    Refresh();
    EXPECT_TRUE(control->Option5.Value());
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
}

TEST_F(RefreshDataTest, ANodeWithoutPosShowsStatusZeroThenRefreshDataFails) {
    StationShape shape;
    shape.pos = "";
    Refresh(shape);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "Error: RefreshData.GetDevicePos()!\r\nnRet: 0");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure");
    EXPECT_EQ(ctx.dialogs.boxes[1].text, "Error: RefreshData!");
    EXPECT_EQ(control->Pos, -1);
    // The mapping still ran and the labels show it; nothing was read from the terminal.
    EXPECT_EQ(control->lblValuePos.Caption(), "-1");
    EXPECT_EQ(control->lblFirmwareVersion.Caption(), "");
    EXPECT_FALSE(control->timerWatchdog.Enabled());

    shape.pos = "Pos=\"abc\"";
    ctx.dialogs.boxes.clear();
    Refresh(shape);
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              (std::vector<std::string>{"Error: RefreshData.GetDevicePos()!\r\nnRet: 0",
                                        "Error: RefreshData!"}));
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
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Exclamation");
    EXPECT_EQ(ctx.dialogs.boxes[1].text, "Error: RefreshData!");
    EXPECT_EQ(control->lblValuePos.Caption(), "1");
    EXPECT_EQ(control->lblValueType.Caption(), "ZD4270");
    // The layout of the earlier call stays, and so does the watchdog it started.
    EXPECT_EQ(state.ProcessImageLayout[kOutput].nBitOffset, 8);
    EXPECT_TRUE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, EveryDirectionIsTriedAndEachFailureIsShown) {
    StationShape shape;
    shape.offsets = {"38", "0.8", "0.0", "0.8"};
    shape.tables = {"0", "0", "1", ""};
    Refresh(shape);
    // STATUS has no point: status 1 after its word offset was stored. OUTPUT's empty table is -1.
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              (std::vector<std::string>{"Error: RefreshData.GetChannelVariableInfo()!\r\nnRet: 1",
                                        "Error: RefreshData!"}));
    EXPECT_EQ(state.ProcessImageLayout[kStatus].nWordOffset, 38);
    EXPECT_EQ(state.ProcessImageLayout[kStatus].nBitOffset, -1);
    EXPECT_EQ(state.ProcessImageLayout[kStatus].nTableNumber, -1);
    EXPECT_EQ(state.ProcessImageLayout[kOutput].nTableNumber, -1);
    EXPECT_EQ(control->lblValueOffset.Caption(), "76 [Byte]");
    EXPECT_FALSE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, ANonNumericOffsetIsReportedByGetChannelVariableInfoItself) {
    StationShape shape;
    shape.offsets = {"0.0", "x.8", "0.0", "0.0.1"};
    Refresh(shape);
    std::vector<std::string> texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].rfind("Error: GetChannelVariableInfo: Type mismatch\r\nSource: ", 0), 0u);
    EXPECT_EQ(texts[1], "Error: RefreshData.GetChannelVariableInfo()!\r\nnRet: 1");
    EXPECT_EQ(texts[2], "Error: RefreshData!");
    // "0.0.1": only the first two parts count.
    EXPECT_EQ(state.ProcessImageLayout[kOutput].nBitOffset, 0);
}

TEST_F(RefreshDataTest, UserDataThatDoesNotParseEndsTheRefreshAfterStoringTheDevCom) {
    Refresh({}, "<Params><UserData>1</UserData>");
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    const std::string& text = ctx.dialogs.boxes[0].text;
    EXPECT_EQ(text.rfind("Error: RefreshData: The user data is no XML document: ", 0), 0u) << text;
    EXPECT_NE(text.find("line 1"), std::string::npos);
    EXPECT_NE(text.find("\r\nNumber: " + std::to_string(kErrXmlParse)), std::string::npos);
    EXPECT_EQ(state.objDevCom, port);
    EXPECT_EQ(control->lblValuePos.Caption(), "");
    EXPECT_EQ(control->lblValueFormat.Caption(), "");
    EXPECT_FALSE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, UserDataWithoutAnElementOrANumberIsAClearError) {
    Refresh({}, "<Params><UserData>1</UserData></Params>");
    Refresh({}, "<Params><UserData>one</UserData><CompanyId>2</CompanyId></Params>");
    Refresh({}, "");
    std::vector<std::string> texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find("\"Params/CompanyId\""), std::string::npos) << texts[0];
    EXPECT_EQ(texts[1].rfind("Error: RefreshData: Type mismatch", 0), 0u) << texts[1];
    EXPECT_EQ(texts[2].rfind("Error: RefreshData: The user data is no XML document", 0), 0u);
    EXPECT_FALSE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, ADevComFailureDuringTheRegisterReadIsShownAndTheHostGoesOn) {
    port->faults.failOnCall = 1;  // the feature register read
    Refresh();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        ctx.dialogs.boxes[0].text,
        "Error: RefreshData: Device communication failed\r\nSource: VmDcCOM\r\nNumber: 30001");
    EXPECT_FALSE(control->m_bRefreshing);
    EXPECT_FALSE(control->timerWatchdog.Enabled());
    // The next refresh works again.
    ctx.dialogs.boxes.clear();
    Refresh();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_TRUE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, WithoutADevComObjectTheRefreshFailsAfterTheMapping) {
    control->RefreshData(Node(), nullptr, UserDataXml());
    EXPECT_EQ(BoxTexts(ctx.dialogs), (std::vector<std::string>{"Error: RefreshData!"}));
    EXPECT_EQ(control->lblValuePos.Caption(), "1");
    EXPECT_FALSE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, TheWatchdogWritesItsMessageEvery500Milliseconds) {
    Refresh();
    const std::int64_t start = ctx.scheduler.Now();
    ctx.scheduler.RunFor(2000);
    EXPECT_EQ(terminal->Watchdog().count, 4);
    EXPECT_EQ(terminal->Watchdog().lastMs, start + 2000);
    EXPECT_EQ(terminal->Watchdog().words, (std::array<std::uint16_t, 3>{1793, 1, 15000}));
}

TEST_F(RefreshDataTest, ASecondRefreshRereadsEverythingAndRestartsTheWatchdog) {
    Refresh();
    ctx.scheduler.RunFor(300);
    // Another mode and another terminal position in between.
    const std::uint16_t code = sim::Terminal::kCodeWord, dsi = 0x1000, zero = 0;
    terminal->WriteTable(1, 0, 31, 1, &code);
    terminal->WriteTable(1, 0, 32, 1, &dsi);
    terminal->WriteTable(1, 0, 31, 1, &zero);
    registry.WriteString(
        RegistryAccess::kHkeyCurrentUser,
        "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Terminal_1\\Devices\\04",
        "Short Address", "4");
    StationShape shape;
    shape.offsets = {"2.0", "2.8", "4.0", "4.8"};
    MakeTerminal(0x314D, 0x1000, [] {
        sim::ImageLayout layout = sim::ImageLayout::Packed(0, 1);
        layout.entries = {{{2, 0, 0}, {2, 8, 0}, {4, 0, 1}, {4, 8, 1}}};
        return layout;
    }());
    const std::int64_t second = ctx.scheduler.Now();
    Refresh(shape, UserDataXml("1"));
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(state.objDevCom, port);
    EXPECT_EQ(control->lblValueChannel.Caption(), "2");
    EXPECT_EQ(control->lblValueOffset.Caption(), "4 [Byte]");
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
    EXPECT_NE(control->treeDevices.Node("04Device"), nullptr);
    // The watchdog's period starts anew with the second call.
    ctx.scheduler.RunFor(499);
    EXPECT_EQ(terminal->Watchdog().count, 0);
    ctx.scheduler.RunFor(1);
    EXPECT_EQ(terminal->Watchdog().count, 1);
    EXPECT_EQ(terminal->Watchdog().lastMs, second + 500);
}

TEST_F(RefreshDataTest, LoggingSwitchesNeedANumberOtherThanZero) {
    auto set = [&](const char* name, const char* value) {
        registry.WriteString(RegistryAccess::kHkeyCurrentUser, kSettingsKey, name, value);
    };
    set("EnableLoggingAddressing", "2");
    set("EnableLoggingMappingData", "abc");
    set("EnableLoggingUserData", "0");
    Refresh();
    EXPECT_TRUE(control->EnableLoggingAddressing);
    EXPECT_FALSE(control->EnableLoggingMappingData);
    EXPECT_FALSE(control->EnableLoggingUserData);
    EXPECT_FALSE(std::filesystem::exists(kMappingDataLogFile));

    // A switch that went away is off again on the next refresh.
    registry.values.clear();
    Refresh();
    EXPECT_FALSE(control->EnableLoggingAddressing);
}

std::u16string ReadUtf16File(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string units;
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return u"<no BOM>";
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return units;
}

TEST_F(RefreshDataTest, MappingAndUserDataLogsHoldTheXmlTextsAsUtf16) {
    for (const char* name : {"EnableLoggingMappingData", "EnableLoggingUserData"})
        registry.WriteString(RegistryAccess::kHkeyCurrentUser, kSettingsKey, name, "-1");
    StationShape shape;
    shape.name = "Klemme \xC3\xA4";  // a non-ASCII name survives as UTF-16
    Refresh(shape, UserDataXml("0", "9"));
    XmlNode node = Node(shape);
    EXPECT_EQ(Utf16ToUtf8(ReadUtf16File(kMappingDataLogFile)), node.Xml());
    EXPECT_NE(ReadUtf16File(kMappingDataLogFile).find(u"Klemme \u00E4"), std::u16string::npos);
    EXPECT_EQ(Utf16ToUtf8(ReadUtf16File(kUserDataLogFile)), UserDataXml("0", "9"));

    // A log file that cannot be written is ignored.
    std::filesystem::remove(kMappingDataLogFile);
    std::filesystem::create_directory(kMappingDataLogFile);  // a folder in the file's way
    ctx.dialogs.boxes.clear();
    Refresh();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_TRUE(control->timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, TheDeviceListComesFromTheRegistryOfThisPosition) {
    auto put = [&](int pos, const char* key, const char* value, const char* name) {
        registry.WriteString(
            RegistryAccess::kHkeyCurrentUser,
            std::string("Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Terminal_") +
                std::to_string(pos) + "\\Devices\\" + key,
            name, value);
    };
    put(1, "03", "3", "Short Address");
    put(1, "12", "12", "Short Address");
    put(1, "12", "1", "DALI Conflict");
    put(2, "20", "20", "Short Address");
    Refresh();
    ASSERT_EQ(state.devices->Count(), 2u);
    const std::vector<TreeNode*> roots = control->treeDevices.Roots();
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0]->Text(), "Devices");
    EXPECT_TRUE(roots[0]->Expanded());
    ASSERT_EQ(roots[0]->Children().size(), 2u);
    EXPECT_EQ(roots[0]->Children()[0]->Key(), "03Device");
    EXPECT_EQ(roots[0]->Children()[0]->Text(), "Device #03");
    EXPECT_EQ(roots[0]->Children()[0]->Image(), "LampDALI");
    EXPECT_EQ(roots[0]->Children()[1]->Image(), "LampDALIError");
    ASSERT_EQ(roots[0]->Children()[1]->Children().size(), 3u);
    EXPECT_EQ(roots[0]->Children()[1]->Children()[2]->Key(), "12Scenes");
    ASSERT_EQ(control->lstChangeAddrView.ItemCount(), 2);
    EXPECT_EQ(control->lstChangeAddrView.Item(2).Text(), "12");
    EXPECT_EQ(control->lstChangeAddrView.Item(2).SubItem(1), "12");
    EXPECT_TRUE(control->lstChangeAddrView.Item(1).Selected());
}

// Records the firmware supervision step the refresh hands over to.
class SupervisingControl : public configZD4270 {
  public:
    using configZD4270::configZD4270;
    void RandomAddressingFirmware(bool bStart, bool bStop, bool bPoll, bool& bFinished) override {
        calls.push_back({bStart, bStop, bPoll});
        bFinished = false;
    }
    std::vector<std::array<bool, 3>> calls;
};

TEST_F(RefreshDataTest, AFirmwareRunStillGoingIsTakenOver) {
    auto store = std::make_shared<WordStore>();
    store->words[{1, 0, 9}] = 0x314D;
    store->words[{0, 0, 0}] = 0x0008;  // status byte: firmware addressing running
    control.reset();
    SupervisingControl supervising(ctx.context, registry, state);
    supervising.lstRndAddrView.AddItem("stale");
    supervising.RefreshData(Node(), store, UserDataXml());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    ASSERT_EQ(supervising.calls.size(), 1u);
    EXPECT_EQ(supervising.calls[0], (std::array<bool, 3>{false, false, true}));
    EXPECT_TRUE(supervising.m_bRndAddrRunning);
    EXPECT_EQ(supervising.tabMain.Tab(), 1);
    EXPECT_EQ(supervising.tabAddressing.Tab(), 1);
    EXPECT_FALSE(supervising.tabMain.Enabled());
    EXPECT_FALSE(supervising.cmdRndAddrStart.Enabled());
    EXPECT_FALSE(supervising.chkRndAddrCompleteNewInstallation.Enabled());
    EXPECT_EQ(supervising.lblRndAddrStatus.Caption(), "Random addressing is active...retry later");
    EXPECT_EQ(supervising.lstRndAddrView.ItemCount(), 0);
    EXPECT_TRUE(supervising.timerRndAddrFirmware.Enabled());
    EXPECT_EQ(supervising.timerRndAddrFirmware.Interval(), 1000);
    EXPECT_TRUE(supervising.timerWatchdog.Enabled());
}

TEST_F(RefreshDataTest, AFailingWatchdogWriteIsShownOnceAndTheWritesGoOn) {
    auto store = std::make_shared<WordStore>();
    store->words[{1, 0, 9}] = 0x314D;
    control->RefreshData(Node(), store, UserDataXml());
    ASSERT_TRUE(ctx.dialogs.boxes.empty());
    store->faults.failWritesToTable = 99;
    ctx.scheduler.RunFor(1500);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text.rfind(
                  "Error: timerWatchdog_Timer: Device communication failed", 0),
              0u);
    EXPECT_EQ(control->m_nWatchdogFailures, 3);
    EXPECT_TRUE(control->timerWatchdog.Enabled());

    store->faults.failWritesToTable = -1;
    ctx.scheduler.RunFor(500);
    EXPECT_EQ(store->CountWrites(99), 1u);
    EXPECT_EQ(control->m_nWatchdogFailures, 0);
    // A new series of failures is shown again.
    store->faults.failWritesToTable = 99;
    ctx.scheduler.RunFor(500);
    EXPECT_EQ(ctx.dialogs.boxes.size(), 2u);
}

}  // namespace
}  // namespace zd::test
