// Creates the device page of one kind when a node of the device tree is selected. The page is
// returned hidden and unconnected; configZD4270::SetPage places, connects and shows it.
#pragma once

#include <memory>

#include "frame/PageEvents.h"
#include "link/ModuleState.h"
#include "platform/Context.h"

namespace zd {

// The page of the given kind, named by PageClassName(kind). The pages read the terminal's
// operation mode from state when they are used (the commands page refuses DALI commands in DSI
// mode and DSI commands in DALI mode), so state must outlive the page.
std::unique_ptr<DevicePage> CreateDevicePage(PageKind kind, const Context& context,
                                             const ModuleState& state);

}  // namespace zd
