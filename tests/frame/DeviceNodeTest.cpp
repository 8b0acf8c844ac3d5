// Reading one process-data variable, the position and the byte order from a device node, down to
// the odd offset texts a hand-edited station document may hold.
#include "support/ControlRig.h"
#include "frame/DeviceNode.h"

namespace zd::test {
namespace {

struct Read {
    std::int32_t status;
    ProcessImageEntry entry;
};

Read ReadVariable(const std::string& attributes) {
    XmlDocument doc;
    EXPECT_TRUE(doc.LoadXml("<Device><ProcessData><Channel><Variable Dir=\"INPUT\" " + attributes +
                            "/></Channel></ProcessData></Device>"));
    Read read{};
    read.entry = {7, 7, 7};  // whatever an earlier call left
    read.status = ReadChannelVariable(doc.DocumentElement(), "INPUT", read.entry);
    return read;
}

void ExpectEntry(const Read& read, std::int32_t status, std::int32_t word, std::int32_t bit,
                 std::int32_t table) {
    EXPECT_EQ(read.status, status);
    EXPECT_EQ(read.entry.nWordOffset, word);
    EXPECT_EQ(read.entry.nBitOffset, bit);
    EXPECT_EQ(read.entry.nTableNumber, table);
}

TEST(DeviceNodeTest, OffsetTextsAndTables) {
    ExpectEntry(ReadVariable("Offset=\"3.8\" Table=\"2\""), 0, 3, 8, 2);
    ExpectEntry(ReadVariable("Offset=\".8\" Table=\"2\""), 0, -1, 8, 2);
    ExpectEntry(ReadVariable("Offset=\"3.\" Table=\"\""), 0, 3, -1, -1);
    ExpectEntry(ReadVariable("Offset=\" 12 . 0 \" Table=\"1\""), 0, 12, 0, 1);
    // No point: a read error after the word offset was stored.
    ExpectEntry(ReadVariable("Offset=\"38\" Table=\"2\""), 1, 38, -1, -1);
    ExpectEntry(ReadVariable("Table=\"2\""), 1, -1, -1, -1);
    ExpectEntry(ReadVariable("Offset=\"1.0\""), 1, 1, 0, -1);
    EXPECT_THROW(ReadVariable("Offset=\"1.x\" Table=\"2\""), ControlError);
    EXPECT_THROW(ReadVariable("Offset=\"1.0\" Table=\"T\""), ControlError);
    EXPECT_THROW(ReadVariable("Offset=\"99999999999.0\" Table=\"0\""), ControlError);
}

TEST(DeviceNodeTest, AbsentNodeOrVariableIsAReadError) {
    ProcessImageEntry entry{1, 2, 3};
    EXPECT_EQ(ReadChannelVariable(XmlNode(), "STATUS", entry), kNodeReadError);
    EXPECT_EQ(entry.nWordOffset, -1);
    XmlDocument doc;
    ASSERT_TRUE(
        doc.LoadXml("<Device><ProcessData><Channel><Variable Dir=\"status\" Offset=\"0.0\" "
                    "Table=\"0\"/></Channel></ProcessData></Device>"));
    // Direction names are matched exactly.
    EXPECT_EQ(ReadChannelVariable(doc.DocumentElement(), "STATUS", entry), kNodeReadError);
}

TEST(DeviceNodeTest, PositionNameAndByteOrder) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.LoadXml("<S><C><ProcessDataGlobal EndianFormat=\"MoToRoLa\"/>"
                    "<D Pos=\" 4 \" Name=\"T\"/><D Pos=\"\"/><D Pos=\"2.5\"/></C>"
                    "<C><D/></C></S>"));
    std::vector<XmlNode> nodes = doc.DocumentNode().SelectNodes("S/C/D");
    ASSERT_EQ(nodes.size(), 4u);
    std::int32_t pos = 99;
    EXPECT_EQ(ReadDevicePos(nodes[0], pos), 0);
    EXPECT_EQ(pos, 4);
    ReadDevicePos(nodes[1], pos);
    EXPECT_EQ(pos, -1);
    ReadDevicePos(nodes[2], pos);
    EXPECT_EQ(pos, 2);  // rounded half to even
    ReadDevicePos(XmlNode(), pos);
    EXPECT_EQ(pos, -1);
    std::string name = "x";
    ReadDeviceDesc(nodes[0], name);
    EXPECT_EQ(name, "T");
    ReadDeviceDesc(nodes[3], name);
    EXPECT_EQ(name, "");
    EXPECT_TRUE(ReadMotorolaFormat(nodes[0]));
    EXPECT_FALSE(ReadMotorolaFormat(nodes[3]));
    EXPECT_FALSE(ReadMotorolaFormat(XmlNode()));
}

TEST(DeviceNodeTest, FirmwareAndOffsetTexts) {
    EXPECT_EQ(FirmwareVersionText(0x314D), "0x314D  (1M)");
    EXPECT_EQ(FirmwareVersionText(0x0041), "0x41  (.A)");
    EXPECT_EQ(StatusOffsetText({3, 8, 0}), "7 [Byte]");
    EXPECT_EQ(StatusOffsetText({0, 0, 0}), "0 [Byte]");
    EXPECT_EQ(StatusOffsetText({-1, -1, -1}), "-2 [Byte]");
}

}  // namespace
}  // namespace zd::test
