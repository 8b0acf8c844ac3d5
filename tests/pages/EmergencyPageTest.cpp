// The emergency page on the simulated line: the gear's state in words, a test started, followed on
// the page's timer to its result and stopped, another type told, and the tree's emergency node
// once a page has read a gear's device type.
#include "PageRig.h"
#include "engine/EmergencyLog.h"
#include "pages/configZD4270Emergency.h"
#include "pages/configZD4270Variables.h"

namespace zd::test {
namespace {

class EmergencyPageTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig unit;
        unit.shortAddress = 3;
        unit.deviceType = 1;
        unit.emergency.failures = static_cast<std::uint8_t>(sim::EmergencyFailure::Lamp);
        AddGear(unit);
        sim::GearConfig led;
        led.shortAddress = 4;
        AddGear(led);
        Start();
    }
};

TEST_F(EmergencyPageTest, ShowsTheStateAndFollowsATestToItsResult) {
    auto& page = Open<configZD4270Emergency>(PageKind::Emergency, 3);
    EXPECT_EQ(page.lblMode.Caption(), "normal");
    EXPECT_EQ(page.lblBattery.Caption(), "100 %");
    EXPECT_EQ(page.lblRated.Caption(), "180 min");
    EXPECT_EQ(page.lblFailures.Caption(), "-");
    EXPECT_EQ(page.lblLastDuration.Caption(), "-");
    EXPECT_TRUE(page.btnFunctionTest.Enabled());

    page.btnFunctionTest.Click();
    EXPECT_FALSE(page.btnFunctionTest.Enabled());
    ctx.scheduler.RunFor(4000);
    EXPECT_EQ(page.lblMode.Caption(), "function test");
    EXPECT_NE(page.lblTest.Caption().find("running"), std::string::npos) << page.lblTest.Caption();
    ctx.scheduler.RunFor(10000);
    EXPECT_EQ(page.lblTest.Caption(), "function test at 3: failed");
    EXPECT_EQ(page.lblFailures.Caption(), "emergency lamp failure, function test failed");
    EXPECT_FALSE(page.RunningTest());
    // The control keeps the test in the store's log, which the report reads.
    const auto logged =
        ReadEmergencyLogEntry(registry, control->Position(), 3, EmergencyTestKind::Function);
    ASSERT_TRUE(logged.has_value());
    EXPECT_FALSE(logged->passed);
    EXPECT_EQ(logged->failureStatus, 0x48);
    EXPECT_EQ(logged->date.size(), 19u);
    EXPECT_TRUE(page.btnDurationTest.Enabled());

    // A duration test stopped from the page ends without a result.
    page.btnDurationTest.Click();
    page.btnStopTest.Click();
    EXPECT_EQ(page.lblMode.Caption(), "normal");
    EXPECT_EQ(page.lblTest.Caption(), "the test was stopped");
}

TEST_F(EmergencyPageTest, OtherGearAreToldAndTheTreeLearnsEmergencyGearFromTheirType) {
    auto& led = Open<configZD4270Emergency>(PageKind::Emergency, 4);
    EXPECT_EQ(led.lblInfo.Caption(),
              "the gear at short address 4 is of device type 6, not emergency lighting (device "
              "type 1)");
    EXPECT_FALSE(led.btnFunctionTest.Enabled());
    const auto sent = TakeFrames();
    // Nothing but QUERY DEVICE TYPE (asked once more only after silence) went to it.
    EXPECT_EQ(sent, (std::vector<std::uint16_t>{ShortFrame(4, 153)}));

    control->State().devices->Add(clsDevice{0, 3, 3, false});
    control->State().devices->Add(clsDevice{0, 4, 4, false});
    control->CreateTreeDevices();
    EXPECT_EQ(control->treeDevices.Node("03Emergency"), nullptr);
    Open<configZD4270Variables>(PageKind::Variables, 3);
    ASSERT_NE(control->treeDevices.Node("03Emergency"), nullptr);
    Open<configZD4270Variables>(PageKind::Variables, 4);
    EXPECT_EQ(control->treeDevices.Node("04Emergency"), nullptr);
    // A new tree after a scan keeps what was learned.
    control->CreateTreeDevices();
    EXPECT_NE(control->treeDevices.Node("03Emergency"), nullptr);
}

}  // namespace
}  // namespace zd::test
