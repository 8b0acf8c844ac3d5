// The tab control model: tabs with caption, enabling and visibility, the current tab, and the
// controls on each tab (Control::AddChild with the tab's index).
#pragma once

#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

class TabStrip : public Control {
  public:
    explicit TabStrip(std::string name, int tabCount = 0);

    int TabCount() const { return static_cast<int>(m_tabs.size()); }
    // Adds or removes tabs at the end; the current tab stays inside the new count.
    void SetTabCount(int count);
    int AddTab(const std::string& caption);

    // Tab indexes start at 0; an index outside the tabs is std::out_of_range.
    const std::string& TabCaption(int tab) const;
    void SetTabCaption(int tab, const std::string& caption);
    bool TabEnabled(int tab) const;
    void SetTabEnabled(int tab, bool enabled);
    bool TabVisible(int tab) const;
    void SetTabVisible(int tab, bool visible);

    // The current tab, -1 when there is none.
    int Tab() const { return m_current; }
    // A new current tab raises Clicked (with the previous tab); an equal one raises nothing.
    void SetTab(int tab);
    // The user's click on a tab header: ignored when the strip or that tab cannot be used now.
    bool ClickTab(int tab);

    // The argument is the previously current tab.
    Event<int> Clicked;

  protected:
    bool IsTabUsable(int tab) const override;

  private:
    struct TabInfo {
        std::string caption;
        bool enabled = true;
        bool visible = true;
    };
    void CheckTab(int tab) const;

    std::vector<TabInfo> m_tabs;
    int m_current = -1;
};

}  // namespace zd
