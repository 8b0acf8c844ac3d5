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

}  // namespace
}  // namespace zd
