// The host stand-in's station documents: every example station drives the control end to end on
// the simulated terminal in its placement and byte order, and broken documents are refused with
// the file, the place and the reason.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "frame/configZD4270.h"
#include "host/QSettingsRegistry.h"
#include "host/StationDocument.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "support/ControlRig.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

// The example files beside the sources: this file lies in tests/host/.
std::string Example(const std::string& name) {
    return (fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "stations" /
            name)
        .string();
}

struct ExampleStation {
    const char* file;
    std::int32_t position;
    bool motorola;
    std::array<ProcessImageEntry, 4> layout;
    const char* offsetLabel;
};

class ExampleStationTest : public ::testing::TestWithParam<ExampleStation> {};

TEST_P(ExampleStationTest, RefreshDataAndACommandWorkOnTheSimulatedTerminal) {
    const ExampleStation& example = GetParam();
    StationDocument station = StationDocument::Load(Example(example.file));
    XmlNode node = station.ChooseTerminal(example.position);
    sim::ImageLayout layout = StationImageLayout(node);
    EXPECT_EQ(layout.motorola, example.motorola);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(layout.entries[i].nWordOffset, example.layout[i].nWordOffset) << i;
        EXPECT_EQ(layout.entries[i].nBitOffset, example.layout[i].nBitOffset) << i;
        EXPECT_EQ(layout.entries[i].nTableNumber, example.layout[i].nTableNumber) << i;
    }

    test::TestContext ctx;
    MemoryRegistry registry;
    ModuleState state;
    sim::LineDescription line;
    sim::GearConfig gear;
    gear.shortAddress = 7;
    gear.actualLevel = 0x5A;  // differs from its swapped self
    line.gear.push_back(gear);
    std::shared_ptr<SimDevCom> devCom = CreateSimulatedDevCom(ctx.scheduler, node, line);
    configZD4270 control(ctx.context, registry, state);
    control.RefreshData(node, devCom, StationUserData(node));
    ASSERT_TRUE(ctx.dialogs.boxes.empty()) << ctx.dialogs.boxes[0].text;
    EXPECT_EQ(control.lblValuePos.Caption(), std::to_string(example.position));
    EXPECT_EQ(control.lblValueFormat.Caption(), example.motorola ? "Motorola" : "Intel");
    EXPECT_EQ(control.lblValueOffset.Caption(), example.offsetLabel);
    EXPECT_EQ(control.lblFirmwareVersion.Caption(), "0x314D  (1M)");

    // The control and the terminal agree on where every byte lies: a query is answered.
    test::DaliRequest request;
    request.nCommandId = kCmdQueryActualLevel;
    request.nAddr = 7;
    control.HandleObjectEvents("SendDALICommand", request.params);
    EXPECT_EQ(request.nRet, kResultDone);
    control.HandleObjectEvents("ReceiveDALIData", request.params);
    EXPECT_EQ(request.nRet, kResultDone);
    EXPECT_EQ(request.nData, 0x5A);

    ctx.scheduler.RunFor(1000);
    EXPECT_EQ(devCom->Terminal().Watchdog().count, 2);
}

constexpr ProcessImageEntry kPacked[4] = {{0, 0, 0}, {0, 8, 0}, {0, 0, 1}, {0, 8, 1}};
constexpr ProcessImageEntry kAligned[4] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}};
const ExampleStation kExamples[] = {
    {"packed-intel.xml", 1, false, std::to_array(kPacked), "0 [Byte]"},
    {"packed-motorola.xml", 1, true, std::to_array(kPacked), "0 [Byte]"},
    {"word-aligned-intel.xml", 1, false, std::to_array(kAligned), "0 [Byte]"},
    {"word-aligned-motorola.xml", 1, true, std::to_array(kAligned), "0 [Byte]"},
    {"mixed-station.xml", 2, false, {{{1, 0, 0}, {1, 8, 0}, {2, 0, 1}, {2, 8, 1}}}, "2 [Byte]"},
};

INSTANTIATE_TEST_SUITE_P(Stations, ExampleStationTest, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<ExampleStation>& info) {
                             std::string name;
                             for (const char* c = info.param.file; *c && *c != '.'; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ControlError& e) {
        return e.Description();
    }
    return "<no error>";
}

