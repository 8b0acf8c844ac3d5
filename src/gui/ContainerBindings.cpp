// Bindings of the containers: the frame (a group box), the tab strip (a tab widget whose pages hold
// the controls of each tab), the scrolled window (its children plus its own bars and corner), and
// a plain container for everything else, such as the device pages.
#include <QGroupBox>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <functional>
#include <vector>

#include "gui/BindingKinds.h"
#include "gui/ControlBinding.h"
#include "ui/Controls.h"

namespace zd {

namespace {

class ContainerBinding : public ControlBinding {
  public:
    ContainerBinding(Control& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QWidget(host), parent) {
        Widget()->setAutoFillBackground(true);
    }
};

class FrameBinding : public ControlBinding {
  public:
    FrameBinding(Frame& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new QGroupBox(host), parent), m_frame(model) {}

  protected:
    void SyncProperties() override {
        static_cast<QGroupBox*>(Widget())->setTitle(QString::fromStdString(m_frame.Caption()));
    }

  private:
    Frame& m_frame;
};

// Tells its binding when the pages may have moved: the tab bar is laid out on show and resize.
class TabWidget : public QTabWidget {
  public:
    using QTabWidget::QTabWidget;
    std::function<void()> onLayout;

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QTabWidget::resizeEvent(event);
        if (onLayout) onLayout();
    }
    void showEvent(QShowEvent* event) override {
        QTabWidget::showEvent(event);
        if (onLayout) onLayout();
    }
};

// The controls on a tab are placed, as on a classic tab control, relative to the whole strip
// (tab row included); on screen they lie on that tab's page.
class TabStripBinding : public ControlBinding {
  public:
    TabStripBinding(TabStrip& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new TabWidget(host), parent), m_strip(model) {
        auto* widget = static_cast<TabWidget*>(Widget());
        widget->onLayout = [this] { PlaceChildren(); };
        QObject::connect(widget, &QTabWidget::currentChanged, Receiver(), [this](int index) {
            FromUser([this, index] { m_strip.ClickTab(index); });
        });
    }
    ~TabStripBinding() override { static_cast<TabWidget*>(Widget())->onLayout = nullptr; }

  protected:
    QWidget* ChildHost(int tab) override {
        if (tab < 0) return Widget();
        while (static_cast<int>(m_pages.size()) <= tab) {
            auto* page = new QWidget(Widget());
            page->hide();
            m_pages.push_back(page);
        }
        return m_pages[static_cast<std::size_t>(tab)];
    }

    QPoint ChildOrigin(int tab) const override {
        if (tab < 0 || tab >= static_cast<int>(m_pages.size())) return {};
        // Pages that are not shown yet have no place: take the current page's, they share it.
        auto* widget = static_cast<QTabWidget*>(Widget());
        QWidget* page = widget->currentWidget() ? widget->currentWidget()
                                                : m_pages[static_cast<std::size_t>(tab)];
        return page->mapTo(widget, QPoint(0, 0));
    }

    void SyncProperties() override {
        auto* widget = static_cast<QTabWidget*>(Widget());
        const int count = m_strip.TabCount();
        if (count > 0) ChildHost(count - 1);
        while (widget->count() > count) widget->removeTab(widget->count() - 1);
        while (widget->count() < count) {
            const int tab = widget->count();
            widget->addTab(m_pages[static_cast<std::size_t>(tab)], QString());
        }
        for (int tab = 0; tab < count; ++tab) {
            widget->setTabText(tab, QString::fromStdString(m_strip.TabCaption(tab)));
            widget->setTabEnabled(tab, m_strip.TabEnabled(tab));
            widget->setTabVisible(tab, m_strip.TabVisible(tab));
        }
        if (m_strip.Tab() >= 0) widget->setCurrentIndex(m_strip.Tab());
        PlaceChildren();
    }

  private:
    TabStrip& m_strip;
    std::vector<QWidget*> m_pages;
};

// The first show stands for the first paint, after which the model lays its bars out once.
class ScrolledWidget : public QWidget {
  public:
    using QWidget::QWidget;
    std::function<void()> onFirstShow;

  protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (onFirstShow) {
            auto once = std::move(onFirstShow);
            onFirstShow = nullptr;
            once();
        }
    }
};

class ScrolledWindowBinding : public ControlBinding {
  public:
    ScrolledWindowBinding(ScrolledWindow& model, QWidget* host, ControlBinding* parent)
        : ControlBinding(model, new ScrolledWidget(host), parent), m_window(model) {
        auto* widget = static_cast<ScrolledWidget*>(Widget());
        widget->setAutoFillBackground(true);
        // The model moves the children as the bars scroll; the view only draws them.
        AdoptChild(BindControl(model.HorizontalBar(), widget, this));
        AdoptChild(BindControl(model.VerticalBar(), widget, this));
        AdoptChild(BindControl(model.Corner(), widget, this));
        widget->onFirstShow = [this] { m_window.OnFirstPaint(); };
    }
    ~ScrolledWindowBinding() override {
        static_cast<ScrolledWidget*>(Widget())->onFirstShow = nullptr;
    }

  private:
    ScrolledWindow& m_window;
};

}  // namespace

BindingPtr MakeContainerBinding(Control& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<ContainerBinding>(model, host, parent);
}
BindingPtr MakeFrameBinding(Frame& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<FrameBinding>(model, host, parent);
}
BindingPtr MakeTabStripBinding(TabStrip& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<TabStripBinding>(model, host, parent);
}
BindingPtr MakeScrolledWindowBinding(ScrolledWindow& model, QWidget* host, ControlBinding* parent) {
    return std::make_unique<ScrolledWindowBinding>(model, host, parent);
}

}  // namespace zd
