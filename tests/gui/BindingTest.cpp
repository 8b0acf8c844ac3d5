// The binding both ways: a model change shows in its widget without coming back as an event, a
// gesture on the widget reaches the model's event once, and children added or removed at run time
// gain or lose their widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <memory>

#include "gui/ControlBinding.h"
#include "ui/Controls.h"

namespace zd {
namespace {

template <typename W>
W* WidgetOf(ControlBinding& root, const Control& model) {
    ControlBinding* binding = root.Find(model);
    return binding ? qobject_cast<W*>(binding->Widget()) : nullptr;
}

void Flush() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(Binding, ModelChangesShowOnceAndGesturesReachTheModelOnce) {
    Control form{"frmTest"};
    Button cmd{"cmdGo", "Go"};
    CheckBox chk{"chkOption", "Option"};
    TextBox txt{"txtLevel"};
    ComboBox cbo{"cboAddress"};
    ListView list{"lstGroups"};
    int clicks = 0, checks = 0, changes = 0, picks = 0, itemChecks = 0;
    for (Control* c : std::initializer_list<Control*>{&cmd, &chk, &txt, &cbo, &list})
        form.AddChild(*c);
    for (int i = 0; i < 4; ++i) cbo.AddItem(std::to_string(i));
    list.SetCheckBoxes(true);
    for (int g = 0; g < 3; ++g) list.AddItem("Group " + std::to_string(g));
    cmd.Move(120, 120, 1200, 375);
    chk.Move(120, 600, 1200, 255);
    txt.Move(120, 900, 1200, 315);
    cbo.Move(120, 1300, 1200, 315);
    list.Move(2000, 120, 3000, 3000);
    cmd.Clicked.Connect([&] { ++clicks; });
    chk.Clicked.Connect([&] { ++checks; });
    txt.Change.Connect([&] { ++changes; });
    cbo.Clicked.Connect([&] { ++picks; });
    list.ItemCheck.Connect([&](ListItem&) { ++itemChecks; });

    auto root = BindControl(form, nullptr);
    auto* button = WidgetOf<QPushButton>(*root, cmd);
    auto* check = WidgetOf<QCheckBox>(*root, chk);
    auto* edit = WidgetOf<QLineEdit>(*root, txt);
    auto* combo = WidgetOf<QComboBox>(*root, cbo);
    auto* rows = WidgetOf<QTreeWidget>(*root, list);
    ASSERT_TRUE(button && check && edit && combo && rows);
    EXPECT_EQ(button->geometry(), QRect(8, 8, 80, 25));  // twips to pixels

    // Code sets the values: the widgets follow, each model event is the model's own one.
    chk.SetChecked(true);
    txt.SetText("12");
    cbo.SetListIndex(2);
    cmd.SetCaption("Stop");
    list.Item(2).SetChecked(true);
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(edit->text(), "12");
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(button->text(), "Stop");
    EXPECT_EQ(rows->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_EQ((std::array{checks, changes, picks, itemChecks}), (std::array{1, 1, 1, 0}));

    // The user: one event each, and the model holds what the user did.
    button->click();
    check->click();
    edit->setFocus();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");
    QApplication::sendEvent(edit, &key);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(combo, &down);
    rows->topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(chk.IsChecked());
    EXPECT_EQ(txt.Text(), "123");
    EXPECT_EQ(cbo.ListIndex(), 3);
    EXPECT_TRUE(list.Item(1).Checked());
    EXPECT_EQ((std::array{checks, changes, picks, itemChecks}), (std::array{2, 2, 2, 1}));

    form.SetEnabled(false);
    EXPECT_FALSE(check->isEnabled());
}

TEST(Binding, TabsAndAPageThatComesAndGoesAtRunTime) {
    Control form{"frmTabs"};
    TabStrip tabs{"tabMain", 3};
    Label onSecond{"lblSecond", "second"};
    form.AddChild(tabs);
    tabs.Move(0, 0, 6000, 4500);
    tabs.AddChild(onSecond, 1);
    onSecond.Move(240, 600, 1500, 255);
    int tabClicks = 0;
    tabs.Clicked.Connect([&](int) { ++tabClicks; });

    auto root = BindControl(form, nullptr);
    root->Widget()->resize(400, 300);
    root->Widget()->show();
    Flush();
    auto* tabWidget = WidgetOf<QTabWidget>(*root, tabs);
    ASSERT_NE(tabWidget, nullptr);
    // The label lies on the second page, placed from the strip's corner as on a classic form.
    QWidget* second = WidgetOf<QWidget>(*root, onSecond);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->parentWidget(), tabWidget->widget(1));
    EXPECT_EQ(second->mapTo(tabWidget, QPoint(0, 0)), QPoint(16, 40));
    tabs.SetTab(1);
    EXPECT_EQ(tabWidget->currentIndex(), 1);
    tabWidget->setCurrentIndex(2);
    EXPECT_EQ(tabs.Tab(), 2);
    EXPECT_EQ(tabClicks, 2);

    // A page made at run time, as a tree click makes one; then removed, then one that dies while
    // it is still shown.
    auto page = std::make_unique<Control>("configZD4270Variables");
    Button read{"cmdRead", "Read"};
    page->AddChild(read);
    tabs.AddChild(*page, 2);
    QPointer<QWidget> pageWidget = WidgetOf<QWidget>(*root, *page);
    ASSERT_FALSE(pageWidget.isNull());
    EXPECT_EQ(pageWidget->parentWidget(), tabWidget->widget(2));
    EXPECT_NE(WidgetOf<QPushButton>(*root, read), nullptr);
    tabs.RemoveChild(*page);
    Flush();
    EXPECT_EQ(root->Find(*page), nullptr);
    EXPECT_TRUE(pageWidget.isNull());

    tabs.AddChild(*page, 2);
    pageWidget = WidgetOf<QWidget>(*root, *page);
    page->RemoveChild(read);
    page.reset();
    Flush();
    EXPECT_TRUE(pageWidget.isNull());
    EXPECT_EQ(root->Children()[0]->Children().size(), 1u);
}

}  // namespace
}  // namespace zd
