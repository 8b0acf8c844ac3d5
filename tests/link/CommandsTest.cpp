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

TEST(CommandWordTest, AddressByteSelectorBitAndDataOfTheCatalogue) {
    struct Case {
        std::int16_t nCommandId;
        std::uint8_t nData;
        AddressKind nAddrType;
        std::int16_t nAddr;
        std::optional<std::uint16_t> word;
        std::uint8_t dataAfter;
    };
    const Case cases[] = {
        {kCmdRecallMaxLevel, 0, AddressKind::Short, 3, 0x0705, 0},
        {kCmdRecallMaxLevel, 0, AddressKind::Group, 2, 0x8505, 0},
        {kCmdQueryStatus, 0, AddressKind::Group, 15, 0x9F90, 0},
        // Broadcast ignores whatever address comes with it, negative ones included.
        {kCmdOff, 0, AddressKind::Broadcast, -1, 0xFF00, 0},
        {kCmdOff, 0, AddressKindFromNumber(3), 0, std::nullopt, 0},
        // DIRECT ARC POWER: the level with the selector bit clear.
        {kCmdDirectArcPower, 254, AddressKind::Short, 63, 0x7EFE, 254},
        {kCmdDirectArcPower, 0, AddressKind::Group, 15, 0x9E00, 0},
        // GO TO SCENE takes the scene from the data; no scene: scene 0, the data left as it was.
        {kCmdGoToScene, 7, AddressKind::Short, 0, 0x0117, 7},
        {kCmdGoToScene, 20, AddressKind::Short, 0, 0x0110, 20},
        // 17..31 name the scene themselves and overwrite the data.
        {20, 99, AddressKind::Short, 0, 0x0114, 4},
        {kCmdStoreDtrAsScene, 0x23, AddressKind::Short, 1, 0x0343, 3},
        // Inside a range the group comes from the data, not from the number.
        {kCmdAddToGroup + 3, 9, AddressKind::Short, 0, 0x0169, 9},
        {kCmdStoreDtrAsShortAddress, 0x77, AddressKind::Short, 0, 0x0180, 0x77},
    };
    for (const Case& c : cases) {
        std::uint8_t nData = c.nData;
        EXPECT_EQ(BuildDALICommandWord(c.nCommandId, nData, c.nAddrType, c.nAddr), c.word)
            << c.nCommandId << " data " << int(c.nData) << " type "
            << AddressKindNumber(c.nAddrType);
        EXPECT_EQ(nData, c.dataAfter) << c.nCommandId;
    }
}

TEST(CommandWordTest, SpecialCommandsReplaceTheWholeWord) {
    const std::pair<std::int16_t, std::optional<std::uint16_t>> cases[] = {
        {256, 0xA100}, {257, 0xA30B}, {259, 0xA700}, {261, 0xAB00}, {262, {}}, {263, {}},
        {264, 0xB10B}, {267, 0xB70B}, {269, 0xBB00}, {270, 0xBD00}, {271, {}}, {272, {}},
    };
    for (const auto& [nCommandId, word] : cases) {
        for (AddressKind nAddrType :
             {AddressKind::Short, AddressKind::Group, AddressKind::Broadcast}) {
            std::uint8_t nData = 0x0B;
            EXPECT_EQ(BuildDALICommandWord(nCommandId, nData, nAddrType, 9), word)
                << nCommandId << " type " << AddressKindNumber(nAddrType);
            EXPECT_EQ(nData, 0x0B);
        }
    }
    // Numbers outside the catalogue are not sent; the edges of its ranges are.
    for (std::int16_t n : std::initializer_list<std::int16_t>{
             -2, 9, 15, 34, 41, 48, 129, 143, 156, 159, 166, 175, 197, 255, 273, 32767}) {
        std::uint8_t nData = 1;
        EXPECT_EQ(BuildDALICommandWord(n, nData, AddressKind::Short, 1), std::nullopt) << n;
    }
    for (std::int16_t n :
         std::initializer_list<std::int16_t>{8, 32, 33, 42, 47, 144, 155, 160, 165, 192, 196}) {
        std::uint8_t nData = 1;
        EXPECT_EQ(BuildDALICommandWord(n, nData, AddressKind::Short, 1), 0x0300 | n) << n;
    }
}

