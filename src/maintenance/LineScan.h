// The device scan as every host runs it: the engine's scan on the terminal's line, its progress
// shown by the host, a signal or a cancel between two addresses, and the form's views told that
// the device list was replaced.
#pragma once

#include "connection/ControlRun.h"
#include "engine/DeviceScan.h"

namespace zd {

// Runs the device scan to its end; CommandFailed when it is refused, the connection is lost or it
// does not end in time. The terminal's device list then holds what answered.
void RunDeviceScan(ControlRun& run, const ScanOptions& options = {});

}  // namespace zd
