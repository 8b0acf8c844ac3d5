// The host stand-in's station documents: every example station drives the control end to end on
// the simulated terminal in its placement and byte order, and broken documents are refused with
// the file, the place and the reason.
#include <gtest/gtest.h>

#include <filesystem>

#include "documents/StationDocument.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "support/ControlRig.h"
#include "support/Examples.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

std::string Example(const std::string& name) {
    return test::ExamplePath("stations/" + name);
}

struct ExampleStation {
    const char* name;
    const char* file;
    std::int32_t position;
};

void PrintTo(const ExampleStation& example, std::ostream* os) {
    *os << example.file;
}

class ExampleStationTest : public ::testing::TestWithParam<ExampleStation> {};

TEST_P(ExampleStationTest, RefreshDataAndACommandWorkOnTheSimulatedTerminal) {
    const ExampleStation& example = GetParam();
    StationDocument station = StationDocument::Load(Example(example.file));
    XmlNode node = station.ChooseTerminal(example.position);

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
    // The labels RefreshData fills from the node the frame's tests pin.
    ASSERT_TRUE(ctx.dialogs.boxes.empty()) << ctx.dialogs.boxes[0].text;

    // The control and the terminal agree on where every byte lies: a query is answered.
    test::DaliRequest request;
    request.nCommandId = kCmdQueryActualLevel;
    request.nAddr = 7;
    control.HandleObjectEvents("SendDALICommand", request.params);
    EXPECT_EQ(request.nRet, ResultNumber(Result::Done));
    control.HandleObjectEvents("ReceiveDALIData", request.params);
    EXPECT_EQ(request.nRet, ResultNumber(Result::Done));
    EXPECT_EQ(request.nData, 0x5A);
}

const ExampleStation kExamples[] = {
    {"PackedIntel", "packed-intel.xml", 1},
    {"PackedMotorola", "packed-motorola.xml", 1},
    {"WordAlignedIntel", "word-aligned-intel.xml", 1},
    {"WordAlignedMotorola", "word-aligned-motorola.xml", 1},
    {"MixedStation", "mixed-station.xml", 2},
};

INSTANTIATE_TEST_SUITE_P(Stations, ExampleStationTest, ::testing::ValuesIn(kExamples),
                         [](const auto& test) { return std::string(test.param.name); });

using test::ErrorOf;

// The action fails with a description that holds part.
void ExpectError(const std::function<void()>& action, const std::string& part) {
    const std::string error = ErrorOf(action);
    EXPECT_NE(error.find(part), std::string::npos) << error;
}

TEST(StationDocumentTest, TerminalsAreChosenByPositionWithTheirUserData) {
    StationDocument station = StationDocument::Load(Example("mixed-station.xml"));
    // Without a position: the first ZD4270, past the input terminal before it.
    EXPECT_EQ(station.ChooseTerminal().Attribute("Pos"), "2");
    EXPECT_EQ(station.ChooseTerminal(1).Attribute("Name"), "DI8");
    // The user data: the Params element, or channel 0 where a terminal has none.
    XmlDocument userData;
    ASSERT_TRUE(userData.LoadXml(StationUserData(station.ChooseTerminal(1))));
    EXPECT_EQ(userData.DocumentNode().SelectSingleNode("Params/CompanyId").Text(), "0");
    StationDocument none = StationDocument::Parse(
        "<Station><Coupler><Device Pos=\"1\" Name=\"DI8\"/><Device Pos=\"4\" Name=\"AO2\"/>"
        "</Coupler></Station>",
        "none.xml");
    ExpectError([&] { none.ChooseTerminal(); },
                "no ZD4270 terminal (it holds position 1 \"DI8\", position 4 \"AO2\")");
    ExpectError([&] { station.ChooseTerminal(3); }, "no terminal at position 3");
    StationDocument empty = StationDocument::Parse("<Station><Coupler/></Station>", "empty.xml");
    ExpectError([&] { empty.ChooseTerminal(); }, "has no terminal");
    // A terminal that is no ZD4270 describes no complete layout.
    ExpectError([&] { StationImageLayout(station.ChooseTerminal(1)); }, "STATUS");
}