TEST(CommandWordTest, AddressCheckBoundaries) {
    const std::tuple<AddressKind, std::int16_t, Result> cases[] = {
        {AddressKind::Short, 0, Result::Done},
        {AddressKind::Short, 63, Result::Done},
        {AddressKind::Short, 64, Result::BadAddress},
        {AddressKind::Short, -1, Result::BadAddress},
        {AddressKind::Group, 15, Result::Done},
        {AddressKind::Group, 16, Result::BadGroup},
        {AddressKind::Group, -1, Result::BadGroup},
        {AddressKind::Broadcast, -300, Result::Done},
        {AddressKindFromNumber(-1), 0, Result::BadAddrType},
        {AddressKindFromNumber(7), 0, Result::BadAddrType},
    };
    for (const auto& [type, address, result] : cases)
        EXPECT_EQ(CheckDALIAddress(type, address), result)
            << AddressKindNumber(type) << "/" << address;
}

TEST(CommandTextTest, NumberedRangesAndUnknownNumbers) {
    // The number in a text of a range comes from the command number.
    // clang-format off
    const std::pair<std::int16_t, const char*> cases[] = {
        {16, "go to scene 0"}, {31, "go to scene 15"}, {67, "store the DTR as scene 3"},
        {95, "remove from scene 15"}, {112, "remove from group 0"}, {185, "query scene level 9"}};
    // clang-format on
    for (const auto& [n, text] : cases) EXPECT_EQ(DALICommandText(n), text) << n;
    for (std::int16_t n : std::initializer_list<std::int16_t>{-2, 9, 197, 262, 271, 300})
        EXPECT_EQ(DALICommandText(n), "<unkown command> " + std::to_string(n));
}

TEST(CommandStringTest, AddressTextsAndSpecialCommandsWithTheirData) {
    test::TestContext t;
    t.scheduler.Sleep(61'000);
    const std::string stamp = DateTimeText(t.scheduler.WallClock());
    struct Case {
        std::int16_t nCommandId;
        std::uint8_t nData;
        AddressKind nAddrType;
        std::int16_t nAddr;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, AddressKind::Short, 5, "A5      off"},
        {5, 0, AddressKind::Group, 3, "G3      recall max level"},
        {144, 0, AddressKind::Broadcast, 77, "Bcast   query status information"},
        // Special commands hide the address and show their data.
        {267, 0x0B, AddressKind::Short, 3, "*       program short address    --> 0xB"},
        {264, 0xFF, AddressKind::Broadcast, 0, "*       search addr H    --> 0xFF"},
        // The group text comes from the command number, whatever the data says.
        {112, 5, AddressKind::Broadcast, 0, "Bcast   remove from group 0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateDALICommandString(t.context, c.nCommandId, c.nData, c.nAddrType, c.nAddr),
                  stamp + "   " + c.text + "\r\n");
    }
    EXPECT_TRUE(t.dialogs.boxes.empty());
}

TEST(TextHelperTest, DateTimeBinaryHexAndShift) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mday = 5;
    local.tm_hour = 8;
    local.tm_min = 3;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto t = std::chrono::system_clock::from_time_t(std::mktime(&local));
    EXPECT_EQ(DateTimeText(t + std::chrono::milliseconds(999)), "2026-01-05 08:03:09");
    EXPECT_EQ(ByteToBinaryText(0x153), " 0101 0011");
    EXPECT_EQ(ByteToHexText(5), "05");
    EXPECT_EQ(ByteToHexText(0x1FE), "FE");
    EXPECT_EQ(ShiftLeft(-1, 9), -512);
    EXPECT_EQ(ShiftLeft(1, 31), INT32_MIN);
    EXPECT_EQ(ShiftLeft(3, 32), 0);
}

}  // namespace
}  // namespace zd
