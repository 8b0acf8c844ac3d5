// The XML wrapper: the first parse error with its position, no loading of anything outside the
// text and XPath selection relative to a node (files: the archive tests).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Error.h"
#include "platform/Xml.h"
#include "support/Examples.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

TEST(XmlTest, SelectsRelativeToANodeReadsAttributesAndSerialises) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(R"(<?xml version="1.0"?><Station>
  <Coupler Name="K1"><ProcessDataGlobal EndianFormat="Motorola"/>
    <Device Pos="1" Name="A"><ProcessData><Channel>
      <Variable Dir="STATUS" Offset="0.0" Table="0"/><Variable Dir="INPUT" Offset="0.8" Table="0"/>
    </Channel></ProcessData></Device>
    <Device Pos="2" Name="B"/></Coupler></Station>)"));
    XmlNode device = doc.DocumentNode().SelectSingleNode("Station/Coupler/Device[@Pos='1']");
    ASSERT_TRUE(device);
    EXPECT_EQ(device.Attribute("Name"), "A");
    EXPECT_FALSE(device.Attribute("Missing").has_value());
    EXPECT_EQ(
        device.SelectSingleNode("ProcessData/Channel/Variable[@Dir='INPUT']").Attribute("Offset"),
        "0.8");
    EXPECT_EQ(device.SelectNodes("ProcessData/Channel/Variable").size(), 2u);
    // From a device node, its parent holds the byte order.
    EXPECT_EQ(device.Parent().SelectSingleNode("ProcessDataGlobal").Attribute("EndianFormat"),
              "Motorola");
    // A null node answers every question with nothing.
    XmlNode none = device.SelectSingleNode("Nothing");
    EXPECT_FALSE(none.SelectSingleNode("x"));
    EXPECT_EQ(none.Text(), "");

    // A node serialises as the whole element, without the declaration.
    ASSERT_TRUE(
        doc.LoadXml("<?xml version=\"1.0\"?><Params><UserData>3</UserData>"
                    "<CompanyId>2</CompanyId></Params>"));
    EXPECT_EQ(doc.DocumentElement().Xml(),
              "<Params><UserData>3</UserData><CompanyId>2</CompanyId></Params>");
    EXPECT_THROW(doc.DocumentNode().SelectSingleNode("a[@x='"), ControlError);
}

TEST(XmlTest, MalformedAndTruncatedTextsReportTheFirstErrorWithItsPlace) {
    XmlDocument doc;
    // The mismatched end tag on line 2 is the first error; the parser goes on to find more.
    EXPECT_FALSE(doc.LoadXml("<a>\n  <b></c>\n</a><d", "mem.xml"));
    ASSERT_TRUE(doc.ParseError().has_value());
    const XmlParseError& e = *doc.ParseError();
    EXPECT_EQ(e.line, 2);
    EXPECT_GT(e.linePos, 0);
    EXPECT_NE(e.reason.find("mismatch"), std::string::npos) << e.reason;
    EXPECT_EQ(e.srcText, "  <b></c>");
    EXPECT_EQ(e.url, "mem.xml");
    EXPECT_FALSE(doc.IsLoaded());

    // A good parse clears the previous error.
    EXPECT_TRUE(doc.LoadXml("<ok/>"));
    EXPECT_FALSE(doc.ParseError().has_value());
}

TEST(XmlTest, AnExternalDtdIsNeverLoaded) {
    const test::TempFolder folder("zd_xml_");
    XmlDocument doc;
    // Its entity stays undeclared, which fails the parse.
    const fs::path dtd = folder.Path() / "d.dtd";
    std::ofstream(dtd) << "<!ENTITY y \"FROMDTD\">";
    EXPECT_FALSE(doc.LoadXml("<!DOCTYPE r SYSTEM \"" + dtd.string() + "\"><r>&y;</r>"));
    ASSERT_TRUE(doc.ParseError());
    EXPECT_NE(doc.ParseError()->reason.find("'y'"), std::string::npos) << doc.ParseError()->reason;
}

}  // namespace
}  // namespace zd
