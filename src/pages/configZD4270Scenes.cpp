#include "pages/configZD4270Scenes.h"

#include <string>

#include "link/Commands.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

configZD4270Scenes::configZD4270Scenes(const Context& context)
    : DaliDevicePage(PageClassName(PageKind::Scenes), context) {
    PlaceControls();
    ConnectHandlers();
    Guard(m_context, "UserControl_Initialize", [this] { UserControlInitialize(); });
}

void configZD4270Scenes::UserControlInitialize() {
    const MessageCatalogue& msg = m_context.messages;
    m_nLastReadAddr = -1;
    m_levels.fill(0);
    lstViewScenes.Clear();
    lstViewScenes.ClearColumns();
    lstViewScenes.SetFullRowSelect(true);
    lstViewScenes.AddColumn("Scene", msg.Load(5039), 2750, Alignment::Left);
    lstViewScenes.AddColumn("Value", msg.Load(5051), 1000, Alignment::Right);
    lstViewScenes.AddColumn("SubValue", "", 1200, Alignment::Right);
    for (int scene = 0; scene < kSceneCount; ++scene) {
        m_items[static_cast<std::size_t>(scene)] =
            &lstViewScenes.AddItem(msg.Load(5039) + " " + std::to_string(scene));
    }
    lblCaption.SetCaption(msg.Load(5037) + ":");
    txtValue.SetAlignment(Alignment::Right);
    txtValue.SetMaxLength(3);
    sliValue.SetOrientation(Orientation::Horizontal);
    sliValue.SetRange(0, 255);
    sliValue.SetSmallChange(1);
    sliValue.SetLargeChange(25);
    sliValue.SetTickFrequency(10);
    lblValueSub.SetAlignment(Alignment::Right);
    btnSaveToDevice.SetCaption(msg.Load(5063));
    btnRefreshList.SetCaption(msg.Load(5020));
    prgState.SetRange(0, kSceneCount);
    prgState.SetValue(0);
    // The editor appears with the first scene shown in it.
    for (Control* c : std::initializer_list<Control*>{&lblCaption, &txtValue, &btnSaveToDevice}) {
        c->SetVisible(false);
    }
}

void configZD4270Scenes::PlaceControls() {
    for (Control* c : std::initializer_list<Control*>{&lstViewScenes, &fraVariables,
                                                      &btnRefreshList, &prgState}) {
        AddChild(*c);
    }
    lstViewScenes.Move(120, 120, 5175, 3840);
    fraVariables.Move(120, 4080, 5175, 1455);
    btnRefreshList.Move(120, 5700, 1800, 375);
    prgState.Move(2040, 5760, 3255, 255);
    for (Control* c :
         std::initializer_list<Control*>{&lblCaption, &txtValue, &lblValueUnit, &lblValueSub,
                                         &lblValueSubUnit, &sliValue, &btnSaveToDevice}) {
        fraVariables.AddChild(*c);
    }
    lblCaption.Move(120, 330, 1200, 255);
    txtValue.Move(1320, 285, 600, 315);
    lblValueUnit.Move(1980, 330, 900, 255);
    lblValueSub.Move(2880, 330, 900, 255);
    lblValueSubUnit.Move(3840, 330, 1215, 255);
    sliValue.Move(120, 720, 3000, 600);
    btnSaveToDevice.Move(3255, 870, 1800, 375);
}

void configZD4270Scenes::ConnectHandlers() {
    lstViewScenes.ItemClick.Connect([this](ListItem& item) { lstViewScenes_ItemClick(item); });
    sliValue.Change.Connect([this] { sliValue_Change(); });
    sliValue.Scroll.Connect([this] {
        sliValue_Change();
        m_context.scheduler.DoEvents();
    });
    txtValue.Change.Connect([this] { txtValue_Change(); });
    btnSaveToDevice.Clicked.Connect([this] { btnSaveToDevice_Click(); });
    btnRefreshList.Clicked.Connect([this] { btnRefreshList_Click(); });
}

void configZD4270Scenes::SetDALIAddr(std::int16_t nAddr) {
    if (nAddr < 0 || nAddr > 63 || nAddr == m_nLastReadAddr) return;
    DaliDevicePage::SetDALIAddr(nAddr);
    m_nLastReadAddr = nAddr;
    ReadScenes();
    ShowFirstScene();
}

