// The link between one control model and its Qt widget: the model's changes are copied to the
// widget with the widget's signals blocked, the user's gestures reach the model through the same
// calls a test makes, and a container's children get bindings of their own as they come and go.
#pragma once

#include <QPoint>
#include <QRect>
#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

#include "ui/Control.h"

class QObject;
class QWidget;

namespace zd {

// The control's surface is laid out in twips for an 8 point face at 96 dots per inch, where 15
// twips make one pixel. The window's face decides the scale, as dialog units do: with a larger
// font, or more dots per inch for the text, the whole surface grows with its texts.
inline constexpr double kTwipsPerPixel = 15.0;
inline constexpr double kDesignFacePoints = 8.0;
// Twips per pixel for the application's font now.
double TwipsPerPixel();
// A point size chosen for the surface's design (a grid's own face), as the window's face scales it.
double SurfacePoints(double designPoints);
int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);

class ControlBinding {
  public:
    ControlBinding(const ControlBinding&) = delete;
    ControlBinding& operator=(const ControlBinding&) = delete;
    virtual ~ControlBinding();

    Control& Model() const { return m_model; }
    QWidget* Widget() const { return m_widget; }
    // The tab of the container the model lay on when it was bound.
    int Tab() const { return m_tab; }
    const std::vector<std::unique_ptr<ControlBinding>>& Children() const { return m_children; }
    // The binding of model in this subtree (this one included), or null.
    ControlBinding* Find(const Control& model);

    // Copies the whole model to the widget.
    void Sync();

  protected:
    // The binding takes the widget over; the widget is created under the host its container gives.
    ControlBinding(Control& model, QWidget* widget, ControlBinding* parent);

    // Copies the kind's own properties; the widget's signals are blocked meanwhile.
    virtual void SyncProperties() {}
    // The widget that holds the children on the given tab, and where that widget's origin lies in
    // the container's coordinates (the children's positions are measured from the container).
    virtual QWidget* ChildHost(int tab);
    virtual QPoint ChildOrigin(int tab) const;
    // Where the widget lies in its host, in pixels.
    virtual QRect ModelRect() const;

    // Runs a user's call into the model. The call may end this binding (a click that removes the
    // page it lies on): afterwards the widget is read back only when the binding still lives.
    void FromUser(const std::function<void()>& call);
    // Connects an event of the derived model kind; it is disconnected with the binding while the
    // model still is of that kind (a model in its destructor has lost its derived events already).
    template <typename EventT, typename Handler>
    void ConnectModel(EventT& event, Handler handler) {
        std::weak_ptr<bool> alive = m_alive;
        auto id = event.Connect([alive, handler](auto&&... args) {
            if (alive.lock()) handler(args...);
        });
        m_derivedDisconnects.push_back([&event, id] { event.Disconnect(id); });
    }
    // The receiver of the widget's signals: destroyed first, so no signal reaches a dying binding.
    QObject* Receiver() const { return m_receiver.get(); }
    // Re-places the children (a container whose page origin moved calls it).
    void PlaceChildren();
    // Binds children that are not among Model().Children() (a scrolled window's own bars).
    void AdoptChild(std::unique_ptr<ControlBinding> child);
    bool IsRoot() const { return m_parent == nullptr; }

  private:
    friend std::unique_ptr<ControlBinding> BindControl(Control&, QWidget*, ControlBinding*);
    void Connect();
    void Place();
    void SyncChildren();

    Control& m_model;
    const std::type_info& m_modelType;
    QWidget* m_widget;
    ControlBinding* m_parent;
    int m_tab;
    std::shared_ptr<bool> m_alive;
    std::unique_ptr<QObject> m_receiver;
    std::vector<std::unique_ptr<ControlBinding>> m_children;
    std::vector<std::unique_ptr<ControlBinding>> m_adopted;
    std::vector<std::function<void()>> m_derivedDisconnects;
    Event<>::Connection m_changedId = 0;
    Event<>::Connection m_childrenId = 0;
    Event<>::Connection m_frontId = 0;
    // Set by the container that is going away: its widget deletes this one's with it.
    bool m_widgetGoesWithParent = false;
};

// Creates the binding, and the widget, for model and everything it contains, under parentWidget.
// parent is the container's binding (null for the root, whose size the host decides).
std::unique_ptr<ControlBinding> BindControl(Control& model, QWidget* parentWidget,
                                            ControlBinding* parent = nullptr);

}  // namespace zd
