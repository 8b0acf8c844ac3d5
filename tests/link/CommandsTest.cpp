// Command words, command texts and log lines built from command numbers and addresses.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>

#include "link/Commands.h"
#include "link/Results.h"
#include "support/TestContext.h"

namespace zd {
namespace {

std::optional<std::uint16_t> Word(std::int16_t nCommandId, std::uint8_t nData,
                                  std::int16_t nAddrType, std::int16_t nAddr) {
    return BuildDALICommandWord(nCommandId, nData, nAddrType, nAddr);
}

TEST(CommandWordTest, AddressByteCarriesTypeAndAddress) {
    EXPECT_EQ(Word(kCmdRecallMaxLevel, 0, kAddrShort, 3), 0x0705);
    EXPECT_EQ(Word(kCmdRecallMaxLevel, 0, kAddrGroup, 2), 0x8505);
    EXPECT_EQ(Word(kCmdRecallMaxLevel, 0, kAddrBroadcast, 0), 0xFF05);
    EXPECT_EQ(Word(kCmdOff, 0, kAddrShort, 5), 0x0B00);
    EXPECT_EQ(Word(kCmdOff, 0, kAddrShort, 0), 0x0100);
    EXPECT_EQ(Word(kCmdQueryStatus, 0, kAddrGroup, 15), 0x9F90);
    // Broadcast ignores whatever address comes with it, negative ones included.
    EXPECT_EQ(Word(kCmdOff, 0, kAddrBroadcast, 99), 0xFF00);
    EXPECT_EQ(Word(kCmdOff, 0, kAddrBroadcast, -1), 0xFF00);
    EXPECT_EQ(Word(kCmdOff, 0, 3, 0), std::nullopt);
}

TEST(CommandWordTest, DirectArcPowerSendsTheLevelWithSelectorBitClear) {
    EXPECT_EQ(Word(kCmdDirectArcPower, 254, kAddrShort, 63), 0x7EFE);
    EXPECT_EQ(Word(kCmdDirectArcPower, 254, kAddrBroadcast, 63), 0xFEFE);
    EXPECT_EQ(Word(kCmdDirectArcPower, 0, kAddrGroup, 15), 0x9E00);
}

TEST(CommandWordTest, SceneAndGroupNumbersAndTheirEffectOnData) {
    std::uint8_t nData = 7;
    EXPECT_EQ(BuildDALICommandWord(kCmdGoToScene, nData, kAddrShort, 0), 0x0117);
    EXPECT_EQ(nData, 7);
    nData = 20;  // not a scene: GO TO SCENE 0 goes out, the data is left as it was
    EXPECT_EQ(BuildDALICommandWord(kCmdGoToScene, nData, kAddrShort, 0), 0x0110);
    EXPECT_EQ(nData, 20);
    nData = 99;  // 17..31 name the scene themselves and overwrite the data
    EXPECT_EQ(BuildDALICommandWord(20, nData, kAddrShort, 0), 0x0114);
    EXPECT_EQ(nData, 4);
    nData = 9;
    EXPECT_EQ(BuildDALICommandWord(17, nData, kAddrShort, 0), 0x0111);
    EXPECT_EQ(nData, 1);
    nData = 0;
    EXPECT_EQ(BuildDALICommandWord(31, nData, kAddrShort, 0), 0x011F);
    EXPECT_EQ(nData, 15);

    nData = 5;
    EXPECT_EQ(BuildDALICommandWord(kCmdRemoveFromGroup, nData, kAddrBroadcast, 0), 0xFF75);
    EXPECT_EQ(nData, 5);
    nData = 0x23;
    EXPECT_EQ(BuildDALICommandWord(kCmdStoreDtrAsScene, nData, kAddrShort, 1), 0x0343);
    EXPECT_EQ(nData, 3);
    nData = 18;
    EXPECT_EQ(BuildDALICommandWord(kCmdQuerySceneLevel, nData, kAddrShort, 2), 0x05B2);
    EXPECT_EQ(nData, 2);
    // Inside a range the group comes from the data, not from the number.
    nData = 9;
    EXPECT_EQ(BuildDALICommandWord(kCmdAddToGroup + 3, nData, kAddrShort, 0), 0x0169);
    nData = 1;
    EXPECT_EQ(BuildDALICommandWord(kCmdRemoveFromScene + 15, nData, kAddrShort, 0), 0x0151);
    nData = 0x77;
    EXPECT_EQ(BuildDALICommandWord(kCmdStoreDtrAsShortAddress, nData, kAddrShort, 0), 0x0180);
    EXPECT_EQ(nData, 0x77);
}

TEST(CommandWordTest, SpecialCommandsReplaceTheWholeWord) {
    struct Case {
        std::int16_t nCommandId;
        std::optional<std::uint16_t> word;
    };
    const Case cases[] = {
        {256, 0xA100},       {257, 0xA30B},       {258, 0xA50B},       {259, 0xA700}, {260, 0xA900},
        {261, 0xAB00},       {262, std::nullopt}, {263, std::nullopt}, {264, 0xB10B}, {265, 0xB30B},
        {266, 0xB50B},       {267, 0xB70B},       {268, 0xB90B},       {269, 0xBB00}, {270, 0xBD00},
        {271, std::nullopt}, {272, std::nullopt},
    };
    for (const Case& c : cases) {
        for (std::int16_t nAddrType : {kAddrShort, kAddrGroup, kAddrBroadcast}) {
            std::uint8_t nData = 0x0B;
            EXPECT_EQ(BuildDALICommandWord(c.nCommandId, nData, nAddrType, 9), c.word)
                << c.nCommandId << " type " << nAddrType;
            EXPECT_EQ(nData, 0x0B);
        }
    }
}

TEST(CommandWordTest, NumbersOutsideTheCatalogueAreNotSent) {
    for (std::int16_t n :
         {-2, 9, 15, 34, 41, 48, 63, 129, 143, 156, 159, 166, 175, 197, 255, 273, 300, 32767}) {
        std::uint8_t nData = 1;
        EXPECT_EQ(BuildDALICommandWord(n, nData, kAddrShort, 1), std::nullopt) << n;
    }
    for (std::int16_t n : {0, 8, 32, 33, 42, 47, 144, 155, 160, 165, 192, 196}) {
        std::uint8_t nData = 1;
        EXPECT_EQ(BuildDALICommandWord(n, nData, kAddrShort, 1), 0x0300 | n) << n;
    }
}

TEST(CommandWordTest, AddressCheckBoundaries) {
    EXPECT_EQ(CheckDALIAddress(kAddrShort, 0), kResultDone);
    EXPECT_EQ(CheckDALIAddress(kAddrShort, 63), kResultDone);
    EXPECT_EQ(CheckDALIAddress(kAddrShort, 64), kResultBadAddress);
    EXPECT_EQ(CheckDALIAddress(kAddrShort, -1), kResultBadAddress);
    EXPECT_EQ(CheckDALIAddress(kAddrGroup, 15), kResultDone);
    EXPECT_EQ(CheckDALIAddress(kAddrGroup, 16), kResultBadGroup);
    EXPECT_EQ(CheckDALIAddress(kAddrGroup, -1), kResultBadGroup);
    EXPECT_EQ(CheckDALIAddress(kAddrBroadcast, -300), kResultDone);
    EXPECT_EQ(CheckDALIAddress(-1, 0), kResultBadAddrType);
    EXPECT_EQ(CheckDALIAddress(7, 0), kResultBadAddrType);
}

TEST(CommandTextTest, TableTextsAndNumberedRanges) {
    EXPECT_EQ(DALICommandText(-1), "direct arc power");
    EXPECT_EQ(DALICommandText(0), "off");
    EXPECT_EQ(DALICommandText(8), "on and step up");
    EXPECT_EQ(DALICommandText(16), "go to scene 0");
    EXPECT_EQ(DALICommandText(23), "go to scene 7");
    EXPECT_EQ(DALICommandText(31), "go to scene 15");
    EXPECT_EQ(DALICommandText(33), "store actual level in DTR");
    EXPECT_EQ(DALICommandText(44), "store DTR as system level");
    EXPECT_EQ(DALICommandText(47), "store DTR as fade rate");
    EXPECT_EQ(DALICommandText(67), "store the DTR as scene 3");
    EXPECT_EQ(DALICommandText(95), "remove from scene 15");
    EXPECT_EQ(DALICommandText(96), "add to group 0");
    EXPECT_EQ(DALICommandText(112), "remove from group 0");
    EXPECT_EQ(DALICommandText(128), "store DTR as short address");
    EXPECT_EQ(DALICommandText(144), "query status information");
    EXPECT_EQ(DALICommandText(155), "query power failure");
    EXPECT_EQ(DALICommandText(165), "query fade time / fade rate");
    EXPECT_EQ(DALICommandText(185), "query scene level 9");
    EXPECT_EQ(DALICommandText(193), "query groups 8-15");
    EXPECT_EQ(DALICommandText(196), "query random address (L)");
    EXPECT_EQ(DALICommandText(257), "data transfer register (DTR)");
    EXPECT_EQ(DALICommandText(261), "withdraw");
    EXPECT_EQ(DALICommandText(264), "search addr H");
    EXPECT_EQ(DALICommandText(270), "physical selection");
    EXPECT_EQ(DALICommandText(272), "enable device type X");
    for (std::int16_t n : {-2, 9, 48, 129, 197, 255, 262, 263, 271, 300})
        EXPECT_EQ(DALICommandText(n), "<unkown command> " + std::to_string(n));
}

class CommandStringTest : public testing::Test {
  protected:
    std::string Line(std::int16_t nCommandId, std::uint8_t nData, std::int16_t nAddrType,
                     std::int16_t nAddr) {
        return CreateDALICommandString(t.context, nCommandId, nData, nAddrType, nAddr);
    }
    std::string Stamp() { return DateTimeText(t.scheduler.WallClock()); }
    test::TestContext t;
};

TEST_F(CommandStringTest, AddressTexts) {
    t.scheduler.Sleep(61'000);
    EXPECT_EQ(Line(0, 0, kAddrShort, 5), Stamp() + "   A5      off\r\n");
    EXPECT_EQ(Line(0, 0, kAddrShort, 64), Stamp() + "   <unkown short address> 64   off\r\n");
    EXPECT_EQ(Line(5, 0, kAddrGroup, 3), Stamp() + "   G3      recall max level\r\n");
    EXPECT_EQ(Line(5, 0, kAddrGroup, 16),
              Stamp() + "   <unkown group address> 16   recall max level\r\n");
    EXPECT_EQ(Line(144, 0, kAddrBroadcast, 77),
              Stamp() + "   Bcast   query status information\r\n");
    EXPECT_EQ(Line(0, 0, 7, 1), Stamp() + "   <unkown address type> 7   off\r\n");
    EXPECT_TRUE(t.dialogs.boxes.empty());
}

TEST_F(CommandStringTest, SpecialCommandsHideTheAddressAndShowTheirData) {
    EXPECT_EQ(Line(267, 0x0B, kAddrShort, 3),
              Stamp() + "   *       program short address    --> 0xB\r\n");
    EXPECT_EQ(Line(256, 0x0B, 9, 300), Stamp() + "   *       terminate\r\n");
    EXPECT_EQ(Line(264, 0xFF, kAddrBroadcast, 0),
              Stamp() + "   *       search addr H    --> 0xFF\r\n");
    EXPECT_EQ(Line(257, 0, kAddrBroadcast, 0),
              Stamp() + "   *       data transfer register (DTR)    --> 0x0\r\n");
    EXPECT_EQ(Line(272, 0x1A, kAddrBroadcast, 0),
              Stamp() + "   *       enable device type X    --> 0x1A\r\n");
    EXPECT_EQ(Line(300, 0, kAddrShort, 1), Stamp() + "   *       <unkown command> 300\r\n");
    // The scene text comes from the command number, whatever the data says.
    EXPECT_EQ(Line(112, 5, kAddrBroadcast, 0), Stamp() + "   Bcast   remove from group 0\r\n");
}

TEST(TextHelperTest, DateTimeIsLocalTimeInFixedFields) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 5;
    local.tm_hour = 8;
    local.tm_min = 3;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto t = std::chrono::system_clock::from_time_t(std::mktime(&local));
    EXPECT_EQ(DateTimeText(t), "2026-01-05 08:03:09");
    EXPECT_EQ(DateTimeText(t + std::chrono::milliseconds(999)), "2026-01-05 08:03:09");
}

TEST(TextHelperTest, BinaryHexAndShift) {
    EXPECT_EQ(ByteToBinaryText(0x53), " 0101 0011");
    EXPECT_EQ(ByteToBinaryText(0x1FF), " 1111 1111");
    EXPECT_EQ(ByteToBinaryText(0), " 0000 0000");
    EXPECT_EQ(ByteToHexText(5), "05");
    EXPECT_EQ(ByteToHexText(0xAB), "AB");
    EXPECT_EQ(ByteToHexText(0x1FE), "FE");
    EXPECT_EQ(ShiftLeft(5, 9), 2560);
    EXPECT_EQ(ShiftLeft(-1, 9), -512);
    EXPECT_EQ(ShiftLeft(1, 31), INT32_MIN);
    EXPECT_EQ(ShiftLeft(3, 32), 0);
}

}  // namespace
}  // namespace zd
