// Reading one process-data variable, the position and the byte order from a device node, down to
// the odd offset texts a hand-edited station document may hold.
#include "engine/TerminalNode.h"
#include "support/ControlRig.h"

namespace zd::test {
namespace {

// Status, word, bit and table read for INPUT from the variable's attributes.
std::array<std::int32_t, 4> ReadInput(const std::string& attributes) {
    XmlDocument doc;
    EXPECT_TRUE(doc.LoadXml("<Device><ProcessData><Channel><Variable Dir=\"INPUT\" " + attributes +
                            "/></Channel></ProcessData></Device>"));
    ProcessImageEntry entry{7, 7, 7};  // whatever an earlier call left
    const std::int32_t status = ReadChannelVariable(doc.DocumentElement(), "INPUT", entry);
    return {status, entry.nWordOffset, entry.nBitOffset, entry.nTableNumber};
}

TEST(DeviceNodeTest, OffsetTextsAndTables) {
    using R = std::array<std::int32_t, 4>;
    EXPECT_EQ(ReadInput("Offset=\".8\" Table=\"2\""), (R{0, -1, 8, 2}));
    EXPECT_EQ(ReadInput("Offset=\"3.\" Table=\"\""), (R{0, 3, -1, -1}));
    // No table: a read error after the offsets were stored.
    EXPECT_EQ(ReadInput("Offset=\"1.0\""), (R{1, 1, 0, -1}));
    // A number that is not plain decimal is refused with its part and direction.
    const std::pair<const char*, const char*> refused[] = {
        {"Offset=\" 12.0\" Table=\"1\"",
         "the word offset in \"Offset\" of the INPUT variable is \" 12\""},
        {"Offset=\"1.08\" Table=\"1\"",
         "the bit offset in \"Offset\" of the INPUT variable is \"08\""},
        {"Offset=\"1.8\" Table=\"+1\"", "Type mismatch: \"Table\" of the INPUT variable is \"+1\""},
        {"Offset=\"99999999999.0\" Table=\"0\"", "Overflow: the word offset"},
    };
    for (const auto& [attributes, message] : refused) {
        // clang 14 cannot capture a structured binding itself; an init-capture names it.
        const std::string error = ErrorOf([&attributes = attributes] { ReadInput(attributes); });
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }

    // An absent node, or a direction in another case, is a read error.
    ProcessImageEntry entry{1, 2, 3};
    EXPECT_EQ(ReadChannelVariable(XmlNode(), "STATUS", entry), kNodeReadError);
    EXPECT_EQ(entry.nWordOffset, -1);
    XmlDocument doc;
    ASSERT_TRUE(
        doc.LoadXml("<D><ProcessData><Channel><Variable Dir=\"input\" Offset=\"0.0\" "
                    "Table=\"0\"/></Channel></ProcessData></D>"));
    EXPECT_EQ(ReadChannelVariable(doc.DocumentElement(), "INPUT", entry), kNodeReadError);
}

TEST(DeviceNodeTest, PositionNameByteOrderAndLabelTexts) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.LoadXml("<S><C><ProcessDataGlobal EndianFormat=\"MoToRoLa\"/>"
                    "<D Pos=\"4\" Name=\"T\"/><D Pos=\"\"/><D Pos=\"2.5\"/></C>"
                    "<C><D/></C></S>"));
    std::vector<XmlNode> nodes = doc.DocumentNode().SelectNodes("S/C/D");
    ASSERT_EQ(nodes.size(), 4u);
    std::int32_t pos = 99;
    EXPECT_EQ(ReadDevicePos(nodes[0], pos), 0);
    EXPECT_EQ(pos, 4);
    ReadDevicePos(nodes[1], pos);
    EXPECT_EQ(pos, -1);
    ReadDevicePos(nodes[2], pos);
    EXPECT_EQ(pos, -1);  // no decimal integer
    std::string name = "x";
    ReadDeviceDesc(nodes[3], name);
    EXPECT_EQ(name, "");
    EXPECT_TRUE(ReadMotorolaFormat(nodes[0]));
    EXPECT_FALSE(ReadMotorolaFormat(nodes[3]));

    EXPECT_EQ(StatusOffsetText({3, 8, 0}), "7 [Byte]");
    EXPECT_EQ(StatusOffsetText({-1, -1, -1}), "-2 [Byte]");
}

}  // namespace
}  // namespace zd::test
