// The pop-up menu model: named entries with caption, enabling, visibility and check mark, and
// separators. Popping it up asks the view to show it; the view (or a test) then clicks an entry.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

struct MenuEntry {
    std::string name;
    std::string caption;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    bool separator = false;
};

struct MenuPosition {
    double x;
    double y;
};

class PopupMenu : public Control {
  public:
    explicit PopupMenu(std::string name, std::string caption = {});

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);

    // Entry names are unique (std::invalid_argument otherwise).
    void AddEntry(const std::string& name, const std::string& caption);
    void AddSeparator(const std::string& name);
    const std::vector<MenuEntry>& Entries() const { return m_entries; }
    // The entry with this name, or null.
    const MenuEntry* Entry(const std::string& name) const;
    // Unknown names are std::invalid_argument.
    void SetEntryCaption(const std::string& name, const std::string& caption);
    void SetEntryEnabled(const std::string& name, bool enabled);
    void SetEntryVisible(const std::string& name, bool visible);
    void SetEntryChecked(const std::string& name, bool checked);

    // Shows the menu at (x, y) in the owner's twips: raises OnPopup, whose handler may click an
    // entry before Popup returns, as the modal menu of a form does.
    void Popup(double x, double y);
    // Where the menu was popped up last, if ever.
    std::optional<MenuPosition> LastPopup() const { return m_lastPopup; }

    // The user's choice of an entry: raises Clicked with its name; ignored for a separator and for
    // an entry that is disabled or hidden.
    bool ClickEntry(const std::string& name);

    Event<double, double> OnPopup;
    Event<const std::string&> Clicked;

  private:
    MenuEntry& FindEntry(const std::string& name);

    std::string m_caption;
    std::vector<MenuEntry> m_entries;
    std::optional<MenuPosition> m_lastPopup;
};

}  // namespace zd