// The simulated terminal follows the station; a line file that places it otherwise is named with
// what differs, one that leaves the placement open or agrees is not.
TEST(StationDocumentTest, ALineFilePlacingTheTerminalOtherwiseIsNoted) {
    const StationDocument station = StationDocument::Load(Example("packed-intel.xml"));
    const XmlNode node = station.ChooseTerminal();
    struct Case {
        const char* line;
        std::vector<std::string> parts;  // empty: no note
    };
    const Case cases[] = {
        {"packed-intel.json", {}},
        {"word-aligned-motorola.json",
         {"INPUT table 0 word 1.0 / table 0 word 0.8", "OUTPUT table 1 word 1.0 / table 1 word 0.8",
          "byte order Motorola / Intel", "follows the station document"}},
        {"packed-motorola.json", {"(byte order Motorola / Intel)"}},
    };
    for (const Case& c : cases) {
        const sim::LineDescription line =
            sim::LoadLineFile(Example(std::string("../lines/") + c.line));
        const auto note = LinePlacementNote(line, c.line, node, "packed-intel.xml");
        EXPECT_EQ(note.has_value(), !c.parts.empty()) << c.line << ": " << note.value_or("");
        for (const std::string& part : c.parts)
            EXPECT_NE(note.value_or("").find(part), std::string::npos) << *note;
    }
    sim::LineDescription moved;
    moved.terminal.position = 3;
    EXPECT_FALSE(LinePlacementNote(moved, "open.json", node, "s.xml"));
    moved.positionStated = true;
    EXPECT_NE(
        LinePlacementNote(moved, "moved.json", node, "s.xml").value_or("").find("position 3 / 1"),
        std::string::npos);
}

TEST(StationDocumentTest, ASimulatedTerminalNeedsAPositionAndAWholeLayout) {
    test::TestContext ctx;
    StationDocument station = StationDocument::Parse(
        "<Station><Coupler><Device Name=\"ZD4270\"/><Device Pos=\"2\"><ProcessData><Channel>"
        "<Variable Dir=\"STATUS\" Offset=\"0.0\" Table=\"0\"/></Channel></ProcessData></Device>"
        "</Coupler></Station>",
        "bad.xml");
    ExpectError([&] { CreateSimulatedDevCom(ctx.scheduler, station.ChooseTerminal()); },
                "no position");
    ExpectError([&] { CreateSimulatedDevCom(ctx.scheduler, station.ChooseTerminal(2)); },
                "no complete INPUT variable");
}

// A document that breaks off, is no station, or holds a number the control could read otherwise
// than plain decimal is refused when it is loaded, naming the file, the device's line and the
// field; and no document hangs or exhausts the program: entities are refused and a file is read
// up to 16 MB.
TEST(StationDocumentTest, BrokenDocumentsAmbiguousNumbersEntitiesAndEndlessFilesAreRefused) {
    const auto station = [](const std::string& device) {
        return "<Station><Coupler>\n<Device Pos=\"1\"/>\n" + device + "</Coupler></Station>";
    };
    const std::pair<std::string, const char*> cases[] = {
        {"<Station>\n<Coupler>\n<Device Pos=\"1\">\n</Coupler></Station>", "line 4"},
        {"<Station><Coupler><Dev", "hall.xml cannot be read"},
        {"<Archive/>", "no \"Station\" element"},
        {station("<Device Pos=\" 2\"/>"),
         "hall.xml cannot be read: the device on line 3: Type mismatch: \"Pos\" is \" 2\", not a "
         "decimal number"},
        {station("<Device Pos=\"99999999999\"/>"), "Overflow: \"Pos\" is 99999999999"},
        {station("<Device Pos=\"2\"><ProcessData><Channel><Variable Dir=\"OUTPUT\" "
                 "Offset=\"0x2.0\" Table=\"0\"/></Channel></ProcessData></Device>"),
         "line 3: Type mismatch: the word offset in \"Offset\" of the OUTPUT variable is \"0x2\""},
        {station("<Device Pos=\"2\"><Params><UserData>1.0</UserData></Params></Device>"),
         "\"Params/UserData\" is \"1.0\""},
        {"<!DOCTYPE Station [<!ENTITY p \"2\">]><Station/>", "declares the entity \"p\""},
    };
    for (const auto& [text, message] : cases) {
        // clang 14 cannot capture a structured binding itself; an init-capture names it.
        ExpectError([&text = text] { StationDocument::Parse(text, "hall.xml"); }, message);
    }
    const std::string missing = (fs::temp_directory_path() / "zd_no_such_station.xml").string();
    ExpectError([&] { StationDocument::Load(missing); }, missing);
    EXPECT_EQ(ErrorOf([] { StationDocument::Load("/dev/zero"); }),
              "The station document /dev/zero is larger than 16 MB, the most this program reads");
    const auto endless = test::Thrown<sim::LineFileError>([] { sim::LoadLineFile("/dev/zero"); });
    ASSERT_TRUE(endless) << "a line file without end was read";
    EXPECT_NE(endless->Reason().find("larger than 4 MB"), std::string::npos) << endless->Reason();
}

}  // namespace
}  // namespace zd
