#include "gui/ControlBinding.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QObject>
#include <QPalette>
#include <QScreen>
#include <QSignalBlocker>
#include <QString>
#include <QWidget>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <exception>

#include "gui/BindingKinds.h"
#include "ui/Controls.h"

namespace zd {

namespace {

// Colours with the high bit set are the system's and stay with the style.
constexpr Color kSystemColorBit = 0x80000000;

QColor ToQColor(Color color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

void ApplyColors(QWidget& widget, const Control& model) {
    const Color fore = model.ForeColor();
    const Color back = model.BackColor();
    if ((fore & kSystemColorBit) && (back & kSystemColorBit) &&
        !widget.testAttribute(Qt::WA_SetPalette)) {
        return;
    }
    QPalette palette;
    if (!(fore & kSystemColorBit)) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, ToQColor(fore));
    }
    if (!(back & kSystemColorBit)) {
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            palette.setColor(role, ToQColor(back));
    }
    widget.setPalette(palette);
    widget.setAutoFillBackground(!(back & kSystemColorBit));
}

}  // namespace

namespace {

double ScreenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

// The window's face in pixels, against the face the surface was drawn for.
double FaceScale() {
    const QFont font = QGuiApplication::font();
    const double facePixels =
        font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * ScreenDpi() / 72;
    const double designPixels = kDesignFacePoints * 96.0 / 72;
    return facePixels > 0 ? facePixels / designPixels : 1.0;
}

}  // namespace

double TwipsPerPixel() {
    return kTwipsPerPixel / FaceScale();
}

double SurfacePoints(double designPoints) {
    // Points grow with the screen's dots per inch by themselves.
    return designPoints * FaceScale() * 96.0 / ScreenDpi();
}

int TwipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel()));
}

double PixelsToTwips(int pixels) {
    return pixels * TwipsPerPixel();
}

ControlBinding::ControlBinding(Control& model, QWidget* widget, ControlBinding* parent)
    : m_model(model),
      m_modelType(typeid(model)),
      m_widget(widget),
      m_parent(parent),
      m_tab(model.TabInParent()),
      m_alive(std::make_shared<bool>(true)),
      m_receiver(std::make_unique<QObject>()) {
    m_widget->setObjectName(QString::fromStdString(model.Name()));
}

ControlBinding::~ControlBinding() {
    m_receiver.reset();
    m_alive.reset();
    // The base events live until the end of Control's destructor, which is where a dying model
    // leaves its container; the derived ones are gone by then.
    m_model.OnChanged.Disconnect(m_changedId);
    m_model.OnChildrenChanged.Disconnect(m_childrenId);
    m_model.OnBringToFront.Disconnect(m_frontId);
    if (typeid(m_model) == m_modelType) {
        for (auto& disconnect : m_derivedDisconnects) disconnect();
    }
    for (auto& child : m_children) child->m_widgetGoesWithParent = true;
    for (auto& child : m_adopted) child->m_widgetGoesWithParent = true;
    m_children.clear();
    m_adopted.clear();
    if (!m_widgetGoesWithParent) {
        // Deferred: the widget may be the one whose signal led here.
        m_widget->hide();
        m_widget->setParent(nullptr);
        m_widget->deleteLater();
    }
}

ControlBinding* ControlBinding::Find(const Control& model) {
    if (&m_model == &model) return this;
    for (auto* list : {&m_children, &m_adopted}) {
        for (auto& child : *list) {
            if (ControlBinding* found = child->Find(model)) return found;
        }
    }
    return nullptr;
}

void ControlBinding::Connect() {
    std::weak_ptr<bool> alive = m_alive;
    m_changedId = m_model.OnChanged.Connect([this, alive] {
        if (alive.lock()) Sync();
    });
    m_childrenId = m_model.OnChildrenChanged.Connect([this, alive] {
        if (alive.lock()) SyncChildren();
    });
    m_frontId = m_model.OnBringToFront.Connect([this, alive] {
        if (alive.lock()) m_widget->raise();
    });
}

void ControlBinding::Sync() {
    {
        const QSignalBlocker blocker(m_widget);
        if (!IsRoot() && m_widget->isHidden() == m_model.Visible())
            m_widget->setVisible(m_model.Visible());
        m_widget->setEnabled(m_model.Enabled());
        m_widget->setToolTip(QString::fromStdString(m_model.ToolTipText()));
        ApplyColors(*m_widget, m_model);
        SyncProperties();
    }
    Place();
}

void ControlBinding::Place() {
    if (IsRoot()) return;
    const QRect rect = ModelRect().translated(-m_parent->ChildOrigin(m_tab));
    if (m_widget->geometry() != rect) m_widget->setGeometry(rect);
}

