// Forward frames read back into the catalogue's numbers and texts: every word the control builds
// decodes to the command and address it was built from, and the texts of the frame log.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "link/Commands.h"
#include "link/ForwardFrames.h"

namespace zd {
namespace {

TEST(ForwardFramesTest, EveryBuiltWordDecodesToItsCommandAndAddress) {
    int checked = 0;
    for (int id = kCmdDirectArcPower; id <= kCmdPhysicalSelection; ++id) {
        const auto command = static_cast<std::int16_t>(id);
        for (const AddressKind kind :
             {AddressKind::Short, AddressKind::Group, AddressKind::Broadcast}) {
            const std::int16_t address = kind == AddressKind::Short ? 37 : 11;
            std::uint8_t data = 9;
            const auto word = BuildDALICommandWord(command, data, kind, address);
            if (!word) continue;
            SCOPED_TRACE(DALICommandText(command) + " " + std::to_string(*word));
            const DecodedFrame frame = DecodeForwardFrame(*word);
            ASSERT_TRUE(frame.nCommandId.has_value());
            // The ranges numbered from the data byte name their scene or group in the word.
            EXPECT_EQ(SentDALICommandText(command, *word), DALICommandText(*frame.nCommandId));
            if (command < kCmdTerminate) {
                EXPECT_EQ(frame.nAddrType, kind);
                if (kind != AddressKind::Broadcast) {
                    EXPECT_EQ(frame.nAddr, address);
                }
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 400);
}

TEST(ForwardFramesTest, TextsOfTheFrameLog) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0BA0, "A5 query actual level"},
        {0x0AFE, "A5 direct arc power 254"},
        {0x0AFF, "A5 direct arc power mask"},
        {0xFF05, "Bcast recall max level"},
        {0xFE00, "Bcast direct arc power 0"},
        {0x8714, "G3 go to scene 4"},
        {0x0163, "A0 add to group 3"},
        {0xA3C8, "* data transfer register (DTR) 200"},
        {0xA500, "* initialise all"},
        {0xA5FF, "* initialise without short address"},
        {0xA50B, "* initialise A5"},
        {0xA100, "* terminate"},
        {0xB15F, "* search addr H 0x5F"},
        {0xB70B, "* program short address 5"},
        {0xB7FF, "* program short address mask"},
        {0xB90B, "* verify short address 5"},
        {0xC106, "* enable device type X 6"},
        {0x0B0A, "A5 command 0x0A (not in the catalogue)"},
        {0xAD00, "reserved address byte 0xAD, data 0x00"},
        {0xE312, "reserved address byte 0xE3, data 0x12"},
    };
    for (const auto& [word, text] : cases) EXPECT_EQ(ForwardFrameText(word), text) << word;
    EXPECT_FALSE(DecodeForwardFrame(0xAD00).nCommandId.has_value());
    EXPECT_EQ(DecodeForwardFrame(0x9F90).nAddrType, AddressKind::Group);
    EXPECT_EQ(DecodeForwardFrame(0x9F90).nAddr, 15);
}

}  // namespace
}  // namespace zd
