// The Qt tests need an application object before any widget: the offscreen platform unless the
// caller chose one, the window's look, then the tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    zd::ApplyClassicLook(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
