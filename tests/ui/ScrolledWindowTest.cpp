// The scrolled window's bars: which a content needs, where they sit, and scrolling that moves the
// visible children (lines by both end points) and brings them back.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "ui/Label.h"
#include "ui/ScrolledWindow.h"

namespace zd {
namespace {

// Bars are 255 twips thick; the horizontal one sits 50 twips above the bottom edge.
class ScrolledWindowTest : public ::testing::Test {
  protected:
    ScrolledWindowTest() { window.Move(0, 0, 1000, 800); }
    Label& AddLabel(double left, double top, double width, double height) {
        auto& label = labels.emplace_back(std::make_unique<Label>("lbl"));
        label->Move(left, top, width, height);
        window.AddChild(*label);
        return *label;
    }
    ScrolledWindow window{"ScrolledWindow1"};
    ScrollBar& hbar = window.HorizontalBar();
    ScrollBar& vbar = window.VerticalBar();
    std::vector<std::unique_ptr<Label>> labels;
};

// Which bars a content of a given size needs in the 1000 x 800 window, and their measures.
TEST_F(ScrolledWindowTest, BarsFollowTheContentSizeInTwoSteps) {
    struct Case {
        const char* what;
        double width, height;
        bool h, v;
        double hWidth, hMax, vHeight, vMax;
    };
    const Case cases[] = {
        {"fits", 900, 800, false, false, 0, 0, 0, 0},
        {"wider, not taller", 1500, 545, true, false, 1000, 500, 0, 0},
        {"horizontal makes vertical necessary", 1500, 546, true, true, 745, 755, 545, 1},
        {"vertical makes horizontal necessary", 900, 1200, true, true, 745, 155, 545, 655},
        {"fits the narrowed width", 745, 1200, false, true, 0, 0, 800, 400},
        {"maximum rounded half to even", 1501.5, 100, true, false, 1000, 502, 0, 0},
        {"maximum limited to 16 bit", 100000, 100, true, false, 1000, 32767, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Label& label = AddLabel(0, 0, c.width, c.height);
        window.ArrangeConstituentControls();
        EXPECT_EQ(hbar.Visible(), c.h);
        EXPECT_EQ(vbar.Visible(), c.v);
        EXPECT_EQ(window.Corner().Visible(), c.h && c.v);
        if (c.h) {
            EXPECT_EQ(hbar.Top(), 800 - 255 - 50);
            EXPECT_EQ(hbar.Width(), c.hWidth);
            EXPECT_EQ(hbar.Max(), c.hMax);
        }
        if (c.v) {
            EXPECT_EQ(vbar.Left(), 745);
            EXPECT_EQ(vbar.Height(), c.vHeight);
            EXPECT_EQ(vbar.Max(), c.vMax);
            EXPECT_EQ(vbar.LargeChange(), c.vHeight);
        }
        label.SetVisible(false);  // invisible children neither count nor move
    }
    // The corner box has no margin, unlike the horizontal bar.
    EXPECT_EQ(window.Corner().Top(), 545);
}

TEST_F(ScrolledWindowTest, ContainerTooSmallForABarLeavesItWhereItWas) {
    Label& label = AddLabel(0, 0, 100, 1200);
    window.Move(0, 0, 200, 800);
    const double widthBefore = hbar.Width();
    window.ArrangeConstituentControls();
    EXPECT_FALSE(hbar.Visible());
    EXPECT_EQ(hbar.Width(), widthBefore);
    EXPECT_TRUE(vbar.Visible());
    EXPECT_FALSE(window.Corner().Visible());

    // The same for the vertical bar when the horizontal one leaves no height.
    label.Move(0, 0, 1500, 100);
    window.Resize(1000, 200);
    EXPECT_TRUE(hbar.Visible());
    EXPECT_EQ(vbar.Left(), 200 - 255);
    EXPECT_EQ(vbar.Height(), 545);
}

TEST_F(ScrolledWindowTest, ScrollingBackAndForthReturnsEveryControlLinesByBothEnds) {
    Label& hidden = AddLabel(0, 0, 5000, 5000);
    hidden.SetVisible(false);
    Label& label = AddLabel(100, 120, 2000, 300);
    Line line("Line1", 50, 1500, 1800, 60);
    window.AddChild(line);
    window.ArrangeConstituentControls();
    EXPECT_EQ(hbar.Max(), 2100 - 745);
    EXPECT_EQ(vbar.Max(), 1500 - 545);

    hbar.SetValue(300);
    vbar.DragTo(100);
    EXPECT_EQ(label.Left(), -200);
    EXPECT_EQ(label.Top(), 20);
    EXPECT_EQ(hidden.Left(), 0);
    EXPECT_EQ((std::array{line.X1(), line.Y1(), line.X2(), line.Y2()}),
              (std::array{-250.0, 1400.0, 1500.0, -40.0}));
    // A layout while scrolled measures the content unscrolled.
    window.Resize(1000, 800);
    EXPECT_EQ(hbar.Max(), 2100 - 745);
    EXPECT_EQ(hbar.Value(), 300);

    hbar.DragTo(1000);
    hbar.SetValue(0);
    vbar.SetValue(0);
    EXPECT_EQ(label.Left(), 100);
    EXPECT_EQ(label.Top(), 120);
    EXPECT_EQ((std::array{line.X1(), line.Y1(), line.X2(), line.Y2()}),
              (std::array{50.0, 1500.0, 1800.0, 60.0}));

    // Growing the container until the content fits scrolls back home.
    hbar.SetValue(400);
    window.Resize(3000, 2000);
    EXPECT_FALSE(hbar.Visible());
    EXPECT_EQ(label.Left(), 100);
    EXPECT_FLOAT_EQ(window.GetXOffset(), 0);
}

}  // namespace
}  // namespace zd
