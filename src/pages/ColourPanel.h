// The colour temperature of tunable-white gear (device type 8) on a device page: a slider row on
// the light control page, the limits with their editor on the variables page. The panel stays
// hidden for gear of any other type, and for a group or the whole line, which it cannot read; the
// page makes room for it only while it is shown, so that other gear keep the page as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/ColourTemperature.h"
#include "platform/Context.h"
#include "ui/Controls.h"

namespace zd {

class ColourPanel {
  public:
    enum class Kind { Slider, Limits };
    using TerminalOf = std::function<EngineTerminal()>;

    ColourPanel(Kind kind, const Context& context, TerminalOf terminal);

    // Puts the panel into container at top (in twips): the slider row into a frame of the page,
    // the limits as a frame of their own.
    void Place(Control& container, double top);
    // Told when the panel appears or goes, for the page to arrange its other controls.
    std::function<void(bool shown)> OnShown;
    // Reads the gear at the short address: shown for type 8 gear, hidden otherwise. The panel
    // sends nothing until it has read a gear of its type. A device type the page has read
    // already saves the question (and for other gear, all traffic).
    void Load(AddressKind kind, std::int16_t address,
              std::optional<std::int32_t> knownType = std::nullopt);
    bool Shown() const { return m_shown; }
    const std::optional<ColourReadout>& Readout() const { return m_read; }

    Frame fraColour{"fraColour"};
    // Light control: the colour in kelvin, from the warmest limit (left) to the coolest.
    Label lblColour{"lblColour"};
    Slider sliColour{"sliColour", 2700, 6500};
    Label lblColourValue{"lblColourValue"};
    Label lblColourRange{"lblColourRange"};
    // Variables: the limits in kelvin, the configured ones editable.
    Label lblCoolest{"lblCoolest"};
    TextBox txtCoolest{"txtCoolest"};
    Label lblWarmest{"lblWarmest"};
    TextBox txtWarmest{"txtWarmest"};
    Label lblPhysical{"lblPhysical"};
    Button btnStoreLimits{"btnStoreLimits"};

  private:
    void Show();
    void SetShown(bool shown);
    // An information box, as the pages show a refusal.
    void Tell(const std::string& text);
    void sliColour_Change();
    void btnStoreLimits_Click();
    std::string Text(std::string_view english,
                     std::initializer_list<std::string_view> args = {}) const;

    Kind m_kind;
    Context m_context;
    TerminalOf m_terminal;
    ColourTarget m_target;
    std::optional<ColourReadout> m_read;
    // Set while the panel itself moves the slider: that is no user's change to send.
    bool m_bRefreshing = false;
    bool m_shown = false;
};

}  // namespace zd
