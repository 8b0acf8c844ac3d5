// The conversions every page displays and the reading of a number box.
#include <gtest/gtest.h>

#include "pages/PageSupport.h"
#include "platform/Error.h"

namespace zd {
namespace {

TEST(PageSupportTest, TextsAtTheEndsOfTheirRangesAndTheReadingOfABox) {
    EXPECT_EQ(GetPercentString(1), "0.1");
    EXPECT_EQ(FadeRateText(15), "2.8");
    EXPECT_EQ(FadeRateText(16), "");
    EXPECT_EQ(FadeTimeText(0), "0.5");
    EXPECT_EQ(FadeTimeText(15), "90.5");
    EXPECT_EQ(FadeTimeText(-1), "");
    EXPECT_THROW(ReadBoxText("40000"), ControlError);
}

// The value editor's box in a range that does not start at 0 (the fade rate's).
TEST(PageSupportTest, EditorBoxClampsReplacesOrRefusesItsText) {
    struct Case {
        const char* typed;
        int value;
        bool overflow;
        const char* shown;
    };
    for (const Case& c :
         {Case{"20", 15, false, "15"}, Case{"0", 1, false, "1"}, Case{"abc", 1, false, "0"},
          Case{"", 1, false, ""}, Case{"40000", 0, true, "0"}}) {
        TextBox box("txtValue", c.typed);
        const EditorBoxValue read = ReadEditorBox(box, 1, 15, 2);
        EXPECT_EQ(read.value, c.value) << c.typed;
        EXPECT_EQ(read.overflow, c.overflow) << c.typed;
        EXPECT_EQ(box.Text(), c.shown) << c.typed;
    }
}

}  // namespace
}  // namespace zd