TEST(StationDocumentTest, BrokenDocumentsAreRefusedWithFileLineAndReason) {
    std::string text = ErrorOf([] {
        StationDocument::Parse("<Station>\n<Coupler>\n<Device Pos=\"1\">\n</Coupler></Station>",
                               "hall.xml");
    });
    EXPECT_NE(text.find("hall.xml"), std::string::npos) << text;
    EXPECT_NE(text.find("line 4"), std::string::npos) << text;

    text = ErrorOf([] { StationDocument::Parse("<Station><Coupler><Dev", "cut.xml"); });
    EXPECT_NE(text.find("cut.xml cannot be read"), std::string::npos) << text;

    text = ErrorOf([] { StationDocument::Parse("<Archive/>", "other.xml"); });
    EXPECT_NE(text.find("no \"Station\" element"), std::string::npos) << text;

    const std::string missing = (fs::temp_directory_path() / "zd_no_such_station.xml").string();
    text = ErrorOf([&] { StationDocument::Load(missing); });
    EXPECT_NE(text.find(missing), std::string::npos) << text;
}

TEST(StationDocumentTest, TerminalsAreChosenByPosition) {
    StationDocument station = StationDocument::Load(Example("mixed-station.xml"));
    EXPECT_EQ(station.Terminals().size(), 2u);
    EXPECT_EQ(station.ChooseTerminal().Attribute("Name"), "DI8");
    EXPECT_EQ(station.ChooseTerminal(2).Attribute("Name"), "ZD4270");
    EXPECT_FALSE(station.TerminalNode(3));
    EXPECT_NE(ErrorOf([&] { station.ChooseTerminal(3); }).find("no terminal at position 3"),
              std::string::npos);
    StationDocument empty = StationDocument::Parse("<Station><Coupler/></Station>", "empty.xml");
    EXPECT_NE(ErrorOf([&] { empty.ChooseTerminal(); }).find("has no terminal"), std::string::npos);
    // A terminal that is no ZD4270 describes no complete layout.
    EXPECT_NE(ErrorOf([&] { StationImageLayout(station.ChooseTerminal(1)); }).find("STATUS"),
              std::string::npos);
}

TEST(StationDocumentTest, UserDataIsTheParamsElementOrChannelZero) {
    StationDocument station = StationDocument::Load(Example("mixed-station.xml"));
    XmlDocument userData;
    ASSERT_TRUE(userData.LoadXml(StationUserData(station.ChooseTerminal(2))));
    EXPECT_EQ(userData.DocumentNode().SelectSingleNode("Params/UserData").Text(), "1");
    ASSERT_TRUE(userData.LoadXml(StationUserData(station.ChooseTerminal(1))));
    EXPECT_EQ(userData.DocumentNode().SelectSingleNode("Params/CompanyId").Text(), "0");
}

TEST(StationDocumentTest, ASimulatedTerminalNeedsAPositionAndAWholeLayout) {
    test::TestContext ctx;
    StationDocument station = StationDocument::Parse(
        "<Station><Coupler><Device Name=\"ZD4270\"/><Device Pos=\"2\"><ProcessData><Channel>"
        "<Variable Dir=\"STATUS\" Offset=\"0.x\" Table=\"0\"/></Channel></ProcessData></Device>"
        "</Coupler></Station>",
        "bad.xml");
    EXPECT_NE(ErrorOf([&] {
                  CreateSimulatedDevCom(ctx.scheduler, station.ChooseTerminal());
              }).find("no position"),
              std::string::npos);
    EXPECT_EQ(ErrorOf([&] { CreateSimulatedDevCom(ctx.scheduler, station.ChooseTerminal(2)); }),
              "Type mismatch");
}

TEST(QSettingsRegistryTest, TheUserStoreLiesInTheConfigurationFolder) {
    QSettingsRegistry registry;
    EXPECT_NE(registry.FileName().find("zd4270"), std::string::npos);
    EXPECT_EQ(fs::path(registry.FileName()).filename(), "registry.ini");
}

}  // namespace
}  // namespace zd
