#include "pages/configZD4270Variables.h"

#include <algorithm>
#include <string>

#include "link/Commands.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

namespace {

enum class VarKind { Level, FadeRate, FadeTime, RandomAddress, Status, Version, DeviceType };

struct VariableEntry {
    // The row's key; handlers tell the variables apart by it.
    const char* key;
    int message;
    VarKind kind;
    std::int16_t nQuery;
    // The STORE THE DTR AS ... command; direct arc power for the actual level; 0: read-only.
    std::int16_t nStore;
};

constexpr std::int16_t kReadOnly = 0;

constexpr std::array<VariableEntry, configZD4270Variables::kVariableCount> kVariables{{
    {"ACTUAL DIM LEVEL", 5052, VarKind::Level, kCmdQueryActualLevel, kCmdDirectArcPower},
    {"POWER ON LEVEL", 5053, VarKind::Level, kCmdQueryPowerOnLevel, kCmdStoreDtrAsPowerOnLevel},
    {"SYSTEM FAILURE LEVEL", 5054, VarKind::Level, kCmdQuerySystemFailureLevel,
     kCmdStoreDtrAsSystemFailureLevel},
    {"MIN LEVEL", 5055, VarKind::Level, kCmdQueryMinLevel, kCmdStoreDtrAsMinLevel},
    {"MAX LEVEL", 5056, VarKind::Level, kCmdQueryMaxLevel, kCmdStoreDtrAsMaxLevel},
    {"FADE RADE", 5057, VarKind::FadeRate, kCmdQueryFadeTimeFadeRate, kCmdStoreDtrAsFadeRate},
    {"FADE TIME", 5058, VarKind::FadeTime, kCmdQueryFadeTimeFadeRate, kCmdStoreDtrAsFadeTime},
    {"RANDOM ADDRESS", 5059, VarKind::RandomAddress, kCmdQueryRandomAddressH, kReadOnly},
    {"STATUS INFORMATION", 5060, VarKind::Status, kCmdQueryStatus, kReadOnly},
    {"VERSION NUMBER", 5061, VarKind::Version, kCmdQueryVersionNumber, kReadOnly},
    {"DEVICE TYPE", 5137, VarKind::DeviceType, kCmdQueryDeviceType, kReadOnly},
    {"PHYSICAL MIN LEVEL", 5062, VarKind::Level, kCmdQueryPhysicalMinimumLevel, kReadOnly},
}};

bool Editable(const VariableEntry& entry) {
    return entry.nStore != kReadOnly;
}

struct EditorRange {
    int min;
    int max;
    int smallChange;
    int largeChange;
    int tick;
    // Where the caret goes after a rewrite of the text box.
    int caret;
    const char* unit;
    const char* subUnit;
};

EditorRange RangeOf(VarKind kind) {
    switch (kind) {
        case VarKind::FadeRate:
            return {1, 15, 1, 3, 3, 2, "[1...15]", "[Steps/s]"};
        case VarKind::FadeTime:
            return {0, 15, 1, 2, 2, 2, "[0...15]", "[s]"};
        default:
            return {0, 255, 1, 25, 10, 3, "[0...255]", "[0%...100%]"};
    }
}

// The converted value the editor shows beside the value.
std::string ConvertedText(VarKind kind, std::int32_t value) {
    switch (kind) {
        case VarKind::Level:
            return GetPercentString(value);
        case VarKind::FadeRate:
            return FadeRateText(value);
        case VarKind::FadeTime:
            return FadeTimeText(value);
        default:
            return {};
    }
}

// The converted value with its unit, as the list's third column shows it.
std::string ConvertedColumnText(VarKind kind, std::int32_t value) {
    switch (kind) {
        case VarKind::Level:
            return LevelPercentText(value);
        case VarKind::FadeRate:
            return FadeRateText(value) + " Steps/s";
        case VarKind::FadeTime:
            return FadeTimeText(value) + " s";
        default:
            return " ";
    }
}

int PosOfKey(const std::string& key) {
    for (std::size_t pos = 0; pos < kVariables.size(); ++pos) {
        if (key == kVariables[pos].key) return static_cast<int>(pos);
    }
    return -1;
}

}  // namespace

