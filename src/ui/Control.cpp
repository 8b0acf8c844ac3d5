#include "ui/Control.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace zd {

Control::Control(std::string name) : m_name(std::move(name)) {}

Control::~Control() {
    if (m_parent) {
        m_parent->RemoveChild(*this);
    }
    for (Control* child : m_children) {
        child->m_parent = nullptr;
        child->m_tabInParent = -1;
    }
}

void Control::SetVisible(bool visible) {
    Assign(m_visible, visible);
}
void Control::SetEnabled(bool enabled) {
    Assign(m_enabled, enabled);
}

bool Control::IsEffectivelyEnabled() const {
    for (const Control* c = this; c; c = c->m_parent) {
        if (!c->m_enabled || (c->m_parent && !c->m_parent->IsTabUsable(c->m_tabInParent))) {
            return false;
        }
    }
    return true;
}

void Control::SetLeft(double left) {
    Assign(m_left, left);
}
void Control::SetTop(double top) {
    Assign(m_top, top);
}
void Control::SetWidth(double width) {
    Assign(m_width, width);
}
void Control::SetHeight(double height) {
    Assign(m_height, height);
}

void Control::Move(double left, double top, double width, double height) {
    if (m_left == left && m_top == top && m_width == width && m_height == height) {
        return;
    }
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    RaiseChanged();
}

void Control::SetTag(const std::string& tag) {
    Assign(m_tag, tag);
}
void Control::SetBackColor(Color color) {
    Assign(m_backColor, color);
}
void Control::SetForeColor(Color color) {
    Assign(m_foreColor, color);
}
void Control::SetToolTipText(const std::string& text) {
    Assign(m_toolTipText, text);
}

void Control::AddChild(Control& child, int tab) {
    if (&child == this) {
        throw std::invalid_argument("a control cannot contain itself");
    }
    if (child.m_parent) {
        child.m_parent->RemoveChild(child);
    }
    child.m_parent = this;
    child.m_tabInParent = tab;
    m_children.push_back(&child);
    OnChildrenChanged.Raise();
}

void Control::RemoveChild(Control& child) {
    const auto it = std::find(m_children.begin(), m_children.end(), &child);
    if (it == m_children.end()) {
        return;
    }
    m_children.erase(it);
    child.m_parent = nullptr;
    child.m_tabInParent = -1;
    OnChildrenChanged.Raise();
}

}  // namespace zd
