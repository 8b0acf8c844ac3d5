// The addressing commands: random addressing (by the control or the terminal firmware, as the
// control chooses), single assignment and change addresses, each through the addressing tab's
// controls.
#include <utility>

#include "cli/HeadlessCommands.h"
#include "link/Commands.h"

namespace zd {

namespace {

// The list index of MASK in the address combos: the addresses 0 to 63 come first.
constexpr int kMaskListIndex = 64;

int ListIndexOf(int address) {
    return address == kDaliMask ? kMaskListIndex : address;
}

Json AddressJson(int address) {
    return address == kDaliMask ? Json("mask") : Json(address);
}

std::set<int> DeviceAddresses(const ModuleState& state) {
    std::set<int> addresses;
    if (state.devices)
        for (const auto& [key, device] : state.devices->Items())
            addresses.insert(device->m_nShortAddress);
    return addresses;
}

}  // namespace

PreparedCommand PrepareAddressRandom(const CommandArguments& arguments) {
    const auto startText = arguments.Value("--start");
    const int start = startText ? ParseNumber(*startText, 0, kMaxShortAddress, "--start") : 0;
    const bool newInstallation = arguments.Has("--new-installation");
    const bool deleteGroups = arguments.Has("--delete-groups");
    const bool deleteScenes = arguments.Has("--delete-scenes");
    const bool opticalFeedback = arguments.Has("--optical-feedback");
    return [=](HeadlessSession& session) {
        configZD4270& control = session.Control();
        // The terminal's own search can light each gear it addresses; the control's search
        // lights each one anyway, and the window hides the check box for it.
        if (opticalFeedback && !control.chkRndAddrOpticalFeedback.Visible()) {
            throw CommandFailed(
                "--optical-feedback needs the terminal's own random addressing (firmware 1M or "
                "later)");
        }
        control.chkRndAddrOpticalFeedback.SetChecked(opticalFeedback);
        control.cboRndAddrStartAddress.SetListIndex(start);
        control.chkRndAddrCompleteNewInstallation.SetChecked(newInstallation);
        control.chkRndAddrDeleteAllGroupAssignments.SetChecked(deleteGroups);
        control.chkRndAddrDeleteAllScenes.SetChecked(deleteScenes);
        const bool byTerminal = session.State().m_nFirmwareVersion >= kFirmwareAddressingVersion;
        const Json variant = byTerminal ? "terminal" : "control";

        const std::size_t mark = session.BoxCount();
        control.cmdRndAddrStart.Click();
        if (!control.m_bRndAddrRunning) {
            FailOnErrorBox(session, mark, {{"variant", variant}});
            throw CommandFailed(
                session.LastBoxSince(mark).value_or("the random addressing did not start"),
                {{"variant", variant}});
        }
        if (!session.RunUntil([&] { return !control.m_bRndAddrRunning; }))
            throw CommandFailed("the random addressing did not end in time",
                                {{"variant", variant}});
        FailOnErrorBox(session, mark, {{"variant", variant}});
        // The terminal's run tells the control how many it addressed, not which: a scan finds them.
        if (byTerminal) RunDeviceScan(session);
        return Json{{"variant", variant},
                    {"startAddress", start},
                    {"devices", DevicesJson(session.State())}};
    };
}

PreparedCommand PrepareAddressSingle(const CommandArguments& arguments) {
    const int address = ParseAddressOrMask(arguments.words.at(0), "address single");
    // Every ballast on the line takes this address: nothing happens unless it is asked for.
    if (!arguments.Has("--yes")) {
        throw UsageError(
            "address single gives every ballast on the line the same address; "
            "confirm with --yes");
    }
    return [=](HeadlessSession& session) {
        configZD4270& control = session.Control();
        session.Dialogs().SetAssumeYes(true);
        control.cboSingleAssignAddress.SetListIndex(ListIndexOf(address));
        const std::size_t mark = session.BoxCount();
        control.cmdSingleAssignStart.Click();
        session.Dialogs().SetAssumeYes(false);
        FailOnErrorBox(session, mark);
        if (session.State().m_nOperationMode != kModeDali) {
            throw CommandFailed(session.LastBoxSince(mark).value_or("the terminal is in DSI mode"));
        }
        return Json{{"address", AddressJson(address)}, {"devices", DevicesJson(session.State())}};
    };
}

PreparedCommand PrepareAddressChange(const CommandArguments& arguments) {
    std::vector<std::pair<int, int>> plan;
    for (const std::string& word : arguments.words) {
        const std::size_t colon = word.find(':');
        if (colon == std::string::npos)
            throw UsageError("address change takes OLD:NEW pairs, not \"" + word + "\"");
        const int from = ParseNumber(word.substr(0, colon), 0, kMaxShortAddress, "OLD");
        const int to = ParseAddressOrMask(word.substr(colon + 1), "NEW");
        for (const auto& [planned, ignored] : plan)
            if (planned == from)
                throw UsageError("address " + std::to_string(from) + " is planned twice");
        plan.emplace_back(from, to);
    }
    return [plan](HeadlessSession& session) {
        configZD4270& control = session.Control();
        RunDeviceScan(session);
        const std::set<int> before = DeviceAddresses(session.State());
        Json changes = Json::array();
        std::set<int> expected = before;
        for (const auto& [from, to] : plan) {
            changes.push_back({{"from", from}, {"to", AddressJson(to)}});
            expected.erase(from);
        }
        for (const auto& [from, to] : plan)
            if (to != kDaliMask) expected.insert(to);

        // The plan is made as the user makes it: pick the device's row, then its new address.
        for (const auto& [from, to] : plan) {
            int row = 0;
            for (int i = 1; i <= control.lstChangeAddrView.ItemCount(); ++i)
                if (control.lstChangeAddrView.Item(i).Text() == std::to_string(from)) row = i;
            if (row == 0) {
                throw CommandFailed("no device answers at address " + std::to_string(from),
                                    {{"devices", DevicesJson(session.State())}});
            }
            control.lstChangeAddrView.ClickItem(row);
            // An equal list index raises nothing, so the combo is cleared first.
            control.cboChangeAddrNewAddress.SetListIndex(-1);
            control.cboChangeAddrNewAddress.SetListIndex(ListIndexOf(to));
        }

        const std::size_t mark = session.BoxCount();
        control.cmdChangeAddrStart.Click();
        if (!control.m_bChangeAddrRunning) {
            throw CommandFailed(
                session.LastBoxSince(mark).value_or("the address change did not start"),
                {{"changes", changes}});
        }
        if (!session.RunUntil([&] { return !control.m_bChangeAddrRunning; }))
            throw CommandFailed("the address change did not end in time", {{"changes", changes}});
        const Json details = {{"changes", changes}, {"devices", DevicesJson(session.State())}};
        FailOnErrorBox(session, mark, details);
        if (DeviceAddresses(session.State()) != expected) {
            throw CommandFailed(
                session.LastBoxSince(mark).value_or("not every address was changed"), details);
        }
        return details;
    };
}

}  // namespace zd
