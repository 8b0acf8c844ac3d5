// The example building's couplers as the simulator serves them: one device-communication object per
// coupler in front of its terminals, through which each terminal's own control reaches its own
// line, and stations whose terminals would share a word are refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "documents/Building.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "support/ControlRig.h"

namespace zd {
namespace {

const std::string kStation = test::ExamplePath("building/station.xml");

TEST(BuildingTest, EachControlReachesItsOwnTerminalThroughTheCoupler) {
    const StationDocument station = StationDocument::Load(kStation);
    const std::vector<StationTerminal> terminals = StationZd4270Terminals(station);
    ASSERT_EQ(terminals.size(), 12u);
    EXPECT_EQ(StationCouplers(station).size(), 3u);

    for (int coupler = 0; coupler < 3; ++coupler) {
        test::TestContext ctx;
        std::vector<std::shared_ptr<SimDevCom>> simulated;
        std::vector<StationTerminal> mine;
        for (const StationTerminal& terminal : terminals) {
            if (terminal.coupler != coupler) continue;
            // Every terminal's gear at short address 7, each at a level of its own.
            sim::LineDescription line;
            sim::GearConfig gear;
            gear.shortAddress = 7;
            gear.actualLevel = static_cast<std::uint8_t>(100 + terminal.position);
            line.gear.push_back(gear);
            simulated.push_back(CreateSimulatedDevCom(ctx.scheduler, terminal.node, line));
            mine.push_back(terminal);
        }
        auto couplerDevCom = std::make_shared<CouplerDevCom>(simulated);
        // The controls run one after the other on one clock, each with its own state.
        for (std::size_t i = 0; i < mine.size(); ++i) {
            MemoryRegistry registry;
            ModuleState state;
            configZD4270 control(ctx.context, registry, state);
            control.RefreshData(mine[i].node, couplerDevCom, StationUserData(mine[i].node));
            ASSERT_TRUE(ctx.dialogs.boxes.empty()) << ctx.dialogs.boxes[0].text;
            test::DaliRequest request;
            request.nCommandId = kCmdQueryActualLevel;
            request.nAddr = 7;
            control.HandleObjectEvents("SendDALICommand", request.params);
            control.HandleObjectEvents("ReceiveDALIData", request.params);
            EXPECT_EQ(request.nRet, ResultNumber(Result::Done)) << mine[i].position;
            EXPECT_EQ(request.nData, 100 + mine[i].position) << mine[i].position;
            // The watchdog message reaches every terminal of the coupler.
            ctx.scheduler.RunFor(600);
            for (const auto& terminal : simulated)
                EXPECT_GT(terminal->Terminal().Watchdog().count, 0);
        }
        // The coupler's other terminals' words read as nothing.
        std::uint16_t word = 0xFFFF;
        couplerDevCom->ReadTable(0, 0, coupler == 2 ? 4 : 0, 1, &word);
        EXPECT_EQ(word, 0) << coupler;
    }
}

TEST(BuildingTest, TerminalsThatShareAWordOrAPositionAreRefused) {
    test::TestContext ctx;
    test::StationShape first;
    test::StationShape second;
    second.pos = "Pos=\"2\"";
    // Packed placement from byte 1: the status byte shares word 0 with the first terminal's.
    second.offsets = {"0.8", "1.0", "0.8", "1.0"};
    const StationDocument a = StationDocument::Parse(test::StationXml(first), "a.xml");
    const StationDocument b = StationDocument::Parse(test::StationXml(second), "b.xml");
    std::vector<std::shared_ptr<SimDevCom>> terminals = {
        CreateSimulatedDevCom(ctx.scheduler, a.TerminalNode(1)),
        CreateSimulatedDevCom(ctx.scheduler, b.TerminalNode(2))};
    EXPECT_THROW(CouplerDevCom{terminals}, ControlError);

    const std::string twice =
        "<Station><Coupler Name=\"K1\"><Device Pos=\"4\" Name=\"ZD4270\"/></Coupler>"
        "<Coupler Name=\"K2\"><Device Pos=\"4\" Name=\"ZD4270\"/></Coupler></Station>";
    const std::string error =
        test::ErrorOf([&] { StationZd4270Terminals(StationDocument::Parse(twice, "twice.xml")); });
    EXPECT_NE(error.find("position 4"), std::string::npos) << error;
}

}  // namespace
}  // namespace zd