QRect ControlBinding::ModelRect() const {
    const int left = TwipsToPixels(m_model.Left());
    const int top = TwipsToPixels(m_model.Top());
    const int right = TwipsToPixels(m_model.Left() + m_model.Width());
    const int bottom = TwipsToPixels(m_model.Top() + m_model.Height());
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

QWidget* ControlBinding::ChildHost(int) {
    return m_widget;
}

QPoint ControlBinding::ChildOrigin(int) const {
    return {};
}

void ControlBinding::PlaceChildren() {
    for (auto& child : m_children) child->Place();
}

void ControlBinding::AdoptChild(std::unique_ptr<ControlBinding> child) {
    m_adopted.push_back(std::move(child));
}

void ControlBinding::SyncChildren() {
    const auto& kids = m_model.Children();
    // A binding whose model left (or died, or moved to another tab) goes; only pointers are
    // compared until the model is known to be one of the children.
    std::erase_if(m_children, [&](const std::unique_ptr<ControlBinding>& binding) {
        const auto it = std::find(kids.begin(), kids.end(), &binding->Model());
        return it == kids.end() || (*it)->TabInParent() != binding->Tab();
    });
    const std::vector<Control*> current = kids;
    for (Control* kid : current) {
        const bool bound = std::any_of(m_children.begin(), m_children.end(),
                                       [kid](const auto& b) { return &b->Model() == kid; });
        if (!bound) m_children.push_back(BindControl(*kid, ChildHost(kid->TabInParent()), this));
    }
}

void ControlBinding::FromUser(const std::function<void()>& call) {
    std::weak_ptr<bool> alive = m_alive;
    try {
        call();
    } catch (const std::exception& e) {
        qWarning("zd4270: %s refused the user's input: %s", m_model.Name().c_str(), e.what());
    }
    if (alive.lock()) Sync();
}

std::unique_ptr<ControlBinding> BindControl(Control& model, QWidget* parentWidget,
                                            ControlBinding* parent) {
    BindingPtr binding;
    if (auto* scrolled = dynamic_cast<ScrolledWindow*>(&model)) {
        binding = MakeScrolledWindowBinding(*scrolled, parentWidget, parent);
    } else if (auto* tabs = dynamic_cast<TabStrip*>(&model)) {
        binding = MakeTabStripBinding(*tabs, parentWidget, parent);
    } else if (auto* frame = dynamic_cast<Frame*>(&model)) {
        binding = MakeFrameBinding(*frame, parentWidget, parent);
    } else if (auto* label = dynamic_cast<Label*>(&model)) {
        binding = MakeLabelBinding(*label, parentWidget, parent);
    } else if (auto* line = dynamic_cast<Line*>(&model)) {
        binding = MakeLineBinding(*line, parentWidget, parent);
    } else if (auto* button = dynamic_cast<Button*>(&model)) {
        binding = MakeButtonBinding(*button, parentWidget, parent);
    } else if (auto* checkBox = dynamic_cast<CheckBox*>(&model)) {
        binding = MakeCheckBoxBinding(*checkBox, parentWidget, parent);
    } else if (auto* option = dynamic_cast<OptionButton*>(&model)) {
        binding = MakeOptionButtonBinding(*option, parentWidget, parent);
    } else if (auto* combo = dynamic_cast<ComboBox*>(&model)) {
        binding = MakeComboBoxBinding(*combo, parentWidget, parent);
    } else if (auto* textBox = dynamic_cast<TextBox*>(&model)) {
        binding = MakeTextBoxBinding(*textBox, parentWidget, parent);
    } else if (auto* range = dynamic_cast<RangeControl*>(&model)) {
        binding = MakeRangeBinding(*range, parentWidget, parent);
    } else if (auto* progress = dynamic_cast<ProgressBar*>(&model)) {
        binding = MakeProgressBarBinding(*progress, parentWidget, parent);
    } else if (auto* list = dynamic_cast<ListView*>(&model)) {
        binding = MakeListViewBinding(*list, parentWidget, parent);
    } else if (auto* tree = dynamic_cast<TreeView*>(&model)) {
        binding = MakeTreeViewBinding(*tree, parentWidget, parent);
    } else if (auto* grid = dynamic_cast<Grid*>(&model)) {
        binding = MakeGridBinding(*grid, parentWidget, parent);
    } else if (auto* menu = dynamic_cast<PopupMenu*>(&model)) {
        binding = MakePopupMenuBinding(*menu, parentWidget, parent);
    } else {
        binding = MakeContainerBinding(model, parentWidget, parent);
    }
    binding->Connect();
    binding->Sync();
    binding->SyncChildren();
    return binding;
}

}  // namespace zd
