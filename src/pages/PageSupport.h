// What the device pages share: the texts of levels and fade values they display (LevelText.h),
// the reading of a number box's text, and the base page that raises the DALI requests with its own
// variables and keeps the address properties in their ranges.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/DeviceWrites.h"
#include "engine/LevelText.h"
#include "engine/Terminal.h"
#include "frame/PageEvents.h"
#include "platform/Context.h"
#include "ui/Slider.h"
#include "ui/TextBox.h"

namespace zd {

// What a number box holds: a number (rounded to 16 bits), nothing, or other text.
enum class BoxTextKind { Numeric, Empty, Other };
struct BoxText {
    BoxTextKind kind = BoxTextKind::Empty;
    std::int16_t value = 0;
};
// Throws ControlError "Overflow" for a number outside 16 bits.
BoxText ReadBoxText(const std::string& text);

// Puts the caret after the given character with nothing selected.
void PlaceCaret(TextBox& box, int position);

// What the value editor of a page (scenes, variables) takes from its text box after a change: a
// number is clamped to min..max and written back; other text becomes "0" and an empty box stays
// as it is, both standing for 0 clamped to the range. A number outside 16 bits becomes "0" and
// overflow. Each rewrite puts the caret after the given character.
struct EditorBoxValue {
    int value = 0;
    bool overflow = false;
};
EditorBoxValue ReadEditorBox(TextBox& box, int min, int max, int caret);

// A device page: raises "SendDALICommand" and "ReceiveDALIData" with its own variables and
// takes only addresses 0..63 and address types 0..2. Created hidden: its owner shows it.
class DaliDevicePage : public DevicePage {
  public:
    DaliDevicePage(std::string name, const Context& context);

    void SetDALIAddr(std::int16_t nAddr) override;
    void SetDALIAddrType(AddressKind nAddrType) override;

  protected:
    // Reads the page's list step by step while the user watches: enable(false) locks the editing,
    // clear empties the list, the progress bar counts the steps and the window keeps running
    // between them. A lost connection ends the reading with what it has read. An error unlocks
    // the editing and is reported under procedure.
    void ReadListSteps(const char* procedure, ProgressBar& progress, int steps,
                       const std::function<void(bool)>& enable, const std::function<void()>& clear,
                       const std::function<void(int)>& readStep);

    // Asks the main control to send the command; the result code of the transaction.
    Result SendDALICommand(std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                           std::int16_t nAddr);
    // The same, to the page's own address type and address.
    Result SendDALICommand(std::int16_t nCommandId, std::uint8_t nData) {
        return SendDALICommand(nCommandId, nData, DALIAddrType(), DALIAddr());
    }
    // Asks for the answer to the last command; nData receives it (0 when there is none).
    Result ReceiveDALIData(std::uint8_t& nData);
    // A query and its answer: 0 when both succeeded, otherwise the first failure.
    Result QueryDALIData(std::int16_t nCommandId, std::uint8_t nQueryData, std::uint8_t& nData);
    // The last query failed in the device communication itself (result 1: the connection is
    // gone, its box shown). A read loop stops there instead of failing with a box per value; what
    // it has read stays shown.
    bool QueryLostConnection() const { return m_bQueryLostConnection; }
    // The terminal the page writes to, for the engine's writes. ControlError when the page has
    // none attached.
    EngineTerminal WriteTerminal();
    // A page writes without the engine's read-back: its list shows what it sent, and its Refresh
    // button reads the device again.
    static DeviceWriteOptions PageWriteOptions() {
        DeviceWriteOptions options;
        options.readBack = false;
        return options;
    }
    // The information box of a refused request: message id followed by "!".
    void ShowModeRefusal(int messageId);

    Context m_context;

  private:
    bool m_bQueryLostConnection = false;
};

}  // namespace zd
