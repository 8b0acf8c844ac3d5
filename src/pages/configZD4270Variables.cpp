#include "pages/configZD4270Variables.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/DeviceReadout.h"
#include "engine/VariableText.h"
#include "link/Commands.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

namespace {

enum class VarKind { Level, FadeRate, FadeTime, RandomAddress, Status, Version, DeviceType };

// The rows' keys, captions and queries are the engine's and VariableText's; the page adds how it
// edits each one.
struct VariableEntry {
    DeviceVariable variable;
    VarKind kind;
};

constexpr std::array<VariableEntry, configZD4270Variables::kVariableCount> kVariables{{
    {DeviceVariable::ActualLevel, VarKind::Level},
    {DeviceVariable::PowerOnLevel, VarKind::Level},
    {DeviceVariable::SystemFailureLevel, VarKind::Level},
    {DeviceVariable::MinLevel, VarKind::Level},
    {DeviceVariable::MaxLevel, VarKind::Level},
    {DeviceVariable::FadeRate, VarKind::FadeRate},
    {DeviceVariable::FadeTime, VarKind::FadeTime},
    {DeviceVariable::RandomAddress, VarKind::RandomAddress},
    {DeviceVariable::Status, VarKind::Status},
    {DeviceVariable::Version, VarKind::Version},
    {DeviceVariable::DeviceType, VarKind::DeviceType},
    {DeviceVariable::PhysicalMinLevel, VarKind::Level},
}};
static_assert(configZD4270Variables::kVariableCount == kDeviceVariableCount);
static_assert([] {
    for (int pos = 0; pos < kDeviceVariableCount; ++pos)
        if (kVariables[static_cast<std::size_t>(pos)].variable != DeviceVariableAt(pos))
            return false;
    return true;
}());

// The engine knows which variables a write can store.
bool Editable(const VariableEntry& entry) {
    return DeviceVariableWritable(entry.variable);
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

int PosOfKey(const std::string& key) {
    for (std::size_t pos = 0; pos < kVariables.size(); ++pos) {
        if (key == VariableKey(kVariables[pos].variable)) return static_cast<int>(pos);
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
        const DeviceVariable variable = kVariables[pos].variable;
        m_items[pos] = &lstViewVariables.AddItem(msg.Load(VariableCaptionMessage(variable)),
                                                 VariableKey(variable));
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
    colourPanel.Place(*this, 4935);
    colourPanel.OnShown = [this](bool shown) { ArrangeForColour(shown); };
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
    LoadColour();
}

void configZD4270Variables::ArrangeForColour(bool shown) {
    const double up = shown ? 720 : 0;
    lstViewVariables.Move(120, 120, 5175, 3360 - up);
    fraVariables.Move(120, 3600 - up, 5175, 1935);
    btnRefreshList.Move(120, shown ? 6030 : 5700, 1800, 375);
    prgState.Move(2040, shown ? 6090 : 5760, 3255, 255);
}

void configZD4270Variables::LoadColour() {
    colourPanel.Load(
        DALIAddrType(), DALIAddr(),
        m_values[static_cast<std::size_t>(DeviceVariablePos(DeviceVariable::DeviceType))]);
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
    const std::int16_t nQuery = DeviceVariableQuery(entry.variable);

    std::optional<std::int32_t> read;
    if (entry.kind == VarKind::RandomAddress) {
        // All three bytes are asked for even when one of them fails.
        bool ok = true;
        std::int32_t address = 0;
        for (int k = 0; k < 3; ++k) {
            ok = QueryDALIData(static_cast<std::int16_t>(nQuery + k), 0, m_nData) == Result::Done &&
                 ok;
            if (QueryLostConnection()) break;
            address = address * 256 + m_nData;
        }
        if (ok) read = address;
        value = read.value_or(-1);
    } else {
        if (QueryDALIData(nQuery, 0, m_nData) == Result::Done)
            read = DeviceVariableValue(entry.variable, m_nData);
        value = read.value_or(0);
    }
    const VariableTexts texts = FormatVariable(entry.variable, read);
    item.SetSubItem(1, texts.value);
    item.SetSubItem(2, texts.converted);
}

void configZD4270Variables::lstViewVariables_ItemClick(ListItem& item) {
    Guard(m_context, "lstViewVariables_ItemClick", [&] {
        const int pos = PosOfKey(item.Key());
        if (pos < 0) return;
        const VariableEntry& entry = kVariables[static_cast<std::size_t>(pos)];
        fraVariables.SetCaption(m_context.messages.Load(VariableCaptionMessage(entry.variable)));
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
        EngineTerminal terminal = WriteTerminal();
        const VariablesWriteReport report = WriteVariables(
            terminal, DALIAddr(), {{entry.variable, static_cast<std::uint8_t>(value), {}}},
            PageWriteOptions());
        const bool ok = report.writes.front().result.sent;
        ListItem& item = *m_items[static_cast<std::size_t>(pos)];
        if (ok) {
            item.SetSubItem(1, std::to_string(value));
        } else {
            value = -1;
            item.SetSubItem(1, "?");
        }
        item.SetSubItem(2, FormatVariable(entry.variable, sliValue.Value()).converted);
    });
}

void configZD4270Variables::btnRefreshList_Click() {
    ReadVariables();
    Guard(m_context, "btnRefreshList_Click", [this] { ShowFirstVariable(); });
    LoadColour();
}

}  // namespace zd
