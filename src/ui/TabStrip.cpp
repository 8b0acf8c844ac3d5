#include "ui/TabStrip.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace zd {

TabStrip::TabStrip(std::string name, int tabCount) : Control(std::move(name)) {
    SetTabCount(tabCount);
}

void TabStrip::CheckTab(int tab) const {
    if (tab < 0 || tab >= TabCount()) {
        throw std::out_of_range(Name() + ": tab " + std::to_string(tab) + " out of range");
    }
}

void TabStrip::SetTabCount(int count) {
    count = std::max(0, count);
    if (count == TabCount()) {
        return;
    }
    m_tabs.resize(static_cast<std::size_t>(count));
    const int previous = m_current;
    if (m_current >= count) {
        m_current = count - 1;
    } else if (m_current < 0 && count > 0) {
        m_current = 0;
    }
    RaiseChanged();
    if (previous >= 0 && m_current != previous) {
        Clicked.Raise(previous);
    }
}

int TabStrip::AddTab(const std::string& caption) {
    SetTabCount(TabCount() + 1);
    SetTabCaption(TabCount() - 1, caption);
    return TabCount() - 1;
}

const std::string& TabStrip::TabCaption(int tab) const {
    CheckTab(tab);
    return m_tabs[static_cast<std::size_t>(tab)].caption;
}

void TabStrip::SetTabCaption(int tab, const std::string& caption) {
    CheckTab(tab);
    Assign(m_tabs[static_cast<std::size_t>(tab)].caption, caption);
}

bool TabStrip::TabEnabled(int tab) const {
    CheckTab(tab);
    return m_tabs[static_cast<std::size_t>(tab)].enabled;
}

void TabStrip::SetTabEnabled(int tab, bool enabled) {
    CheckTab(tab);
    Assign(m_tabs[static_cast<std::size_t>(tab)].enabled, enabled);
}

bool TabStrip::TabVisible(int tab) const {
    CheckTab(tab);
    return m_tabs[static_cast<std::size_t>(tab)].visible;
}

void TabStrip::SetTabVisible(int tab, bool visible) {
    CheckTab(tab);
    Assign(m_tabs[static_cast<std::size_t>(tab)].visible, visible);
}

void TabStrip::SetTab(int tab) {
    CheckTab(tab);
    const int previous = m_current;
    if (Assign(m_current, tab)) {
        Clicked.Raise(previous);
    }
}

bool TabStrip::IsTabUsable(int tab) const {
    return tab < 0 || tab >= TabCount() || m_tabs[static_cast<std::size_t>(tab)].enabled;
}

bool TabStrip::ClickTab(int tab) {
    if (tab < 0 || tab >= TabCount() || !IsEffectivelyEnabled() || !TabEnabled(tab) ||
        !TabVisible(tab)) {
        return false;
    }
    SetTab(tab);
    return true;
}

}  // namespace zd
