// The console's progress line: what it prints as a run reports its part done.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/ProgressLine.h"
#include "platform/VirtualScheduler.h"

namespace zd {
namespace {

// A search that starts a further round reports a smaller part done; the line does not go back.
TEST(ProgressLineTest, ThePartShownNeverGoesBack) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    VirtualScheduler clock;
    ProgressLine line(out, clock, true);
    for (const double fraction : {0.39, 0.0, 0.43}) {
        line.Update({"random addressing", "", fraction, Language::English});
        clock.RunUntil([] { return false; }, 1000);
    }
    line.End();
    std::rewind(out);
    std::string text;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out))
        text.push_back(static_cast<char>(c));
    std::fclose(out);
    EXPECT_NE(text.find("39 %"), std::string::npos) << text;
    EXPECT_NE(text.find("43 %"), std::string::npos) << text;
    EXPECT_EQ(text.find(", 0 %"), std::string::npos) << text;
}

}  // namespace
}  // namespace zd
