// The common base of the control models: name, visibility, enabling, geometry in twips, tag,
// colours, the place in a container (and on which tab of it), and the one change notification a
// view binds to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/Event.h"

namespace zd {

enum class Alignment { Left, Right, Center };

// Colours in the form toolkit's encoding: 0x00BBGGRR, or a system colour with the high bit set.
using Color = std::uint32_t;
inline constexpr Color kColorWindow = 0x80000005;
inline constexpr Color kColorWindowText = 0x80000008;
inline constexpr Color kColorButtonFace = 0x8000000F;
inline constexpr Color kColorButtonText = 0x80000012;

class Control {
  public:
    explicit Control(std::string name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return m_name; }

    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // Enabled here and in every container above (a control on a disabled frame or tab cannot be
    // used).
    bool IsEffectivelyEnabled() const;

    // Geometry in twips, relative to the container.
    double Left() const { return m_left; }
    double Top() const { return m_top; }
    double Width() const { return m_width; }
    double Height() const { return m_height; }
    void SetLeft(double left);
    void SetTop(double top);
    void SetWidth(double width);
    void SetHeight(double height);
    void Move(double left, double top, double width, double height);

    const std::string& Tag() const { return m_tag; }
    void SetTag(const std::string& tag);

    Color BackColor() const { return m_backColor; }
    void SetBackColor(Color color);
    Color ForeColor() const { return m_foreColor; }
    void SetForeColor(Color color);

    const std::string& ToolTipText() const { return m_toolTipText; }
    void SetToolTipText(const std::string& text);

    // Containment: a child lies in this control, on the given tab when this is a tab strip (-1:
    // none). A destroyed child leaves its container; a destroyed container releases its children.
    void AddChild(Control& child, int tab = -1);
    void RemoveChild(Control& child);
    const std::vector<Control*>& Children() const { return m_children; }
    Control* Parent() const { return m_parent; }
    int TabInParent() const { return m_tabInParent; }

    // Asks the view to draw this control above its siblings.
    void BringToFront() { OnBringToFront.Raise(); }

    // Raised after any property of the model changed; the view reads the model back.
    Event<> OnChanged;
    // Raised when the set of children changed.
    Event<> OnChildrenChanged;
    Event<> OnBringToFront;

  protected:
    // Whether the controls on the given tab of this container can be used (a tab strip's tabs).
    virtual bool IsTabUsable(int /*tab*/) const { return true; }

    void RaiseChanged() { OnChanged.Raise(); }

    // Assigns value to field; raises OnChanged and returns true when it differed.
    template <typename T>
    bool Assign(T& field, const T& value) {
        if (field == value) {
            return false;
        }
        field = value;
        RaiseChanged();
        return true;
    }

  private:
    std::string m_name;
    bool m_visible = true;
    bool m_enabled = true;
    double m_left = 0;
    double m_top = 0;
    double m_width = 0;
    double m_height = 0;
    std::string m_tag;
    Color m_backColor = kColorButtonFace;
    Color m_foreColor = kColorButtonText;
    std::string m_toolTipText;
    Control* m_parent = nullptr;
    int m_tabInParent = -1;
    std::vector<Control*> m_children;
};

}  // namespace zd
