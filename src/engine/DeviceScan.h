// The device scan: one QUERY CONTROL GEAR per short address, 0 to 63. A backward frame means
// one gear at the address; a corrupt frame means several answered at once, so the address is used
// twice on the line. The scan fills the terminal's device list afresh; a front end steps it (the
// window once per tick of its timer) or runs it whole (RunDeviceScan).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"

namespace zd {

inline constexpr std::int64_t kScanIntervalMs = 50;
inline constexpr std::int64_t kQuickScanIntervalMs = 1;

struct ScanOptions {
    // A silent address is asked once more before it is taken as free.
    bool askTwice = false;
    // The quick handshake and no pause between addresses (the scan after a fast search).
    bool quick = false;
    // Every lamp goes to its minimum before the scan and again once it is over, so that a device
    // chosen afterwards stands out (RunDeviceScan only).
    bool opticalFeedback = false;
};

// A device the scan found: its short address, and whether several gear answered there.
struct ScannedDevice {
    std::int16_t shortAddress = 0;
    bool conflict = false;
};

struct ScanReport {
    std::vector<ScannedDevice> devices;
    std::vector<AddressingRecovery> recovered;
    EngineOutcome outcome;
};

// The whole scan at the window's pace (the scheduler's timer between addresses), with progress
// after each address. cancelled() is asked between two addresses; a cancelled scan ends on what
// it has found. The device list of the terminal holds what was found.
ScanReport RunDeviceScan(AddressingLine& line, const ScanOptions& options,
                         const ProgressFn& progress = {},
                         const std::function<bool()>& cancelled = {});

// The terminal's device list by short address.
std::vector<ScannedDevice> DeviceListOf(const ModuleState& state);

}  // namespace zd
