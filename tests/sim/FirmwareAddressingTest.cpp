// The terminal firmware's random addressing, started by control bit 3: status bit 3 while it runs,
// short addresses in the order of the random addresses, and each result code the control knows.
#include <gtest/gtest.h>

#include <set>

#include "sim/SimRig.h"

namespace zd::sim {
namespace {

using test::SimRig;

class FirmwareAddressingTest : public ::testing::Test {
  protected:
    int Unaddressed(std::uint32_t random) {
        GearConfig config;
        config.randomise = {random};
        return Term().AddGear(config);
    }
    int Addressed(int shortAddress, std::uint32_t random) {
        GearConfig config;
        config.shortAddress = static_cast<std::uint8_t>(shortAddress);
        config.randomise = {random};
        return Term().AddGear(config);
    }
    // As the control does it: parameter word, control bit 3 set, wait for status bit 3, clear it;
    // then once a second until status bit 3 drops. Returns the low input byte.
    std::uint8_t Run(std::uint16_t parameter) {
        m_rig.PutData(parameter);
        m_rig.Clock().Sleep(1000);
        m_rig.FlipControl(0x08);
        m_started = (m_rig.Status() & 0x08) != 0;
        m_rig.FlipControl(0x08);
        const std::int64_t start = m_rig.Clock().Now();
        while ((m_rig.Status() & 0x08) != 0 && m_rig.Clock().Now() - start < 600000)
            m_rig.Clock().Sleep(1000);
        m_runMs = m_rig.Clock().Now() - start;
        return static_cast<std::uint8_t>(m_rig.Input() & 0xFF);
    }
    Terminal& Term() { return m_rig.Term(); }
    std::optional<std::uint8_t> ShortOf(int id) { return Term().Gear(id).ShortAddress(); }

    SimRig m_rig;
    bool m_started = false;
    std::int64_t m_runMs = 0;
};

TEST_F(FirmwareAddressingTest, GivesAddressesFromTheStartAddressInRandomAddressOrder) {
    const int c = Unaddressed(0x300000);
    const int a = Unaddressed(0x100000);
    const int b = Unaddressed(0x2FFFFF);
    const int old = Addressed(6, 0x000001);  // keeps 6; the run skips it
    EXPECT_EQ(Run(0x0508), 3);               // start 5, optical feedback
    EXPECT_TRUE(m_started);
    EXPECT_EQ(ShortOf(a), 5);
    EXPECT_EQ(ShortOf(b), 7);
    EXPECT_EQ(ShortOf(c), 8);
    EXPECT_EQ(ShortOf(old), 6);
    // Optical feedback: all to minimum first, each gear found to its maximum.
    EXPECT_EQ(Term().GearLevel(a), 254);
    EXPECT_EQ(Term().GearLevel(old), 1);
    EXPECT_GT(m_runMs, 3000);  // the search takes line time
    // The run ends with TERMINATE: no gear is left in the initialisation state.
    EXPECT_FALSE(Term().Gear(a).InInitialisation(m_rig.Clock().Now() * 1000));
}

TEST_F(FirmwareAddressingTest, RunningOutOfShortAddressesGivesE0) {
    const int a = Unaddressed(0x000010);
    const int b = Unaddressed(0x000020);
    const int c = Unaddressed(0x000030);
    EXPECT_EQ(Run(0x3E00), 0xE0);  // start 62
    EXPECT_EQ(ShortOf(a), 62);
    EXPECT_EQ(ShortOf(b), 63);
    EXPECT_EQ(ShortOf(c), std::nullopt);
    EXPECT_EQ(Run(0x4000), 0xE0);  // a start past 63 at once
}

// 64 cannot be told from an error code: a whole line addressed in one run is reported as full,
// one gear less by its count.
class FullLineTest : public FirmwareAddressingTest, public ::testing::WithParamInterface<int> {};

TEST_P(FullLineTest, EveryGearIsAddressed) {
    const int gear = GetParam();
    std::vector<int> ids;
    for (int i = 0; i < gear; ++i) ids.push_back(Unaddressed(0x040000u * i + 0x1234u));
    EXPECT_EQ(Run(0x0000), gear == 64 ? kFirmwareNoFreeShortAddress : 63);
    std::set<int> addresses;
    for (int id : ids) addresses.insert(ShortOf(id).value_or(-1));
    EXPECT_EQ(addresses.size(), static_cast<std::size_t>(gear));
    EXPECT_EQ(*addresses.begin(), 0);
    EXPECT_EQ(*addresses.rbegin(), gear - 1);
}

INSTANTIATE_TEST_SUITE_P(SixtyThreeAndSixtyFour, FullLineTest, ::testing::Values(63, 64));

TEST_F(FirmwareAddressingTest, TwoGearOnOneShortAddressGiveF0) {
    Addressed(7, 0x1000);
    Addressed(7, 0x2000);
    Unaddressed(0x3000);
    EXPECT_EQ(Run(0x0000), 0xF0);
}

TEST_F(FirmwareAddressingTest, GearThatKeepsNoAddressGivesFE) {
    Term().Gear(Unaddressed(0x123456)).Faults().m_ignoreProgramming = true;
    EXPECT_EQ(Run(0x0001), 0xFE);
}

TEST_F(FirmwareAddressingTest, GearLeavingDuringTheSearchGivesF8) {
    const int a = Unaddressed(0x000005);
    // New installation: the prologue takes a few frames, the search starts well within 600 ms.
    Term().ScheduleRemoveGear(a, m_rig.Clock().Now() + 1000 + 600);
    EXPECT_EQ(Run(0x0001), 0xF8);
}

TEST_F(FirmwareAddressingTest, DsiModeGivesTheInternalErrorWithoutStarting) {
    m_rig.WriteFeatures(0x1000);
    EXPECT_EQ(Run(0x0001), 0xDE);
    EXPECT_FALSE(m_started);
}

TEST_F(FirmwareAddressingTest, CommandsOfTheControlWaitForTheEndOfTheRun) {
    const int a = Unaddressed(0x000100);
    Term().SetFrameLog(true);
    m_rig.PutData(0x0001);
    m_rig.FlipControl(0x08);
    m_rig.Command(0xFE10);  // DAPC 16 to all, during the run
    m_rig.Clock().Sleep(100);
    EXPECT_EQ(m_rig.Status() & 0x09, 0x08);  // running, not acknowledged
    while ((m_rig.Status() & 0x08) != 0) m_rig.Clock().Sleep(1000);
    m_rig.Clock().Sleep(100);
    EXPECT_EQ(m_rig.Status() & 0x01, 0x01);
    EXPECT_EQ(Term().GearLevel(a), 16);
    EXPECT_EQ(ShortOf(a), 0);
    // The frame log tells the firmware's frames from the control's, which came last.
    const std::vector<SentFrame>& log = Term().FrameLog();
    ASSERT_GT(log.size(), 2u);
    EXPECT_TRUE(log.front().byFirmware);
    EXPECT_EQ(log.back().frame, 0xFE10);
    EXPECT_FALSE(log.back().byFirmware);
}

}  // namespace
}  // namespace zd::sim
