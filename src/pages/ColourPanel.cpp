#include "pages/ColourPanel.h"

#include <string>

#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

std::string Kelvin(std::uint16_t mirek) {
    return std::to_string(KelvinFromMirek(mirek)) + " K";
}

}  // namespace

ColourPanel::ColourPanel(Kind kind, const Context& context, TerminalOf terminal)
    : m_kind(kind), m_context(context), m_terminal(std::move(terminal)) {
    for (Control* c : std::initializer_list<Control*>{&fraColour, &lblColour, &lblColourValue,
                                                      &lblColourRange, &sliColour})
        c->SetVisible(false);
    fraColour.SetCaption(Text("Colour temperature"));
    lblColour.SetCaption(Text("Colour temperature") + ":");
    sliColour.SetSmallChange(10);
    sliColour.SetLargeChange(100);
    sliColour.SetTickFrequency(500);
    sliColour.SetOrientation(Orientation::Horizontal);
    lblColourValue.SetAlignment(Alignment::Right);
    lblCoolest.SetCaption(Text("Coolest (K):"));
    lblWarmest.SetCaption(Text("Warmest (K):"));
    txtCoolest.SetAlignment(Alignment::Right);
    txtWarmest.SetAlignment(Alignment::Right);
    txtCoolest.SetMaxLength(7);
    txtWarmest.SetMaxLength(7);
    btnStoreLimits.SetCaption(Text("Store limits"));
    sliColour.Change.Connect([this] { sliColour_Change(); });
    sliColour.Scroll.Connect([this] {
        // A drag sends each step it passes, as the level slider does: the released slider
        // raises no change of its own.
        sliColour_Change();
        m_context.scheduler.DoEvents();
    });
    btnStoreLimits.Clicked.Connect([this] { btnStoreLimits_Click(); });
}

std::string ColourPanel::Text(std::string_view english,
                              std::initializer_list<std::string_view> args) const {
    return HostText(m_context.messages.GetLanguage(), english, args);
}

void ColourPanel::Place(Control& container, double top) {
    if (m_kind == Kind::Slider) {
        for (Control* c : std::initializer_list<Control*>{&lblColour, &lblColourValue,
                                                          &lblColourRange, &sliColour})
            container.AddChild(*c);
        lblColour.Move(120, top, 1800, 255);
        lblColourValue.Move(1980, top, 900, 255);
        lblColourRange.Move(3060, top, 1995, 255);
        sliColour.Move(120, top + 300, 4935, 360);
        return;
    }
    container.AddChild(fraColour);
    fraColour.Move(120, top, 5175, 1035);
    for (Control* c : std::initializer_list<Control*>{&lblCoolest, &txtCoolest, &lblWarmest,
                                                      &txtWarmest, &lblPhysical, &btnStoreLimits})
        fraColour.AddChild(*c);
    lblCoolest.Move(120, 300, 1300, 255);
    txtCoolest.Move(1440, 255, 900, 315);
    lblWarmest.Move(2655, 300, 1300, 255);
    txtWarmest.Move(4035, 255, 900, 315);
    lblPhysical.Move(120, 675, 2460, 255);
    btnStoreLimits.Move(2655, 615, 2400, 375);
}

void ColourPanel::SetShown(bool shown) {
    if (m_kind == Kind::Slider) {
        for (Control* c : std::initializer_list<Control*>{&lblColour, &lblColourValue,
                                                          &lblColourRange, &sliColour})
            c->SetVisible(shown);
    } else {
        fraColour.SetVisible(shown);
    }
    if (shown == m_shown) return;
    m_shown = shown;
    if (OnShown) OnShown(shown);
}

void ColourPanel::Tell(const std::string& text) {
    m_context.dialogs.MessageBox(
        {text, MsgButtons::Ok, MsgIcon::Information, Text("Colour temperature")});
}

void ColourPanel::Load(AddressKind kind, std::int16_t address,
                       std::optional<std::int32_t> knownType) {
    m_target = {kind, address};
    m_read.reset();
    SetShown(false);
    if (kind != AddressKind::Short || (knownType && *knownType != kDeviceTypeColour)) return;
    Guard(m_context, "ColourPanel_Load", [&] {
        EngineTerminal terminal = m_terminal();
        // Device pages exist in DALI mode; a page still open after a switch to DSI reads nothing.
        if (terminal.state.m_nOperationMode != kModeDali) return;
        ColourReadOptions options;
        options.details = false;
        ColourReadout read = ReadColour(terminal, address, options);
        if (!read.ColourGear() || !read.actual || !read.limits) return;
        m_read = std::move(read);
        Show();
    });
}

void ColourPanel::Show() {
    const ColourLimits& limits = *m_read->limits;
    m_bRefreshing = true;
    // Kelvin grows as mirek falls: the warmest limit is the slider's minimum.
    sliColour.SetRange(KelvinFromMirek(limits.warmest), KelvinFromMirek(limits.coolest));
    sliColour.SetValue(KelvinFromMirek(*m_read->actual));
    m_bRefreshing = false;
    lblColourValue.SetCaption(Kelvin(*m_read->actual));
    lblColourRange.SetCaption("[" + Kelvin(limits.warmest) + "..." + Kelvin(limits.coolest) + "]");
    txtCoolest.SetText(std::to_string(KelvinFromMirek(limits.coolest)));
    txtWarmest.SetText(std::to_string(KelvinFromMirek(limits.warmest)));
    lblPhysical.SetCaption(
        Text("Physical: %1...%2 K", {std::to_string(KelvinFromMirek(limits.physicalWarmest)),
                                     std::to_string(KelvinFromMirek(limits.physicalCoolest))}));
    SetShown(true);
}

void ColourPanel::sliColour_Change() {
    if (m_bRefreshing || !m_read) return;
    Guard(m_context, "sliColour_Change", [this] {
        const std::optional<std::uint16_t> mirek = MirekFromKelvin(sliColour.Value());
        lblColourValue.SetCaption(std::to_string(sliColour.Value()) + " K");
        if (!mirek) return;
        EngineTerminal terminal = m_terminal();
        ColourOptions options;
        options.readBack = false;
        options.checkType = false;
        // The slider stays within the limits read: the gear's own check is not needed per step.
        const ColourSetResult result = SetColourTemperature(terminal, m_target, *mirek, options);
        if (!result.outcome.Ok()) lblColourValue.SetCaption("?");
    });
}

void ColourPanel::btnStoreLimits_Click() {
    if (!m_read) return;
    Guard(m_context, "btnStoreLimits_Click", [this] {
        const auto parse = [](const std::string& text) -> std::optional<std::uint16_t> {
            try {
                std::size_t used = 0;
                const long long kelvin = std::stoll(text, &used);
                if (used != text.size()) return std::nullopt;
                return MirekFromKelvin(kelvin);
            } catch (...) {
                return std::nullopt;
            }
        };
        const auto coolest = parse(txtCoolest.Text());
        const auto warmest = parse(txtWarmest.Text());
        if (!coolest || !warmest) {
            Tell(Text("A colour temperature is 16 K to 1000000 K."));
            return;
        }
        ColourLimitsChange change;
        change.coolest = coolest;
        change.warmest = warmest;
        EngineTerminal terminal = m_terminal();
        const ColourLimitsResult result = SetColourLimits(terminal, m_target, change);
        if (result.after) {
            m_read->limits = result.after;
            Show();
        }
        // What the gear keeps is in the boxes now; a limit it did not take is said in a box.
        if (!result.outcome.Ok()) Tell(result.outcome.text);
    });
}

}  // namespace zd
