// The progress line's text: the estimate of the time left from the share done so far.
#include <gtest/gtest.h>

#include "frame/ControlProgress.h"

namespace zd {
namespace {

TEST(ProgressTest, TheTimeLeftFollowsThePaceSoFar) {
    struct Case {
        ProgressState state;
        std::int64_t elapsedMs;
        std::string text;
    };
    const Case cases[] = {
        // A quarter in a minute: three more minutes.
        {{"scan", "address 16", 0.25},
         60'000,
         "scan: address 16, 25 %, about 3 min 0 s left (1 min 0 s so far)"},
        // Too early to tell, and a procedure that cannot tell at all.
        {{"scan", "address 0", 0.0}, 50, "scan: address 0, 0 % (0 s so far)"},
        {{"random addressing", "running", std::nullopt},
         3'725'000,
         "random addressing: running (1 h 2 min so far)"},
        {{"archive", "", 1.0}, 8'400, "archive, 100 % (8 s so far)"},
        // In the control's language.
        {{"Gerätesuche", "Adresse 16", 0.25, Language::German},
         60'000,
         "Gerätesuche: Adresse 16, 25 %, noch etwa 3 min 0 s (bisher 1 min 0 s)"},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressText(c.state, c.elapsedMs), c.text);
}

}  // namespace
}  // namespace zd
