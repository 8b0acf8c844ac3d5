// The site file: names follow their gear by random address when addresses move, a replaced gear
// carries its luminaire's name on, no name lands on another gear or is lost; the file is read
// strictly and bounded, and written whole.
#include "engine/SiteFile.h"

#include <fstream>

#include "platform/Error.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd::test {
namespace {

SiteEntry Named(std::int16_t address, std::uint32_t random, const std::string& name) {
    return {1, address, random, name, "2.14", "", ""};
}

std::optional<std::int16_t> AddressOf(const SiteFile& site, const std::string& name) {
    for (const SiteEntry& entry : site.luminaires)
        if (entry.name == name) return entry.shortAddress;
    return std::nullopt;
}

TEST(SiteFileTest, NamesFollowTheirGearAndNoneLandsOnAnotherGear) {
    SiteFile site;
    site.luminaires = {Named(0, 0xA, "desk"),    Named(5, 0xB, "door"),
                       Named(7, 0xC, "window"),  Named(9, 0xD, "gone"),
                       Named(12, 0xE, "silent"), {2, 0, 0xB, "other position", "", "", ""},
                       Named(3, 0xF0, "redrawn")};
    // Desk and door swapped their addresses, window's gear moved to 9 where gone's gear was, and
    // gone's gear is nowhere; silent's gear did not answer.
    const std::vector<SiteGear> line = {{0, 0xB}, {5, 0xA}, {9, 0xC}, {12, std::nullopt}};
    const std::vector<SiteMove> moves = FollowSiteGear(site, 1, line);
    EXPECT_EQ(AddressOf(site, "desk"), 5);
    EXPECT_EQ(AddressOf(site, "door"), 0);
    EXPECT_EQ(AddressOf(site, "window"), 9);
    EXPECT_EQ(AddressOf(site, "gone"), std::nullopt);
    EXPECT_EQ(AddressOf(site, "silent"), 12);
    EXPECT_EQ(AddressOf(site, "other position"), 0);
    // Nobody at its address and its gear nowhere: lost, not left to whichever gear comes there.
    EXPECT_EQ(AddressOf(site, "redrawn"), std::nullopt);
    EXPECT_EQ(site.luminaires.size(), 7u);
    ASSERT_EQ(moves.size(), 5u);
    EXPECT_EQ(moves.back().name, "redrawn");
    EXPECT_EQ(moves.back().why, "lost");

    // The gear found again at a free address takes its name back; a replacement at 12 carries
    // silent's name on with its own random address.
    const std::vector<SiteGear> later = {{0, 0xB}, {5, 0xA}, {9, 0xC}, {20, 0xD}, {12, 0xF}};
    FollowSiteGear(site, 1, later, {12});
    EXPECT_EQ(AddressOf(site, "gone"), 20);
    EXPECT_EQ(AddressOf(site, "silent"), 12);
    EXPECT_EQ(site.Find(1, 12)->randomAddress, 0xFu);
    // Without a replacement another gear at a named address does not take the name.
    FollowSiteGear(site, 1, {{12, 0x42}});
    EXPECT_EQ(AddressOf(site, "silent"), std::nullopt);
}

TEST(SiteFileTest, TheFileReadsBackAndBadInputIsRefusedWithItsPlace) {
    SiteFile site;
    ApplySiteNaming(site, {1, 5, 0x0A0B0C, "2.14 desk \"left\" – Süd", "2.14", "2", "dimmed"});
    ApplySiteNaming(site, {1, 5, std::nullopt, std::nullopt, "2.15", std::nullopt, std::nullopt});
    site.luminaires.push_back({3, std::nullopt, std::nullopt, "unplaced", "", "", ""});
    const std::string text = WriteSiteText(site);
    const SiteFile back = ParseSiteText(text, "site.json");
    ASSERT_EQ(back.luminaires.size(), 2u);
    EXPECT_EQ(back.Find(1, 5)->room, "2.15");
    EXPECT_EQ(back.Find(1, 5)->name, "2.14 desk \"left\" – Süd");
    EXPECT_EQ(back.Find(1, 5)->randomAddress, 0x0A0B0Cu);
    EXPECT_EQ(WriteSiteText(back), text);

    const std::string head = R"({"format": "zd4270-site", "version": 1, "luminaires": [)";
    const std::pair<std::string, std::string> bad[] = {
        {"{", "site.json: "},
        {R"({"format": "zd4270-line-backup", "version": 1, "luminaires": []})",
         "at /format: this is no site file"},
        {R"({"format": "zd4270-site", "version": 2, "luminaires": []})",
         "at /version: version 2 is newer"},
        {head + R"({"position": 1, "shortAddress": 64, "name": "x"}]})",
         "at /luminaires/0/shortAddress: a whole number 0 to 63"},
        {head + R"({"position": 1, "shortAddress": 1, "name": "x", "colour": 1}]})",
         "at /luminaires/0: unknown key \"colour\""},
        {head + R"({"position": 1, "shortAddress": 1, "name": "a\nb"}]})",
         "at /luminaires/0/name: it holds a control character"},
        {head + R"({"position": 1, "shortAddress": 1, "name": "x", "randomAddress": "12"}]})",
         "at /luminaires/0/randomAddress"},
        {head + R"({"position": 1, "shortAddress": 1, "name": "x"},)" +
             R"({"position": 1, "shortAddress": 1, "name": "y"}]})",
         "at /luminaires/1/shortAddress: short address 1 of position 1 is named twice"},
        {head + R"({"position": 1, "shortAddress": 1, "name": "x", "name": "y"}]})",
         "the key \"name\" comes twice"},
    };
    for (const auto& entry : bad) {
        const std::string& input = entry.first;
        const std::string error = ErrorOf([&] { ParseSiteText(input, "site.json"); });
        EXPECT_NE(error.find(entry.second), std::string::npos) << input << "\n" << error;
    }
    EXPECT_NE(ErrorOf([&] {
                  ApplySiteNaming(site, {1, 6, std::nullopt, std::string(201, 'x'), {}, {}, {}});
              }).find("longer than 200 characters"),
              std::string::npos);
}

TEST(SiteFileTest, AFileIsBoundedAndAMissingOneIsAnEmptySite) {
    TempFolder folder("zd4270_site_");
    EXPECT_TRUE(LoadSiteFile(folder.File("none.json")).luminaires.empty());
    {
        std::ofstream big(folder.File("big.json"));
        big << std::string(kSiteInput.limit + 1, ' ');
    }
    EXPECT_NE(ErrorOf([&] { LoadSiteFile(folder.File("big.json")); }).find("4 MB"),
              std::string::npos);
    SiteFile site;
    ApplySiteNaming(site, {1, 5, 0x0A0B0C, "desk", {}, {}, {}});
    SaveSiteFile(folder.File("site.json"), site);
    EXPECT_EQ(LoadSiteFile(folder.File("site.json")).Find(1, 5)->name, "desk");
    EXPECT_EQ(DefaultSitePath("/home/u/.config/zd4270/registry.ini"),
              "/home/u/.config/zd4270/site.json");
}

}  // namespace
}  // namespace zd::test
