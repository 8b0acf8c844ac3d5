#include "pages/configZD4270Groups.h"

#include <string>

#include "link/Commands.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

configZD4270Groups::configZD4270Groups(const Context& context)
    : DaliDevicePage(PageClassName(PageKind::Groups), context) {
    PlaceControls();
    lstViewGroups.ItemCheck.Connect([this](ListItem& item) { lstViewGroups_ItemCheck(item); });
    btnRefreshList.Clicked.Connect([this] { btnRefreshList_Click(); });
    Guard(m_context, "UserControl_Initialize", [this] { UserControlInitialize(); });
}

void configZD4270Groups::UserControlInitialize() {
    m_nLastReadAddr = -1;
    m_bMember.fill(false);
    lstViewGroups.SetCheckBoxes(true);
    lstViewGroups.Clear();
    for (int group = 0; group < kGroupCount; ++group) {
        m_items[static_cast<std::size_t>(group)] = &lstViewGroups.AddItem(GroupText(group));
    }
    lblInfo.SetWordWrap(true);
    lblInfo.SetCaption(m_context.messages.Load(5050));
    btnRefreshList.SetCaption(m_context.messages.Load(5020));
    prgState.SetRange(0, 2);
    prgState.SetValue(0);
}

void configZD4270Groups::PlaceControls() {
    for (Control* c :
         std::initializer_list<Control*>{&lstViewGroups, &lblInfo, &btnRefreshList, &prgState}) {
        AddChild(*c);
    }
    lstViewGroups.Move(120, 120, 5175, 4200);
    lblInfo.Move(120, 4440, 5175, 1080);
    btnRefreshList.Move(120, 5700, 1800, 375);
    prgState.Move(2040, 5760, 3255, 255);
}

std::string configZD4270Groups::GroupText(int group) const {
    return m_context.messages.Load(5021) + " " + std::to_string(group);
}

void configZD4270Groups::SetDALIAddr(std::int16_t nAddr) {
    if (nAddr < 0 || nAddr > 63 || nAddr == m_nLastReadAddr) return;
    DaliDevicePage::SetDALIAddr(nAddr);
    m_nLastReadAddr = nAddr;
    ReadGroups();
}

void configZD4270Groups::EnableList(bool bEnable) {
    btnRefreshList.SetEnabled(bEnable);
    lstViewGroups.SetEnabled(bEnable);
}

void configZD4270Groups::ReadGroups() {
    static constexpr std::array<std::int16_t, 2> kQueries{kCmdQueryGroups0To7,
                                                          kCmdQueryGroups8To15};
    ReadListSteps(
        "ReadGroups", prgState, static_cast<int>(kQueries.size()),
        [this](bool bEnable) { EnableList(bEnable); },
        [this] {
            m_bMember.fill(false);
            for (ListItem* item : m_items) item->SetChecked(false);
        },
        [this](int step) {
            std::uint8_t nData = 0;
            const bool ok =
                QueryDALIData(kQueries[static_cast<std::size_t>(step)], 0, nData) == Result::Done;
            for (int bit = 0; bit < 8; ++bit) {
                const auto group = static_cast<std::size_t>(8 * step + bit);
                if (ok) m_bMember[group] = ((nData >> bit) & 1) != 0;
                // Code sets the boxes without raising ItemCheck: reading sends nothing.
                m_items[group]->SetChecked(m_bMember[group]);
                m_items[group]->SetText(ok ? GroupText(static_cast<int>(group)) : "?");
            }
        });
}

void configZD4270Groups::lstViewGroups_ItemCheck(ListItem& item) {
    Guard(m_context, "lstViewGroups_ItemCheck", [&] {
        const int group = item.Index() - 1;
        if (group < 0 || group >= kGroupCount) return;
        m_bMember[static_cast<std::size_t>(group)] = item.Checked();
        EngineTerminal terminal = WriteTerminal();
        WriteGroups(terminal, DALIAddr(), {{group, item.Checked(), {}}}, PageWriteOptions());
    });
}

void configZD4270Groups::btnRefreshList_Click() {
    ReadGroups();
    Guard(m_context, "btnRefreshList_Click", [this] { lstViewGroups.SetSelectedIndex(1); });
}

}  // namespace zd
