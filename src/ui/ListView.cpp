#include "ui/ListView.h"

#include <stdexcept>
#include <utility>

namespace zd {

ListItem::ListItem(ListView& owner, int index, std::string key, std::string text,
                   std::string smallIcon)
    : m_owner(owner),
      m_index(index),
      m_key(std::move(key)),
      m_text(std::move(text)),
      m_smallIcon(std::move(smallIcon)) {}

void ListItem::SetText(const std::string& text) {
    if (text != m_text) {
        m_text = text;
        m_owner.RowChanged();
    }
}

const std::string& ListItem::SubItem(int n) const {
    static const std::string kEmpty;
    if (n < 1) {
        throw std::out_of_range("sub-item numbers start at 1");
    }
    const auto position = static_cast<std::size_t>(n - 1);
    return position < m_subItems.size() ? m_subItems[position] : kEmpty;
}

void ListItem::SetSubItem(int n, const std::string& text) {
    if (n < 1) {
        throw std::out_of_range("sub-item numbers start at 1");
    }
    const auto position = static_cast<std::size_t>(n - 1);
    if (position >= m_subItems.size()) {
        m_subItems.resize(position + 1);
    } else if (m_subItems[position] == text) {
        return;
    }
    m_subItems[position] = text;
    m_owner.RowChanged();
}

void ListItem::SetSmallIcon(const std::string& icon) {
    if (icon != m_smallIcon) {
        m_smallIcon = icon;
        m_owner.RowChanged();
    }
}

void ListItem::SetTag(std::any tag) {
    m_tag = std::move(tag);
}

void ListItem::SetChecked(bool checked) {
    if (checked != m_checked) {
        m_checked = checked;
        m_owner.RowChanged();
    }
}

bool ListItem::Selected() const {
    return m_owner.SelectedItem() == this;
}

ListView::ListView(std::string name, ListViewStyle style)
    : Control(std::move(name)), m_style(style) {}

ListView::~ListView() = default;

void ListView::SetStyle(ListViewStyle style) {
    Assign(m_style, style);
}
void ListView::SetCheckBoxes(bool checkBoxes) {
    Assign(m_checkBoxes, checkBoxes);
}
void ListView::SetFullRowSelect(bool fullRowSelect) {
    Assign(m_fullRowSelect, fullRowSelect);
}

void ListView::AddColumn(const std::string& key, const std::string& text, double width,
                         Alignment alignment) {
    m_columns.push_back({key, text, width, alignment});
    RaiseChanged();
}

void ListView::ClearColumns() {
    if (!m_columns.empty()) {
        m_columns.clear();
        RaiseChanged();
    }
}

ListItem& ListView::AddItem(const std::string& text, const std::string& key,
                            const std::string& smallIcon) {
    if (!key.empty() && FindItem(key)) {
        throw std::invalid_argument(Name() + ": key \"" + key + "\" is not unique");
    }
    m_items.push_back(
        std::unique_ptr<ListItem>(new ListItem(*this, ItemCount() + 1, key, text, smallIcon)));
    RaiseChanged();
    return *m_items.back();
}

void ListView::RemoveItem(int index) {
    ListItem& item = Item(index);
    if (m_selected == &item) {
        m_selected = nullptr;
    }
    m_items.erase(m_items.begin() + (index - 1));
    Renumber();
    RaiseChanged();
}

void ListView::Clear() {
    m_selected = nullptr;
    m_items.clear();
    RaiseChanged();
}

void ListView::Renumber() {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        m_items[i]->m_index = static_cast<int>(i) + 1;
    }
}

ListItem& ListView::Item(int index) {
    if (index < 1 || index > ItemCount()) {
        throw std::out_of_range(Name() + ": row " + std::to_string(index) + " out of range");
    }
    return *m_items[static_cast<std::size_t>(index - 1)];
}

const ListItem& ListView::Item(int index) const {
    return const_cast<ListView*>(this)->Item(index);
}

ListItem* ListView::FindItem(const std::string& key) {
    for (const auto& item : m_items) {
        if (item->Key() == key) {
            return item.get();
        }
    }
    return nullptr;
}

ListItem* ListView::SelectedItem() const {
    return m_selected;
}

void ListView::SetSelectedIndex(int index) {
    ListItem* item = index == 0 ? nullptr : &Item(index);
    Assign(m_selected, item);
}

bool ListView::ClickItem(int index) {
    if (index < 1 || index > ItemCount() || !IsEffectivelyEnabled()) {
        return false;
    }
    ListItem& item = Item(index);
    Assign(m_selected, &item);
    ItemClick.Raise(item);
    return true;
}

bool ListView::CheckItem(int index, bool checked) {
    if (index < 1 || index > ItemCount() || !IsEffectivelyEnabled()) {
        return false;
    }
    ListItem& item = Item(index);
    if (item.Checked() == checked) {
        return false;
    }
    item.SetChecked(checked);
    ItemCheck.Raise(item);
    return true;
}

}  // namespace zd
