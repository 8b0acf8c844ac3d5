// The binding both ways: a model change shows in its widget without coming back as an event, a
// gesture on the widget reaches the model's event once, and children added or removed at run time
// gain or lose their widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
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

void ClickItem(QTreeWidget& view, QTreeWidgetItem& item) {
    const QPoint at = view.visualItemRect(&item).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, view.viewport()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    QApplication::sendEvent(view.viewport(), &release);
    Flush();
}

struct Form {
    Control form{"frmTest"};
    Button cmd{"cmdGo", "Go"};
    CheckBox chk{"chkOption", "Option"};
    TextBox txt{"txtLevel"};
    ComboBox cbo{"cboAddress"};
    Slider sli{"sliLevel", 0, 254};
    int clicks = 0, checks = 0, changes = 0, picks = 0, slides = 0;

    Form() {
        for (Control* c : std::initializer_list<Control*>{&cmd, &chk, &txt, &cbo, &sli}) form.AddChild(*c);
        for (int i = 0; i < 4; ++i) cbo.AddItem(std::to_string(i));
        cmd.Move(120, 120, 1200, 375);
        chk.Move(120, 600, 1200, 255);
        txt.Move(120, 900, 1200, 315);
        cbo.Move(120, 1300, 1200, 315);
        sli.Move(120, 1700, 2400, 450);
        cmd.Clicked.Connect([this] { ++clicks; });
        chk.Clicked.Connect([this] { ++checks; });
        txt.Change.Connect([this] { ++changes; });
        cbo.Clicked.Connect([this] { ++picks; });
        sli.Change.Connect([this] { ++slides; });
    }
};

TEST(Binding, ModelChangesShowOnceAndGesturesReachTheModelOnce) {
    Form f;
    auto root = BindControl(f.form, nullptr);
    auto* button = WidgetOf<QPushButton>(*root, f.cmd);
    auto* check = WidgetOf<QCheckBox>(*root, f.chk);
    auto* edit = WidgetOf<QLineEdit>(*root, f.txt);
    auto* combo = WidgetOf<QComboBox>(*root, f.cbo);
    auto* slider = WidgetOf<QSlider>(*root, f.sli);
    ASSERT_TRUE(button && check && edit && combo && slider);
    EXPECT_EQ(button->text(), "Go");
    EXPECT_EQ(button->geometry(), QRect(8, 8, 80, 25));
    EXPECT_EQ(combo->count(), 4);

    // Code sets the values: the widgets follow, each model event is the model's own one.
    f.chk.SetChecked(true);
    f.txt.SetText("12");
    f.cbo.SetListIndex(2);
    f.sli.SetValue(200);
    f.cmd.SetCaption("Stop");
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(edit->text(), "12");
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(slider->value(), 200);
    EXPECT_EQ(button->text(), "Stop");
    EXPECT_EQ((std::array{f.checks, f.changes, f.picks, f.slides}), (std::array{1, 1, 1, 1}));

    // The user: one event each, and the model holds what the user did.
    button->click();
    check->click();
    edit->setFocus();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");
    QApplication::sendEvent(edit, &key);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(combo, &down);
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.clicks, 1);
    EXPECT_EQ(f.checks, 2);
    EXPECT_FALSE(f.chk.IsChecked());
    EXPECT_EQ(f.txt.Text(), "123");
    EXPECT_EQ(f.changes, 2);
    EXPECT_EQ(f.cbo.ListIndex(), 3);
    EXPECT_EQ(f.picks, 2);
    EXPECT_EQ(f.sli.Value(), 201);
    EXPECT_EQ(f.slides, 2);

    // A control that cannot be used refuses, and its widget shows the model again.
    f.form.SetEnabled(false);
    EXPECT_FALSE(check->isEnabled());
    f.txt.SetLocked(true);
    EXPECT_TRUE(edit->isReadOnly());
}

