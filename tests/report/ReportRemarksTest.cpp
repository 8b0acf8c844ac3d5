// The report's remark column says in the report's language what a device answered: several gear
// on its address, none, a failed lamp, values left unread, a lost connection, or nothing read.
#include <gtest/gtest.h>

#include <string>

#include "report/HandoverReport.h"

namespace zd {
namespace {

// The CSV row of one device as the report reads it, without its levels.
std::string RowOf(const Json& device, Language language) {
    const Json station = {
        {"station", "s.xml"},
        {"terminals", Json::array({{{"position", 1}, {"coupler", "K"}, {"devices", {device}}}})}};
    const std::string csv = ReportCsv(station, language);
    return csv.substr(csv.find("\r\n") + 2);
}

TEST(ReportRemarksTest, TheRemarkNamesWhatTheDeviceAnswered) {
    const Json answered = {{"shortAddress", 4},         {"conflict", false},
                           {"problems", Json::array()}, {"groups", Json::array()},
                           {"scenes", Json::object()},  {"answered", true},
                           {"answer", "answered"},      {"lampFailure", false}};
    struct Case {
        Json change;
        const char* english;
        const char* german;
    };
    const Case cases[] = {
        {Json::object(), ",no,yes,\r\n", ";nein;ja;\r\n"},
        {{{"lampFailure", true}}, ",no,yes,lamp failure\r\n", ";nein;ja;Lampenfehler\r\n"},
        {{{"answered", false}, {"answer", "silent"}},
         ",no,no,does not answer\r\n",
         ";nein;nein;antwortet nicht\r\n"},
        {{{"conflict", true}, {"answered", false}, {"answer", "conflict"}},
         ",yes,no,several gear share this address\r\n",
         ";ja;nein;mehrere Betriebsgeräte teilen sich diese Adresse\r\n"},
        {{{"answer", "partly"}, {"lampFailure", true}},
         ",no,yes,lamp failure; not every value could be read\r\n",
         ";nein;ja;\"Lampenfehler; nicht alle Werte konnten gelesen werden\"\r\n"},
        {{{"answer", "link-lost"}},
         ",no,yes,the connection was lost while reading\r\n",
         ";nein;ja;die Verbindung brach beim Lesen ab\r\n"},
    };
    for (const Case& c : cases) {
        Json device = answered;
        device.update(c.change);
        EXPECT_TRUE(RowOf(device, Language::English).ends_with(c.english))
            << RowOf(device, Language::English);
        EXPECT_TRUE(RowOf(device, Language::German).ends_with(c.german))
            << RowOf(device, Language::German);
    }
    // A device the report could not read at all: why, in the words of the reading.
    const Json unread = {{"shortAddress", 4},
                         {"conflict", false},
                         {"problems", {"no device answers at address 4"}},
                         {"answered", false}};
    EXPECT_TRUE(RowOf(unread, Language::English)
                    .ends_with(",?,?,?,?,no,no,no device answers at address 4\r\n"))
        << RowOf(unread, Language::English);
}

}  // namespace
}  // namespace zd
