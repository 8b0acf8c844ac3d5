#include <gtest/gtest.h>

#include "ui/Label.h"
#include "ui/ScrolledWindow.h"

namespace zd {
namespace {

// Bars are 255 twips thick; the horizontal one sits 50 twips above the bottom edge.
class ScrolledWindowTest : public ::testing::Test {
  protected:
    ScrolledWindowTest() { window.Move(0, 0, 1000, 800); }

    Label& AddLabel(double left, double top, double width, double height) {
        auto& label =
            labels.emplace_back(std::make_unique<Label>("lbl" + std::to_string(labels.size())));
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
        {"horizontal bar makes the vertical one necessary", 1500, 546, true, true, 745, 755, 545, 1},
        {"vertical bar makes the horizontal one necessary", 900, 1200, true, true, 745, 155, 545, 655},
        {"fits the narrowed width", 745, 1200, false, true, 0, 0, 800, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Label& label = AddLabel(0, 0, c.width, c.height);
        window.ArrangeConstituentControls();
        EXPECT_EQ(hbar.Visible(), c.h);
        EXPECT_EQ(vbar.Visible(), c.v);
        EXPECT_EQ(window.Corner().Visible(), c.h && c.v);
        if (c.h) {
            EXPECT_EQ(hbar.Left(), 0);
            EXPECT_EQ(hbar.Top(), 800 - 255 - 50);
            EXPECT_EQ(hbar.Width(), c.hWidth);
            EXPECT_EQ(hbar.Max(), c.hMax);
            EXPECT_EQ(hbar.LargeChange(), c.hWidth);
        }
        if (c.v) {
            EXPECT_EQ(vbar.Left(), 745);
            EXPECT_EQ(vbar.Top(), 0);
            EXPECT_EQ(vbar.Height(), c.vHeight);
            EXPECT_EQ(vbar.Max(), c.vMax);
            EXPECT_EQ(vbar.LargeChange(), c.vHeight);
        }
        label.SetVisible(false);  // invisible children neither count nor move
    }
    // The corner box has no margin, unlike the horizontal bar.
    EXPECT_EQ(window.Corner().Left(), 745);
    EXPECT_EQ(window.Corner().Top(), 545);
    EXPECT_EQ(window.Corner().Width(), 255);
    EXPECT_EQ(window.Corner().Height(), 255);
}

TEST_F(ScrolledWindowTest, ContainerTooSmallNeitherMovesNorShowsTheBar) {
    Label& label = AddLabel(0, 0, 100, 1200);
    window.Move(0, 0, 200, 800);
    const double leftBefore = hbar.Left();
    const double widthBefore = hbar.Width();
    window.ArrangeConstituentControls();
    EXPECT_FALSE(hbar.Visible());
    EXPECT_EQ(hbar.Left(), leftBefore);
    EXPECT_EQ(hbar.Width(), widthBefore);
    EXPECT_TRUE(vbar.Visible());
    EXPECT_FALSE(window.Corner().Visible());

    // The same for the vertical bar when the horizontal one leaves no height: it stays as it was.
    label.Move(0, 0, 1500, 100);
    window.Resize(1000, 200);
    EXPECT_TRUE(hbar.Visible());
    EXPECT_EQ(hbar.Width(), 745);
    EXPECT_EQ(vbar.Left(), 200 - 255);
    EXPECT_EQ(vbar.Height(), 545);
}

TEST_F(ScrolledWindowTest, MaximumIsRoundedAndLimitedTo16Bit) {
    Label& label = AddLabel(0, 0, 1500.5, 100);
    for (const auto& [width, max] : {std::pair{1500.5, 500}, {1501.5, 502}, {100000.0, 32767}}) {
        label.SetWidth(width);
        window.ArrangeConstituentControls();
        EXPECT_EQ(hbar.Max(), max) << width;
    }
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
    EXPECT_EQ(label.Width(), 2000);
    EXPECT_EQ(hidden.Left(), 0);
    EXPECT_EQ(line.X1(), -250);
    EXPECT_EQ(line.X2(), 1500);
    EXPECT_EQ(line.Y1(), 1400);
    EXPECT_EQ(line.Y2(), -40);
    EXPECT_FLOAT_EQ(window.GetXOffset(), -300);
    EXPECT_FLOAT_EQ(window.GetYOffset(), -100);

    // A layout while scrolled measures the content unscrolled.
    window.Resize(1000, 800);
    EXPECT_EQ(hbar.Max(), 2100 - 745);
    EXPECT_EQ(hbar.Value(), 300);

    hbar.DragTo(1000);
    hbar.SetValue(0);
    vbar.SetValue(0);
    EXPECT_EQ(label.Left(), 100);
    EXPECT_EQ(label.Top(), 120);
    EXPECT_EQ(line.X1(), 50);
    EXPECT_EQ(line.Y1(), 1500);
    EXPECT_EQ(line.X2(), 1800);
    EXPECT_EQ(line.Y2(), 60);
    EXPECT_FLOAT_EQ(window.GetXOffset(), 0);

    // Growing the container until the content fits scrolls back home.
    hbar.SetValue(400);
    EXPECT_EQ(label.Left(), -300);
    window.Resize(3000, 2000);
    EXPECT_FALSE(hbar.Visible());
    EXPECT_EQ(hbar.Value(), 0);
    EXPECT_EQ(label.Left(), 100);
    EXPECT_FLOAT_EQ(window.GetXOffset(), 0);
}

TEST_F(ScrolledWindowTest, FirstPaintLaysOutOnceResizeEveryTime) {
    Label& label = AddLabel(0, 0, 500, 100);
    window.OnFirstPaint();
    EXPECT_TRUE(window.LaidOut());
    label.SetWidth(1500);
    window.OnFirstPaint();
    EXPECT_FALSE(hbar.Visible());
    window.Resize(1000, 800);
    EXPECT_TRUE(hbar.Visible());
}

}  // namespace
}  // namespace zd