configZD4270Variables::configZD4270Variables(const Context& context)
    : DaliDevicePage(PageClassName(PageKind::Variables), context) {
    PlaceControls();
    ConnectHandlers();
    Guard(m_context, "UserControl_Initialize", [this] { UserControlInitialize(); });
}

void configZD4270Variables::UserControlInitialize() {
    const MessageCatalogue& msg = m_context.messages;
    m_nLastReadAddr = -1;
    m_values.fill(0);
    lstViewVariables.Clear();
    lstViewVariables.ClearColumns();
    lstViewVariables.SetFullRowSelect(true);
    lstViewVariables.AddColumn("Variable", msg.Load(5064), 2750, Alignment::Left);
    lstViewVariables.AddColumn("Value", msg.Load(5051), 1000, Alignment::Right);
    lstViewVariables.AddColumn("SubValue", "", 1200, Alignment::Right);
    for (std::size_t pos = 0; pos < kVariables.size(); ++pos) {
        m_items[pos] =
            &lstViewVariables.AddItem(msg.Load(kVariables[pos].message), kVariables[pos].key);
    }
    lblCaption.SetCaption(msg.Load(5051) + ":");
    txtValue.SetAlignment(Alignment::Right);
    txtValue.SetMaxLength(3);
    sliValue.SetOrientation(Orientation::Horizontal);
    lblValueSub.SetAlignment(Alignment::Right);
    btnSaveVariable.SetCaption(msg.Load(5063));
    btnRefreshList.SetCaption(msg.Load(5020));
    prgState.SetRange(0, kVariableCount);
    prgState.SetValue(0);
}

void configZD4270Variables::PlaceControls() {
    for (Control* c : std::initializer_list<Control*>{&lstViewVariables, &fraVariables,
                                                      &btnRefreshList, &prgState}) {
        AddChild(*c);
    }
    lstViewVariables.Move(120, 120, 5175, 3360);
    fraVariables.Move(120, 3600, 5175, 1935);
    btnRefreshList.Move(120, 5700, 1800, 375);
    prgState.Move(2040, 5760, 3255, 255);
    for (Control* c :
         std::initializer_list<Control*>{&lblCaption, &txtValue, &lblValueUnit, &lblValueSub,
                                         &lblValueSubUnit, &sliValue, &btnSaveVariable}) {
        fraVariables.AddChild(*c);
    }
    lblCaption.Move(120, 330, 900, 255);
    txtValue.Move(1080, 285, 600, 315);
    lblValueUnit.Move(1740, 330, 900, 255);
    lblValueSub.Move(2700, 330, 1000, 255);
    lblValueSubUnit.Move(3760, 330, 1300, 255);
    sliValue.Move(120, 720, 4935, 600);
    btnSaveVariable.Move(2655, 1440, 2400, 375);
}

void configZD4270Variables::ConnectHandlers() {
    lstViewVariables.ItemClick.Connect(
        [this](ListItem& item) { lstViewVariables_ItemClick(item); });
    sliValue.Change.Connect([this] { sliValue_Change(); });
    sliValue.Scroll.Connect([this] { sliValue_Change(); });
    txtValue.Change.Connect([this] { txtValue_Change(); });
    btnSaveVariable.Clicked.Connect([this] { btnSaveVariable_Click(); });
    btnRefreshList.Clicked.Connect([this] { btnRefreshList_Click(); });
}

void configZD4270Variables::SetDALIAddr(std::int16_t nAddr) {
    if (nAddr < 0 || nAddr > 63 || nAddr == m_nLastReadAddr) return;
    DaliDevicePage::SetDALIAddr(nAddr);
    m_nLastReadAddr = nAddr;
    ReadVariables();
    ShowFirstVariable();
}

