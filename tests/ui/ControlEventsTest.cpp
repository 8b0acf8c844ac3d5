// The controls' events: a change made by code raises the same event as the user's gesture, an
// equal value raises nothing, and a control that cannot be used refuses the gesture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Label.h"
#include "ui/Slider.h"
#include "ui/TabStrip.h"
#include "ui/TextBox.h"

namespace zd {
namespace {

TEST(CheckBoxTest, CodeAndUserChangesRaiseClickWithTheNewValueEqualValueDoesNot) {
    CheckBox box("chkPowerSupplyUnit");
    std::vector<bool> clicks;
    box.Clicked.Connect([&] { clicks.push_back(box.IsChecked()); });
    box.SetChecked(false);
    box.SetChecked(true);
    box.SetValue(CheckState::Checked);
    box.Click();
    box.Click();
    EXPECT_EQ(clicks, (std::vector<bool>{true, false, true}));
}

TEST(OptionButtonTest, SelectingOneClearsTheOthersOfItsGroupOnly) {
    OptionGroup addressType;
    OptionGroup operationMode;
    OptionButton option1("Option1"), option2("Option2"), option3("Option3"), option4("Option4");
    addressType.Add(option1);
    addressType.Add(option2);
    addressType.Add(option3);
    operationMode.Add(option4);
    std::vector<std::string> clicked;
    for (OptionButton* o : {&option1, &option2, &option3, &option4}) {
        // The handler sees the group already updated.
        o->Clicked.Connect([&, o] {
            const bool updated = o == &option4 || addressType.Selected() == o;
            clicked.push_back(o->Name() + (updated ? "" : " before its group"));
        });
    }
    option1.SetValue(true);
    option4.SetValue(true);
    option3.Click();
    EXPECT_EQ((std::array{option1.Value(), option2.Value(), option3.Value(), option4.Value()}),
              (std::array{false, false, true, true}));
    // Only the option that became selected reports a click; clearing and re-selecting do not.
    option3.SetValue(true);
    option3.SetValue(false);
    EXPECT_EQ(clicked, (std::vector<std::string>{"Option1", "Option4", "Option3"}));
    EXPECT_EQ(addressType.Selected(), nullptr);
    {
        OptionButton gone("Option5");
        addressType.Add(gone);
        gone.SetValue(true);
    }
    option2.SetValue(true);
    EXPECT_EQ(addressType.Selected(), &option2);
}

TEST(ButtonTest, ClickIsIgnoredWhenDisabledHereOrInAContainerOrOnADisabledTab) {
    TabStrip tabs("tabMain", 4);
    Frame frame("fraRndAddrOptions");
    Button start("cmdRndAddrStart");
    tabs.AddChild(frame, 1);
    frame.AddChild(start);
    int clicks = 0;
    start.Clicked.Connect([&] { ++clicks; });
    frame.SetEnabled(false);
    EXPECT_FALSE(start.Click());
    frame.SetEnabled(true);
    tabs.SetTabEnabled(1, false);
    EXPECT_FALSE(start.Click());
    tabs.SetTabEnabled(2, false);
    tabs.SetTabEnabled(1, true);
    EXPECT_TRUE(start.Click());
    EXPECT_EQ(clicks, 1);
}

TEST(ComboBoxTest, NewListIndexRaisesClickWithTheTextSetAndEditsKeepTheSelection) {
    ComboBox combo("cboCommand");
    for (int i = 0; i < 4; ++i) combo.AddItem(std::to_string(i), 10 * i);
    std::vector<std::string> seen;
    combo.Clicked.Connect([&] { seen.push_back(combo.Text()); });
    combo.SetListIndex(3);
    combo.SetListIndex(3);
    combo.SetText("1");
    EXPECT_EQ(seen, (std::vector<std::string>{"3", "1"}));
    EXPECT_THROW(combo.SetText("9"), std::invalid_argument);

    // Entries inserted or removed around the selection keep it, silently.
    combo.InsertItem(0, "z", 5);
    EXPECT_EQ(combo.ItemData(combo.ListIndex()), 10);
    combo.RemoveItem(0);
    EXPECT_EQ(combo.ListIndex(), 1);
    combo.RemoveItem(1);
    EXPECT_EQ(combo.ListIndex(), -1);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(seen.size(), 2u);
}

TEST(TextBoxTest, ChangeRaisedForEveryNewTextAlsoFromItsOwnHandler) {
    TextBox box("txtDataDec");
    box.SetMaxLength(3);
    // A number box that refuses non-digits by writing the last good value back, as the pages do.
    std::string lastGood = "0";
    std::vector<std::string> seen;
    box.Change.Connect([&] {
        seen.push_back(box.Text());
        if (box.Text().find_first_not_of("0123456789") != std::string::npos) box.SetText(lastGood);
        lastGood = box.Text();
    });
    box.SetText("12");
    box.Type("12x");
    box.SetText("12");
    EXPECT_EQ(seen, (std::vector<std::string>{"12", "12x", "12"}));
    box.Type("98765");  // the length limits typing only
    EXPECT_EQ(box.Text(), "987");
    box.SetLocked(true);
    EXPECT_FALSE(box.Type("1"));
}

TEST(SliderTest, ValueStaysInRangeCodeRaisesChangeDragRaisesScroll) {
    Slider slider("sliLightLevel", 0, 255);
    std::vector<std::string> events;
    slider.Change.Connect([&] { events.push_back("change " + std::to_string(slider.Value())); });
    slider.Scroll.Connect([&] { events.push_back("scroll " + std::to_string(slider.Value())); });
    slider.SetValue(0);
    slider.SetValue(300);
    slider.SetValue(300);
    slider.DragTo(-5);
    slider.SetValue(55);
    slider.SetMax(40);
    EXPECT_EQ(events,
              (std::vector<std::string>{"change 255", "scroll 0", "change 55", "change 40"}));
}

TEST(TabStripTest, NewTabRaisesClickWithThePreviousTab) {
    TabStrip tabs("tabAddressing", 4);
    std::vector<std::pair<int, int>> seen;
    tabs.Clicked.Connect([&](int previous) { seen.emplace_back(previous, tabs.Tab()); });
    tabs.SetTab(2);
    tabs.SetTab(2);
    tabs.SetTabEnabled(3, false);
    EXPECT_FALSE(tabs.ClickTab(3));
    tabs.SetTab(3);
    tabs.SetTabCount(1);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 2}, {2, 3}, {3, 0}}));
    EXPECT_THROW(tabs.SetTab(1), std::out_of_range);
}

TEST(ControlTest, ChildrenLeaveTheirContainerWhenEitherIsDestroyed) {
    auto frame = std::make_unique<Frame>("fraVariables");
    Label label("lblValueSub");
    {
        Label temporary("lblValue");
        frame->AddChild(temporary);
        frame->AddChild(label);
    }
    EXPECT_EQ(frame->Children(), (std::vector<Control*>{&label}));
    frame->SetEnabled(false);
    frame.reset();
    EXPECT_EQ(label.Parent(), nullptr);
    EXPECT_TRUE(label.IsEffectivelyEnabled());
}

}  // namespace
}  // namespace zd
