// The bindings of each model kind, as BindControl picks them: simple controls, lists and trees,
// and containers. Each creates its widget under host and copies nothing yet (BindControl syncs).
#pragma once

#include <memory>

class QWidget;

namespace zd {

class ControlBinding;
class Control;
class Label;
class Frame;
class Line;
class Button;
class CheckBox;
class OptionButton;
class ComboBox;
class TextBox;
class RangeControl;
class ProgressBar;
class ListView;
class TreeView;
class Grid;
class PopupMenu;
class TabStrip;
class ScrolledWindow;

using BindingPtr = std::unique_ptr<ControlBinding>;

BindingPtr MakeLabelBinding(Label& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeLineBinding(Line& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeButtonBinding(Button& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeCheckBoxBinding(CheckBox& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeOptionButtonBinding(OptionButton& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeComboBoxBinding(ComboBox& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeTextBoxBinding(TextBox& model, QWidget* host, ControlBinding* parent);
// Slider and scroll bar.
BindingPtr MakeRangeBinding(RangeControl& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeProgressBarBinding(ProgressBar& model, QWidget* host, ControlBinding* parent);

BindingPtr MakeListViewBinding(ListView& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeTreeViewBinding(TreeView& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeGridBinding(Grid& model, QWidget* host, ControlBinding* parent);
// A pop-up menu has no place of its own: it shows a QMenu over anchor when the model pops up.
BindingPtr MakePopupMenuBinding(PopupMenu& model, QWidget* host, ControlBinding* parent);

BindingPtr MakeFrameBinding(Frame& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeTabStripBinding(TabStrip& model, QWidget* host, ControlBinding* parent);
BindingPtr MakeScrolledWindowBinding(ScrolledWindow& model, QWidget* host, ControlBinding* parent);
// Any other control (a device page, the scrolled window's corner): a plain container.
BindingPtr MakeContainerBinding(Control& model, QWidget* host, ControlBinding* parent);

}  // namespace zd
