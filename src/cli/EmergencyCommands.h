// The commands for emergency lighting gear (device type 1): "emergency status", "emergency test"
// and "emergency timing".
#pragma once

#include "cli/HeadlessCommands.h"

namespace zd {

PreparedCommand PrepareEmergencyStatus(const CommandArguments& arguments);
PreparedCommand PrepareEmergencyTest(const CommandArguments& arguments);
PreparedCommand PrepareEmergencyTiming(const CommandArguments& arguments);

}  // namespace zd
