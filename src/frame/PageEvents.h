// What passes between a device page and the main control: the page raises an event by name with
// named by-reference parameters, and the main control runs the transaction inside the raise and
// writes the results into the page's own variables before the raise returns. A page's writes go
// through the engine, on the terminal the main control attaches to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/Commands.h"
#include "ui/Control.h"
#include "ui/Event.h"

namespace zd {

class Link;
struct Context;
struct ModuleState;

// The named parameters of one raise, each bound to a variable of the page.
class EventParams {
  public:
    using Ref = std::variant<std::int16_t*, std::uint8_t*, std::int32_t*, std::string*>;

    // Binds name to the page's variable; a name bound again takes the new variable.
    EventParams& Bind(std::string name, std::int16_t& value) {
        return BindRef(std::move(name), &value);
    }
    EventParams& Bind(std::string name, std::uint8_t& value) {
        return BindRef(std::move(name), &value);
    }
    EventParams& Bind(std::string name, std::int32_t& value) {
        return BindRef(std::move(name), &value);
    }
    // A parameter that holds text, converted as a number when read.
    EventParams& Bind(std::string name, std::string& value) {
        return BindRef(std::move(name), &value);
    }

    bool Has(std::string_view name) const { return Find(name) != nullptr; }

    // The value of name. Throws ControlError: a missing name (5), text that is no number (13).
    std::int32_t Get(std::string_view name) const;
    // Writes value into name's variable. Throws ControlError: a missing name (5), a value that
    // does not fit the variable (6); the variable then keeps what it held.
    void Set(std::string_view name, std::int32_t value);

  private:
    EventParams& BindRef(std::string name, Ref ref);
    const Ref* Find(std::string_view name) const;

    std::vector<std::pair<std::string, Ref>> m_params;
};

// The kinds of device page, each with one reference in the main control; the emergency page only
// for emergency lighting gear.
enum class PageKind { Commands, LightControl, Variables, Groups, Scenes, Emergency };
inline constexpr int kPageKindCount = 6;

// The control name and class of each page kind: "configZD4270Commands" ...
const char* PageClassName(PageKind kind);

// The side of a device page the main control sees: the page's events and its address properties.
// The pages themselves derive from it.
class DevicePage : public Control {
  public:
    explicit DevicePage(std::string name) : Control(std::move(name)) {}

    // Raised by the page; the receiver handles it synchronously and writes results back into
    // params.
    Event<std::string_view, EventParams&> ObjectEvent;
    void RaiseEvent(std::string_view eventName, EventParams& params) {
        ObjectEvent.Raise(eventName, params);
    }

    // The address the page works on (every page but the commands page uses them).
    std::int16_t DALIAddr() const { return m_nDALIAddr; }
    AddressKind DALIAddrType() const { return m_nDALIAddrType; }
    // Setting an address may make a page read its device.
    virtual void SetDALIAddr(std::int16_t nAddr) { m_nDALIAddr = nAddr; }
    virtual void SetDALIAddrType(AddressKind nAddrType) { m_nDALIAddrType = nAddrType; }

    // The terminal the page writes to through the engine, attached by the main control as it
    // places the page; a page nobody attached cannot write.
    void AttachTerminal(ModuleState& state, Link& link, std::int32_t position) {
        m_terminalState = &state;
        m_terminalLink = &link;
        m_terminalPosition = position;
    }

  protected:
    ModuleState* m_terminalState = nullptr;
    Link* m_terminalLink = nullptr;
    std::int32_t m_terminalPosition = 0;

  private:
    std::int16_t m_nDALIAddr = -1;
    AddressKind m_nDALIAddrType = AddressKind::Short;
};

// Creates the device page of one kind when a node of the device tree is selected, named by
// PageClassName(kind); the pages part defines it. The page is returned hidden and unconnected;
// configZD4270::SetPage places, connects and shows it. The pages read the terminal's operation
// mode from state when they are used (the commands page refuses DALI commands in DSI mode and DSI
// commands in DALI mode), so state must outlive the page.
std::unique_ptr<DevicePage> CreateDevicePage(PageKind kind, const Context& context,
                                             const ModuleState& state);

}  // namespace zd
