// The list view model in report, list and check-box styles: column headers, rows with key, text,
// sub-items, small icon, tag and check state, and the selected row. Rows are numbered from 1, as
// the behaviour numbers them (item g + 1 is group g).
#pragma once

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

class ListView;

class ListItem {
  public:
    ListItem(const ListItem&) = delete;
    ListItem& operator=(const ListItem&) = delete;

    // Position in the list, from 1.
    int Index() const { return m_index; }
    const std::string& Key() const { return m_key; }

    const std::string& Text() const { return m_text; }
    void SetText(const std::string& text);

    // Sub-item n (from 1) is the text of column n + 1; an unset one is empty.
    const std::string& SubItem(int n) const;
    void SetSubItem(int n, const std::string& text);

    const std::string& SmallIcon() const { return m_smallIcon; }
    void SetSmallIcon(const std::string& icon);

    // Whatever the owner attaches to the row (a device record, for instance).
    const std::any& Tag() const { return m_tag; }
    void SetTag(std::any tag);

    // The check box as code sets it: raises no ItemCheck (only the user's tick does).
    bool Checked() const { return m_checked; }
    void SetChecked(bool checked);

    bool Selected() const;

  private:
    friend class ListView;
    ListItem(ListView& owner, int index, std::string key, std::string text, std::string smallIcon);

    ListView& m_owner;
    int m_index;
    std::string m_key;
    std::string m_text;
    std::vector<std::string> m_subItems;
    std::string m_smallIcon;
    std::any m_tag;
    bool m_checked = false;
};

struct ColumnHeader {
    std::string key;
    std::string text;
    double width = 1440;
    Alignment alignment = Alignment::Left;
};

enum class ListViewStyle { Icon, SmallIcon, List, Report };

class ListView : public Control {
  public:
    explicit ListView(std::string name, ListViewStyle style = ListViewStyle::Report);
    ~ListView() override;

    ListViewStyle Style() const { return m_style; }
    void SetStyle(ListViewStyle style);
    bool CheckBoxes() const { return m_checkBoxes; }
    void SetCheckBoxes(bool checkBoxes);
    bool FullRowSelect() const { return m_fullRowSelect; }
    void SetFullRowSelect(bool fullRowSelect);

    void AddColumn(const std::string& key, const std::string& text, double width = 1440,
                   Alignment alignment = Alignment::Left);
    void ClearColumns();
    const std::vector<ColumnHeader>& Columns() const { return m_columns; }

    // Appends a row; a non-empty key must be unique (std::invalid_argument otherwise).
    ListItem& AddItem(const std::string& text, const std::string& key = {},
                      const std::string& smallIcon = {});
    // Removes the row at index; the rows after it move up. A selection of it is cleared.
    void RemoveItem(int index);
    // Removes every row and the selection; raises no event.
    void Clear();

    int ItemCount() const { return static_cast<int>(m_items.size()); }
    // The row at index (1..ItemCount()); outside that, std::out_of_range.
    ListItem& Item(int index);
    const ListItem& Item(int index) const;
    // The row with this key, or null.
    ListItem* FindItem(const std::string& key);

    // The selected row, or null.
    ListItem* SelectedItem() const;
    // Selects the row at index (0: none) as code does: raises no ItemClick.
    void SetSelectedIndex(int index);

    // The user's click on a row: selects it and raises ItemClick; ignored when the list cannot be
    // used now or the index is not a row.
    bool ClickItem(int index);
    // The user's tick or clearing of a row's check box: a new state raises ItemCheck.
    bool CheckItem(int index, bool checked);

    Event<ListItem&> ItemClick;
    Event<ListItem&> ItemCheck;

  private:
    friend class ListItem;
    void RowChanged() { RaiseChanged(); }
    void Renumber();

    ListViewStyle m_style;
    bool m_checkBoxes = false;
    bool m_fullRowSelect = false;
    std::vector<ColumnHeader> m_columns;
    std::vector<std::unique_ptr<ListItem>> m_items;
    ListItem* m_selected = nullptr;
};

}  // namespace zd