TEST(Binding, TabsAndChildrenThatComeAndGo) {
    Control form{"frmTabs"};
    TabStrip tabs{"tabMain", 3};
    Label onFirst{"lblFirst", "first"};
    Label onSecond{"lblSecond", "second"};
    form.AddChild(tabs);
    tabs.Move(0, 0, 6000, 4500);
    tabs.AddChild(onFirst, 0);
    tabs.AddChild(onSecond, 1);
    onSecond.Move(240, 600, 1500, 255);
    tabs.SetTabCaption(1, "Second");
    int tabClicks = 0;
    tabs.Clicked.Connect([&](int) { ++tabClicks; });

    auto root = BindControl(form, nullptr);
    root->Widget()->resize(400, 300);
    root->Widget()->show();
    Flush();
    auto* tabWidget = WidgetOf<QTabWidget>(*root, tabs);
    ASSERT_NE(tabWidget, nullptr);
    EXPECT_EQ(tabWidget->count(), 3);
    EXPECT_EQ(tabWidget->tabText(1), "Second");
    // The label lies on the second page, placed from the strip's corner as on a classic form.
    QWidget* second = WidgetOf<QWidget>(*root, onSecond);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->parentWidget(), tabWidget->widget(1));
    EXPECT_EQ(second->mapTo(tabWidget, QPoint(0, 0)), QPoint(16, 40));

    tabs.SetTab(1);
    EXPECT_EQ(tabWidget->currentIndex(), 1);
    EXPECT_EQ(tabClicks, 1);
    tabWidget->setCurrentIndex(2);
    EXPECT_EQ(tabs.Tab(), 2);
    EXPECT_EQ(tabClicks, 2);
    tabs.SetTabEnabled(0, false);
    EXPECT_FALSE(tabWidget->isTabEnabled(0));

    // A page made at run time, as a tree click makes one; then removed, then one that dies while
    // it is still shown.
    auto page = std::make_unique<Control>("configZD4270Variables");
    Button read{"cmdRead", "Read"};
    page->AddChild(read);
    tabs.AddChild(*page, 2);
    page->Move(3240, 480, 2400, 2400);
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
    EXPECT_EQ(root->Children().size(), 1u);
    EXPECT_EQ(root->Children()[0]->Children().size(), 2u);
}

TEST(Binding, TreeAndListClicksAndChecks) {
    Control form{"frmLists"};
    TreeView tree{"treeDevices"};
    ListView list{"lstGroups"};
    form.AddChild(tree);
    form.AddChild(list);
    tree.Move(0, 0, 3000, 3000);
    list.Move(3000, 0, 3000, 3000);
    tree.Add(std::nullopt, "Root", "Devices", "DALI");
    tree.Add(std::string("Root"), "05Device", "Device #05", "LampDALI");
    tree.Node("Root")->SetExpanded(true);
    list.SetCheckBoxes(true);
    list.AddColumn("Group", "Group");
    for (int g = 0; g < 3; ++g) list.AddItem("Group " + std::to_string(g));
    std::vector<std::string> clickedKeys;
    int itemChecks = 0;
    tree.NodeClick.Connect([&](TreeNode& node) {
        clickedKeys.push_back(node.Key());
        // A handler that rebuilds the tree, as a refresh does.
        tree.Clear();
        tree.Add(std::nullopt, "Root", "Devices", "DALI");
        tree.Add(std::string("Root"), "05Device", "Device #05 (new)", "LampDALI");
        tree.Node("Root")->SetExpanded(true);
    });
    list.ItemCheck.Connect([&](ListItem&) { ++itemChecks; });

    auto root = BindControl(form, nullptr);
    root->Widget()->resize(400, 200);
    root->Widget()->show();
    Flush();
    auto* treeWidget = WidgetOf<QTreeWidget>(*root, tree);
    auto* listWidget = WidgetOf<QTreeWidget>(*root, list);
    ASSERT_TRUE(treeWidget && listWidget);
    ASSERT_EQ(treeWidget->topLevelItemCount(), 1);
    ASSERT_EQ(treeWidget->topLevelItem(0)->childCount(), 1);

    ClickItem(*treeWidget, *treeWidget->topLevelItem(0)->child(0));
    EXPECT_EQ(clickedKeys, std::vector<std::string>{"05Device"});
    EXPECT_EQ(treeWidget->topLevelItem(0)->child(0)->text(0), "Device #05 (new)");

    list.Item(2).SetChecked(true);
    EXPECT_EQ(listWidget->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(itemChecks, 0);
    listWidget->topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(list.Item(1).Checked());
    EXPECT_EQ(itemChecks, 1);
}

}  // namespace
}  // namespace zd
