// The error convention's box and the log files' encoding, which every procedure shares.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "platform/Error.h"
#include "platform/LogFile.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd {
namespace {

TEST(ErrorConventionTest, ForeignExceptionsShowOneBoxEachAndNothingEscapes) {
    test::TestContext t;
    // Foreign exceptions are reported under the library, in the current language.
    t.messages.SetLanguage(Language::German);
    Guard(t.context, "timerWatchdog_Timer", [] { throw std::out_of_range("index 7"); });
    Guard(t.context, "UserControl_Terminate", [] { throw 42; });
    ASSERT_EQ(t.dialogs.boxes.size(), 2u);
    EXPECT_EQ(t.dialogs.boxes[0].text,
              std::string("Error: timerWatchdog_Timer: index 7\r\nSource: ") + kLibraryTitle +
                  "\r\nNumber: 440");
    EXPECT_EQ(t.dialogs.boxes[0].title, "Systemfehler");
    EXPECT_NE(t.dialogs.boxes[1].text.find("Unknown error"), std::string::npos);
    // Success passes the status through and shows nothing.
    EXPECT_EQ(GuardStatus(t.context, "X", [] { return 258; }), 258);
    EXPECT_EQ(t.dialogs.boxes.size(), 2u);
}

TEST(LogFileTest, WritesUtf16LittleEndianWithByteOrderMarkAndCrLf) {
    const test::TempFolder folder("zd_log_");
    const auto path = folder.Path() / "log.txt";
    {
        LogFile log(path.string());
        log.WriteLine("Aß");
        log.Write("\xF0\x9F\x92\xA1");  // outside the basic plane: a surrogate pair
    }
    const std::string expected(
        "\xFF\xFE"
        "A\0\xDF\0\r\0\n\0"
        "\x3D\xD8\xA1\xDC",
        14);
    EXPECT_EQ(test::ReadFileText(path), expected);
    EXPECT_THROW(LogFile("/nonexistent-folder/zd4270/log.txt"), ControlError);
}

}  // namespace
}  // namespace zd
