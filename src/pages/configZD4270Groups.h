// The groups page of one ballast: its membership in the 16 DALI groups as check boxes, read with
// the two group queries and changed with ADD TO GROUP and REMOVE FROM GROUP as the user ticks.
#pragma once

#include <array>
#include <cstdint>

#include "pages/PageSupport.h"
#include "ui/Controls.h"

namespace zd {

class configZD4270Groups : public DaliDevicePage {
  public:
    static constexpr int kGroupCount = 16;

    explicit configZD4270Groups(const Context& context);

    // A new short address reads the ballast's membership.
    void SetDALIAddr(std::int16_t nAddr) override;

    bool Member(int group) const { return m_bMember.at(static_cast<std::size_t>(group)); }

    ListView lstViewGroups{"lstViewGroups", ListViewStyle::List};
    Label lblInfo{"lblInfo"};
    Button btnRefreshList{"btnRefreshList"};
    ProgressBar prgState{"prgState", 0, 2};

  private:
    void UserControlInitialize();
    void PlaceControls();
    void ReadGroups();
    void EnableList(bool bEnable);
    std::string GroupText(int group) const;
    void lstViewGroups_ItemCheck(ListItem& item);
    void btnRefreshList_Click();

    std::int16_t m_nLastReadAddr = -1;
    std::array<bool, kGroupCount> m_bMember{};
    std::array<ListItem*, kGroupCount> m_items{};
};

}  // namespace zd