void configZD4270Scenes::ShowFirstScene() {
    Guard(m_context, "lstViewScenes_ItemClick", [this] {
        lstViewScenes.SetSelectedIndex(1);
        lstViewScenes_ItemClick(lstViewScenes.Item(1));
    });
}

void configZD4270Scenes::EnableEditing(bool bEnable) {
    for (Control* c :
         std::initializer_list<Control*>{&btnRefreshList, &btnSaveToDevice, &sliValue, &txtValue}) {
        c->SetEnabled(bEnable);
    }
}

void configZD4270Scenes::ShowLevel(ListItem& item, std::uint8_t level) {
    item.SetSubItem(1, std::to_string(level));
    item.SetSubItem(2, LevelPercentText(level));
}

void configZD4270Scenes::ReadScenes() {
    ReadListSteps(
        "ReadScenes", prgState, kSceneCount, [this](bool bEnable) { EnableEditing(bEnable); },
        [this] {
            for (ListItem* item : m_items) {
                item->SetSubItem(1, " ");
                item->SetSubItem(2, " ");
            }
        },
        [this](int scene) {
            const auto index = static_cast<std::size_t>(scene);
            std::uint8_t nData = 0;
            if (QueryDALIData(kCmdQuerySceneLevel, static_cast<std::uint8_t>(scene), nData) ==
                Result::Done) {
                m_levels[index] = nData;
                ShowLevel(*m_items[index], nData);
            } else {
                m_levels[index] = 0;
                m_items[index]->SetSubItem(1, "?");
                m_items[index]->SetSubItem(2, "? %");
            }
        });
}

void configZD4270Scenes::lstViewScenes_ItemClick(ListItem& item) {
    const int scene = item.Index() - 1;
    if (scene < 0 || scene >= kSceneCount) return;
    for (Control* c : std::initializer_list<Control*>{&lblCaption, &txtValue, &btnSaveToDevice}) {
        c->SetVisible(true);
    }
    const std::uint8_t level = m_levels[static_cast<std::size_t>(scene)];
    sliValue.SetValue(level);
    txtValue.SetText(std::to_string(level));
    lblValueSub.SetCaption(GetPercentString(level));
}

void configZD4270Scenes::sliValue_Change() {
    Guard(m_context, "sliValue_Change", [this] {
        if (!lstViewScenes.SelectedItem()) return;
        txtValue.SetText(std::to_string(sliValue.Value()));
        lblValueSub.SetCaption(GetPercentString(sliValue.Value()));
    });
}

void configZD4270Scenes::txtValue_Change() {
    Guard(m_context, "txtValue_Change", [this] {
        if (!lstViewScenes.SelectedItem()) return;
        const EditorBoxValue box = ReadEditorBox(txtValue, 0, 255, 3);
        sliValue.SetValue(box.value);
        // A number beyond 16 bits previews nothing.
        if (box.overflow) return;
        // The lamp follows the edited level so that the user sees the scene being set up; the
        // preview always goes to the ballast's own short address.
        if (DALIAddr() >= 0 && DALIAddr() <= 63) {
            SendDALICommand(kCmdDirectArcPower, static_cast<std::uint8_t>(box.value),
                            AddressKind::Short, DALIAddr());
        }
    });
}

void configZD4270Scenes::btnSaveToDevice_Click() {
    Guard(m_context, "btnSaveToDevice_Click", [this] {
        const ListItem* selected = lstViewScenes.SelectedItem();
        if (!selected) return;
        const int scene = selected->Index() - 1;
        if (scene < 0 || scene >= kSceneCount) return;
        const auto level = static_cast<std::uint8_t>(sliValue.Value());
        m_levels[static_cast<std::size_t>(scene)] = level;
        EngineTerminal terminal = WriteTerminal();
        WriteScenes(terminal, DALIAddr(), {{scene, level, {}}}, PageWriteOptions());
        ShowLevel(*m_items[static_cast<std::size_t>(scene)], level);
    });
}

void configZD4270Scenes::btnRefreshList_Click() {
    ReadScenes();
    ShowFirstScene();
}

}  // namespace zd
