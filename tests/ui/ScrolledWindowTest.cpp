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

TEST_F(ScrolledWindowTest, ContentThatFitsHidesBothBarsAndTheCorner) {
    AddLabel(100, 100, 900, 700);
    window.ArrangeConstituentControls();
    EXPECT_FALSE(hbar.Visible());
    EXPECT_FALSE(vbar.Visible());
    EXPECT_FALSE(window.Corner().Visible());
}

TEST_F(ScrolledWindowTest, WiderButNotTallerShowsOnlyTheHorizontalBarAboveTheBottom) {
    AddLabel(0, 0, 1500, 545);
    window.ArrangeConstituentControls();
    ASSERT_TRUE(hbar.Visible());
    EXPECT_FALSE(vbar.Visible());
    EXPECT_FALSE(window.Corner().Visible());
    EXPECT_EQ(hbar.Left(), 0);
    EXPECT_EQ(hbar.Top(), 800 - 255 - 50);
    EXPECT_EQ(hbar.Width(), 1000);
    EXPECT_EQ(hbar.Max(), 500);
    EXPECT_EQ(hbar.LargeChange(), 1000);
}

TEST_F(ScrolledWindowTest, HorizontalBarCanMakeTheVerticalOneNecessary) {
    AddLabel(0, 0, 1500, 546);
    window.ArrangeConstituentControls();
    ASSERT_TRUE(hbar.Visible());
    ASSERT_TRUE(vbar.Visible());
    EXPECT_EQ(hbar.Width(), 745);
    EXPECT_EQ(hbar.Max(), 755);
    EXPECT_EQ(vbar.Left(), 745);
    EXPECT_EQ(vbar.Top(), 0);
    EXPECT_EQ(vbar.Height(), 545);
    EXPECT_EQ(vbar.Max(), 1);
    EXPECT_EQ(vbar.LargeChange(), 545);
}

TEST_F(ScrolledWindowTest, VerticalBarCanMakeTheHorizontalOneNecessaryInTheSecondStep) {
    AddLabel(0, 0, 900, 1200);
    window.ArrangeConstituentControls();
    ASSERT_TRUE(hbar.Visible());
    ASSERT_TRUE(vbar.Visible());
    EXPECT_EQ(hbar.Width(), 745);
    EXPECT_EQ(hbar.Max(), 155);
    EXPECT_EQ(vbar.Height(), 545);
    EXPECT_EQ(vbar.Max(), 655);
    // The corner box has no margin, unlike the horizontal bar.
    const Control& corner = window.Corner();
    EXPECT_TRUE(corner.Visible());
    EXPECT_EQ(corner.Left(), 745);
    EXPECT_EQ(corner.Top(), 545);
    EXPECT_EQ(corner.Width(), 255);
    EXPECT_EQ(corner.Height(), 255);
}

TEST_F(ScrolledWindowTest, NarrowContentThatFitsTheNarrowedWidthNeedsNoHorizontalBar) {
    AddLabel(0, 0, 745, 1200);
    window.ArrangeConstituentControls();
    EXPECT_FALSE(hbar.Visible());
    EXPECT_TRUE(vbar.Visible());
    EXPECT_EQ(vbar.Height(), 800);
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
    window.ArrangeConstituentControls();
    EXPECT_EQ(hbar.Max(), 500);
    label.SetWidth(1501.5);
    window.ArrangeConstituentControls();
    EXPECT_EQ(hbar.Max(), 502);
    label.SetWidth(100000);
    window.ArrangeConstituentControls();
    EXPECT_EQ(hbar.Max(), 32767);
}

TEST_F(ScrolledWindowTest, InvisibleChildrenNeitherCountNorMove) {
    Label& hidden = AddLabel(0, 0, 5000, 5000);
    hidden.SetVisible(false);
    AddLabel(0, 0, 1500, 100);
    window.ArrangeConstituentControls();
    EXPECT_EQ(hbar.Max(), 500);
    EXPECT_FALSE(vbar.Visible());
    hbar.SetValue(200);
    EXPECT_EQ(hidden.Left(), 0);
    EXPECT_EQ(labels[1]->Left(), -200);
}

TEST_F(ScrolledWindowTest, ScrollingBackAndForthReturnsEveryControlLinesByBothEnds) {
    Label& label = AddLabel(100, 120, 2000, 300);
    Line line("Line1", 50, 1500, 1800, 60);
    window.AddChild(line);
    window.ArrangeConstituentControls();
    ASSERT_TRUE(hbar.Visible());
    ASSERT_TRUE(vbar.Visible());
    EXPECT_EQ(hbar.Max(), 2100 - 745);
    EXPECT_EQ(vbar.Max(), 1500 - 545);

    hbar.SetValue(300);
    vbar.DragTo(100);
    EXPECT_EQ(label.Left(), -200);
    EXPECT_EQ(label.Top(), 20);
    EXPECT_EQ(label.Width(), 2000);
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
}

TEST_F(ScrolledWindowTest, GrowingTheContainerUntilTheContentFitsScrollsBackHome) {
    Label& label = AddLabel(100, 0, 1900, 100);
    window.ArrangeConstituentControls();
    hbar.SetValue(400);
    EXPECT_EQ(label.Left(), -300);

    window.Resize(3000, 800);
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