void configZD4270Variables::ShowFirstVariable() {
    lstViewVariables.SetSelectedIndex(1);
    lstViewVariables_ItemClick(lstViewVariables.Item(1));
}

void configZD4270Variables::EnableEditing(bool bEnable) {
    for (Control* c :
         std::initializer_list<Control*>{&btnRefreshList, &btnSaveVariable, &sliValue, &txtValue}) {
        c->SetEnabled(bEnable);
    }
}

int configZD4270Variables::SelectedPos() const {
    const ListItem* item = lstViewVariables.SelectedItem();
    return item ? PosOfKey(item->Key()) : -1;
}

void configZD4270Variables::ReadVariables() {
    ReadListSteps(
        "ReadVariables", prgState, kVariableCount, [this](bool bEnable) { EnableEditing(bEnable); },
        [this] {
            for (ListItem* item : m_items) {
                item->SetSubItem(1, " ");
                item->SetSubItem(2, " ");
            }
        },
        [this](int pos) { ReadVariable(pos); });
}

void configZD4270Variables::ReadVariable(int pos) {
    const VariableEntry& entry = kVariables[static_cast<std::size_t>(pos)];
    std::int32_t& value = m_values[static_cast<std::size_t>(pos)];
    ListItem& item = *m_items[static_cast<std::size_t>(pos)];

    if (entry.kind == VarKind::RandomAddress) {
        // All three bytes are asked for even when one of them fails.
        bool ok = true;
        std::array<std::uint8_t, 3> bytes{};
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            ok = QueryDALIData(static_cast<std::int16_t>(entry.nQuery + k), 0, m_nData) ==
                     Result::Done &&
                 ok;
            if (QueryLostConnection()) break;
            bytes[k] = m_nData;
        }
        if (ok) {
            value = bytes[0] * 65536 + bytes[1] * 256 + bytes[2];
            item.SetSubItem(1, std::to_string(value));
            item.SetSubItem(2, ByteToHexText(bytes[0]) + " " + ByteToHexText(bytes[1]) + " " +
                                   ByteToHexText(bytes[2]));
        } else {
            value = -1;
            item.SetSubItem(1, "?");
            item.SetSubItem(2, "?? ?? ??");
        }
        return;
    }

    const bool ok = QueryDALIData(entry.nQuery, 0, m_nData) == Result::Done;
    const std::uint8_t answer = m_nData;
    std::string valueText = "?";
    std::string convertedText = " ";
    value = 0;
    switch (entry.kind) {
        case VarKind::Level:
            if (ok) {
                value = answer;
                valueText = std::to_string(answer);
            }
            convertedText = LevelPercentText(value);
            break;
        case VarKind::FadeRate:
            if (ok) {
                value = answer & 0x0F;
                valueText = std::to_string(value);
                convertedText = ConvertedColumnText(entry.kind, value);
            }
            break;
        case VarKind::FadeTime:
            if (ok) {
                value = (answer & 0xF0) / 16;
                valueText = std::to_string(value);
                convertedText = ConvertedColumnText(entry.kind, value);
            }
            break;
        case VarKind::Status:
            if (ok) value = answer;
            valueText = ok ? ByteToBinaryText(answer) : "???? ????";
            break;
        case VarKind::Version:
            if (ok) value = answer;
            valueText =
                ok ? std::to_string(answer >> 4) + "." + std::to_string(answer & 0x0F) : "V?.?";
            break;
        case VarKind::DeviceType:
            if (ok) {
                value = answer;
                valueText = std::to_string(answer);
            }
            break;
        case VarKind::RandomAddress:
            break;
    }
    item.SetSubItem(1, valueText);
    item.SetSubItem(2, convertedText);
}

