#include "ui/PopupMenu.h"

#include <stdexcept>
#include <utility>

namespace zd {

PopupMenu::PopupMenu(std::string name, std::string caption)
    : Control(std::move(name)), m_caption(std::move(caption)) {}

void PopupMenu::SetCaption(const std::string& caption) {
    Assign(m_caption, caption);
}

void PopupMenu::AddEntry(const std::string& name, const std::string& caption) {
    if (Entry(name)) {
        throw std::invalid_argument(Name() + ": entry \"" + name + "\" exists already");
    }
    m_entries.push_back({name, caption});
    RaiseChanged();
}

void PopupMenu::AddSeparator(const std::string& name) {
    AddEntry(name, "-");
    m_entries.back().separator = true;
}

const MenuEntry* PopupMenu::Entry(const std::string& name) const {
    for (const MenuEntry& entry : m_entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

MenuEntry& PopupMenu::FindEntry(const std::string& name) {
    for (MenuEntry& entry : m_entries) {
        if (entry.name == name) {
            return entry;
        }
    }
    throw std::invalid_argument(Name() + ": no entry \"" + name + "\"");
}

void PopupMenu::SetEntryCaption(const std::string& name, const std::string& caption) {
    Assign(FindEntry(name).caption, caption);
}

void PopupMenu::SetEntryEnabled(const std::string& name, bool enabled) {
    Assign(FindEntry(name).enabled, enabled);
}
void PopupMenu::SetEntryVisible(const std::string& name, bool visible) {
    Assign(FindEntry(name).visible, visible);
}
void PopupMenu::SetEntryChecked(const std::string& name, bool checked) {
    Assign(FindEntry(name).checked, checked);
}

void PopupMenu::Popup(double x, double y) {
    m_lastPopup = MenuPosition{x, y};
    OnPopup.Raise(x, y);
}

bool PopupMenu::ClickEntry(const std::string& name) {
    const MenuEntry* entry = Entry(name);
    if (!entry || entry->separator || !entry->enabled || !entry->visible ||
        !IsEffectivelyEnabled()) {
        return false;
    }
    Clicked.Raise(name);
    return true;
}

}  // namespace zd
