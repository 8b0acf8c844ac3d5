// The conversions every page displays and the reading of a number box.
#include <gtest/gtest.h>

#include "pages/PageSupport.h"
#include "platform/Error.h"

namespace zd {
namespace {

TEST(PageSupportTest, LevelsFollowTheLogarithmicCurve) {
    EXPECT_EQ(GetPercentString(0), "0");
    EXPECT_EQ(GetPercentString(1), "0.1");
    EXPECT_EQ(GetPercentString(2), "0.103");
    EXPECT_EQ(GetPercentString(128), "3.206");
    EXPECT_EQ(GetPercentString(254), "100");
    EXPECT_EQ(GetPercentString(255), "MASK");
    EXPECT_EQ(GetPercentString(300), "MASK");
    EXPECT_EQ(LevelPercentText(0), "0 %");
    EXPECT_EQ(LevelPercentText(254), "100 %");
    EXPECT_EQ(LevelPercentText(255), "MASK");
}

TEST(PageSupportTest, FadeRateAndFadeTimeTextsOutsideTheirRangesAreEmpty) {
    EXPECT_EQ(FadeRateText(1), "357.8");
    EXPECT_EQ(FadeRateText(7), "44.7");
    EXPECT_EQ(FadeRateText(15), "2.8");
    EXPECT_EQ(FadeRateText(0), "");
    EXPECT_EQ(FadeRateText(16), "");
    EXPECT_EQ(FadeTimeText(0), "0.5");
    EXPECT_EQ(FadeTimeText(1), "0.7");
    EXPECT_EQ(FadeTimeText(4), "2");
    EXPECT_EQ(FadeTimeText(15), "90.5");
    EXPECT_EQ(FadeTimeText(-1), "");
}

TEST(PageSupportTest, BoxTextTellsNumbersEmptyAndOtherTextApart) {
    EXPECT_EQ(ReadBoxText("007").kind, BoxTextKind::Numeric);
    EXPECT_EQ(ReadBoxText("007").value, 7);
    EXPECT_EQ(ReadBoxText("").kind, BoxTextKind::Empty);
    EXPECT_EQ(ReadBoxText("12a").kind, BoxTextKind::Other);
    EXPECT_THROW(ReadBoxText("40000"), ControlError);
}

}  // namespace
}  // namespace zd