void configZD4270Variables::lstViewVariables_ItemClick(ListItem& item) {
    Guard(m_context, "lstViewVariables_ItemClick", [&] {
        const int pos = PosOfKey(item.Key());
        if (pos < 0) return;
        const VariableEntry& entry = kVariables[static_cast<std::size_t>(pos)];
        fraVariables.SetCaption(m_context.messages.Load(entry.message));
        const bool editable = Editable(entry);
        for (Control* c :
             std::initializer_list<Control*>{&lblCaption, &txtValue, &sliValue, &lblValueUnit,
                                             &lblValueSub, &lblValueSubUnit}) {
            c->SetVisible(editable);
        }
        btnSaveVariable.SetEnabled(editable);
        if (!editable) {
            if (entry.kind == VarKind::RandomAddress) {
                lblValueUnit.SetCaption("dec");
                lblValueSubUnit.SetCaption("hex");
            }
            return;
        }
        const EditorRange range = RangeOf(entry.kind);
        lblValueUnit.SetCaption(range.unit);
        lblValueSubUnit.SetCaption(range.subUnit);
        sliValue.SetRange(range.min, range.max);
        sliValue.SetSmallChange(range.smallChange);
        sliValue.SetLargeChange(range.largeChange);
        sliValue.SetTickFrequency(range.tick);
        // A value the editor cannot take (a failed read or save) is shown at the range's end.
        const std::int32_t value =
            std::clamp(m_values[static_cast<std::size_t>(pos)], range.min, range.max);
        sliValue.SetValue(value);
        txtValue.SetText(std::to_string(value));
        lblValueSub.SetCaption(ConvertedText(entry.kind, value));
    });
}

void configZD4270Variables::sliValue_Change() {
    Guard(m_context, "sliValue_Change", [this] {
        const int pos = SelectedPos();
        if (pos < 0) return;
        const VarKind kind = kVariables[static_cast<std::size_t>(pos)].kind;
        txtValue.SetText(std::to_string(sliValue.Value()));
        if (kind == VarKind::Level || kind == VarKind::FadeRate || kind == VarKind::FadeTime) {
            lblValueSub.SetCaption(ConvertedText(kind, sliValue.Value()));
        }
    });
}

void configZD4270Variables::txtValue_Change() {
    Guard(m_context, "txtValue_Change", [this] {
        const int pos = SelectedPos();
        if (pos < 0 || !Editable(kVariables[static_cast<std::size_t>(pos)])) return;
        const EditorRange range = RangeOf(kVariables[static_cast<std::size_t>(pos)].kind);
        sliValue.SetValue(ReadEditorBox(txtValue, range.min, range.max, range.caret).value);
    });
}

void configZD4270Variables::btnSaveVariable_Click() {
    Guard(m_context, "btnSaveVariable_Click", [this] {
        const int pos = SelectedPos();
        if (pos < 0) return;
        const VariableEntry& entry = kVariables[static_cast<std::size_t>(pos)];
        if (!Editable(entry)) return;
        std::int32_t& value = m_values[static_cast<std::size_t>(pos)];
        value = sliValue.Value();
        const auto data = static_cast<std::uint8_t>(value);
        bool ok = false;
        if (entry.nStore == kCmdDirectArcPower) {
            ok = SendDALICommand(kCmdDirectArcPower, data) == Result::Done;
        } else {
            ok = SendDALICommand(kCmdDataTransferRegister, data) == Result::Done &&
                 SendDALICommand(entry.nStore, 0) == Result::Done;
        }
        ListItem& item = *m_items[static_cast<std::size_t>(pos)];
        if (ok) {
            item.SetSubItem(1, std::to_string(value));
        } else {
            value = -1;
            item.SetSubItem(1, "?");
        }
        item.SetSubItem(2, ConvertedColumnText(entry.kind, sliValue.Value()));
    });
}

void configZD4270Variables::btnRefreshList_Click() {
    ReadVariables();
    Guard(m_context, "btnRefreshList_Click", [this] { ShowFirstVariable(); });
}

}  // namespace zd
