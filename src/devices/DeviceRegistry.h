// The registry copy of the device list: one key per short address under the terminal's position,
// read when the control is refreshed and written when it ends, so that known ballasts are shown
// again without a scan.
#pragma once

#include <cstdint>
#include <string>

#include "link/ModuleState.h"
#include "platform/Context.h"
#include "platform/RegistryAccess.h"

namespace zd {

// "Software\VB and VBA Program Settings\OrvixVTermZD4270\Terminal_<position>\Devices\<NN>".
std::string DeviceRegistryKeyPath(std::int32_t position, int address);

// Replaces state.devices by the list stored for position and records in state.registryLoad which
// keys it read. Without a registry object it does nothing. A key that cannot be read is skipped
// and the load goes on; the first such error is shown as "Error: ReadSettingsFromRegistry: ".
void ReadSettingsFromRegistry(ModuleState& state, RegistryAccess* registry, std::int32_t position,
                              const Context& context);

// Writes the keys of position from state.devices, the missing addresses as "-1", "0", "0" where
// the last load of this position read the key; a key it did not read is left as it is unless a
// device now has its address. Errors are shown as "Error: SaveSettingsToRegistry: "; the keys
// written stay written.
void SaveSettingsToRegistry(const ModuleState& state, RegistryAccess* registry,
                            std::int32_t position, const Context& context);

}  // namespace zd
