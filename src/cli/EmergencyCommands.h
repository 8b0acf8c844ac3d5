// The commands for emergency lighting gear (device type 1): "emergency status", "emergency test"
// and "emergency timing".
#pragma once

#include "cli/HeadlessCommands.h"

namespace zd {

PreparedCommand PrepareEmergencyStatus(const CommandArguments& arguments);
PreparedCommand PrepareEmergencyTest(const CommandArguments& arguments);
// The same test for a session held open: started in the gear, followed by the session between
// other jobs; the job returns at once.
PreparedCommand PrepareEmergencyTestInGear(const CommandArguments& arguments);
PreparedCommand PrepareEmergencyTiming(const CommandArguments& arguments);

}  // namespace zd
