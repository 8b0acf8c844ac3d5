// The combo box model: a list of entries with an optional number each (ItemData), the selected list
// index (-1: none) and the edit text. A new list index raises Clicked, as in classic forms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

enum class ComboStyle { DropDownCombo, SimpleCombo, DropDownList };

class ComboBox : public Control {
  public:
    explicit ComboBox(std::string name, ComboStyle style = ComboStyle::DropDownList);

    ComboStyle Style() const { return m_style; }
    void SetStyle(ComboStyle style);

    // Appends an entry, or inserts it before position index.
    void AddItem(const std::string& text, std::int32_t itemData = 0);
    void InsertItem(int index, const std::string& text, std::int32_t itemData = 0);
    // Removes one entry; a selection after it moves with it, a selection of it is cleared. No
    // event.
    void RemoveItem(int index);
    // Removes every entry and clears the selection and the text; raises no Clicked.
    void Clear();

    int ListCount() const { return static_cast<int>(m_items.size()); }
    // The entry at index; an index outside the list is an error (std::out_of_range).
    const std::string& List(int index) const;
    void SetList(int index, const std::string& text);
    std::int32_t ItemData(int index) const;
    void SetItemData(int index, std::int32_t itemData);
    // The first entry with exactly this text, or -1.
    int FindItem(const std::string& text) const;

    int ListIndex() const { return m_listIndex; }
    // A new index (-1 or a valid entry) selects it, sets the text to the entry and raises Clicked;
    // an equal index raises nothing; an index outside -1..ListCount()-1 is std::out_of_range.
    void SetListIndex(int index);

    // The edit text (in a drop-down list: the selected entry). A new text raises Change.
    const std::string& Text() const { return m_text; }
    void SetText(const std::string& text);

    Event<> Clicked;
    Event<> Change;

  private:
    struct Item {
        std::string text;
        std::int32_t itemData;
    };
    void CheckIndex(int index) const;

    ComboStyle m_style;
    std::vector<Item> m_items;
    int m_listIndex = -1;
    std::string m_text;
};

}  // namespace zd
