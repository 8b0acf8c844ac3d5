#include "ui/ComboBox.h"

#include <stdexcept>
#include <utility>

namespace zd {

ComboBox::ComboBox(std::string name, ComboStyle style) : Control(std::move(name)), m_style(style) {}

void ComboBox::SetStyle(ComboStyle style) {
    Assign(m_style, style);
}

void ComboBox::CheckIndex(int index) const {
    if (index < 0 || index >= ListCount()) {
        throw std::out_of_range(Name() + ": list index " + std::to_string(index) + " out of range");
    }
}

void ComboBox::AddItem(const std::string& text, std::int32_t itemData) {
    m_items.push_back({text, itemData});
    RaiseChanged();
}

void ComboBox::InsertItem(int index, const std::string& text, std::int32_t itemData) {
    if (index < 0 || index > ListCount()) {
        throw std::out_of_range(Name() + ": insert position " + std::to_string(index) +
                                " out of range");
    }
    m_items.insert(m_items.begin() + index, {text, itemData});
    if (m_listIndex >= index) {
        ++m_listIndex;
    }
    RaiseChanged();
}

void ComboBox::RemoveItem(int index) {
    CheckIndex(index);
    m_items.erase(m_items.begin() + index);
    if (m_listIndex == index) {
        m_listIndex = -1;
        if (m_style == ComboStyle::DropDownList) {
            m_text.clear();
        }
    } else if (m_listIndex > index) {
        --m_listIndex;
    }
    RaiseChanged();
}

void ComboBox::Clear() {
    m_items.clear();
    m_listIndex = -1;
    m_text.clear();
    RaiseChanged();
}

const std::string& ComboBox::List(int index) const {
    CheckIndex(index);
    return m_items[static_cast<std::size_t>(index)].text;
}

void ComboBox::SetList(int index, const std::string& text) {
    CheckIndex(index);
    m_items[static_cast<std::size_t>(index)].text = text;
    RaiseChanged();
}

std::int32_t ComboBox::ItemData(int index) const {
    CheckIndex(index);
    return m_items[static_cast<std::size_t>(index)].itemData;
}

void ComboBox::SetItemData(int index, std::int32_t itemData) {
    CheckIndex(index);
    m_items[static_cast<std::size_t>(index)].itemData = itemData;
}

int ComboBox::FindItem(const std::string& text) const {
    for (int i = 0; i < ListCount(); ++i) {
        if (m_items[static_cast<std::size_t>(i)].text == text) {
            return i;
        }
    }
    return -1;
}

void ComboBox::SetListIndex(int index) {
    if (index != -1) {
        CheckIndex(index);
    }
    if (index == m_listIndex) {
        return;
    }
    m_listIndex = index;
    const std::string text =
        index >= 0 ? m_items[static_cast<std::size_t>(index)].text : std::string();
    const bool textChanged = text != m_text;
    m_text = text;
    RaiseChanged();
    if (textChanged && m_style != ComboStyle::DropDownList) {
        Change.Raise();
    }
    Clicked.Raise();
}

void ComboBox::SetText(const std::string& text) {
    if (text == m_text) {
        return;
    }
    if (m_style == ComboStyle::DropDownList) {
        // A drop-down list shows only its entries: the text selects the matching one.
        const int index = text.empty() ? -1 : FindItem(text);
        if (index < 0 && !text.empty()) {
            throw std::invalid_argument(Name() + ": \"" + text + "\" is not an entry of the list");
        }
        SetListIndex(index);
        return;
    }
    m_text = text;
    m_listIndex = FindItem(text);
    RaiseChanged();
    Change.Raise();
}

}  // namespace zd
