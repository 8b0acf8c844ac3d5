#include "devices/DeviceRegistry.h"

#include <cstdio>

#include "devices/NumericText.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr std::uint32_t kRoot = RegistryAccess::kHkeyCurrentUser;
constexpr const char* kValueShortAddress = "Short Address";
constexpr const char* kValueRandomAddress = "Random Address";
constexpr const char* kValueDALIConflict = "DALI Conflict";
constexpr int kAddressCount = 64;

// The record stored under one key, or nothing when the key names no device.
std::optional<clsDevice> ReadDevice(RegistryAccess& registry, const std::string& keyPath) {
    std::string text;
    if (!registry.ReadString(kRoot, keyPath, kValueShortAddress, text) || !IsNumericText(text)) {
        return std::nullopt;
    }
    // A number past the 16-bit range is an overflow error, which ends the load.
    std::int16_t shortAddress = TextToInteger(text);
    if (shortAddress < 0 || shortAddress > 63) return std::nullopt;

    clsDevice device;
    device.m_nShortAddress = shortAddress;
    device.m_nNewShortAddress = shortAddress;
    if (registry.ReadString(kRoot, keyPath, kValueRandomAddress, text) && IsNumericText(text)) {
        device.m_nRandomAddress = TextToLong(text);
    }
    if (registry.ReadString(kRoot, keyPath, kValueDALIConflict, text) && IsNumericText(text)) {
        device.m_bDALIConflict = *ParseNumericText(text) != 0;
    }
    return device;
}

}  // namespace

std::string DeviceRegistryKeyPath(std::int32_t position, int address) {
    char nn[8];
    std::snprintf(nn, sizeof nn, "%02d", address);
    return std::string("Software\\VB and VBA Program Settings\\") + kLibraryTitle + "\\Terminal_" +
           std::to_string(position) + "\\Devices\\" + nn;
}

void ReadSettingsFromRegistry(ModuleState& state, RegistryAccess* registry, std::int32_t position,
                              const Context& context) {
    Guard(context, "ReadSettingsFromRegistry", [&] {
        if (!registry) return;
        state.devices = std::make_shared<colDevices>();
        state.registryLoad = {position, {}};
        bool reported = false;
        for (int i = 0; i < kAddressCount; ++i) {
            // A key whose values cannot be taken (a number past its type) is shown and skipped,
            // and the load goes on: one damaged value must not cost the devices stored after it.
            // The key stays unread, so the save leaves it alone. Only the first such error is
            // shown, so that a damaged store does not bring up a box per key.
            try {
                std::optional<clsDevice> device =
                    ReadDevice(*registry, DeviceRegistryKeyPath(position, i));
                state.registryLoad.keysRead.set(static_cast<std::size_t>(i));
                // Two keys naming one short address: the first record stays.
                if (device) state.devices->Add(*device);
            } catch (...) {
                if (!reported) ReportCurrentException(context, "ReadSettingsFromRegistry");
                reported = true;
            }
        }
    });
}

void SaveSettingsToRegistry(const ModuleState& state, RegistryAccess* registry,
                            std::int32_t position, const Context& context) {
    Guard(context, "SaveSettingsToRegistry", [&] {
        if (!registry) return;
        // "No device" is written only into keys the load of this position has read. A key it
        // skipped, or every key when no load ran (a refresh that failed before it), may hold a
        // device the list never knew, and overwriting it would lose that device for good.
        const std::bitset<64> keysRead = state.registryLoad.position == position
                                             ? state.registryLoad.keysRead
                                             : std::bitset<64>();
        for (int i = 0; i < kAddressCount; ++i) {
            const std::string keyPath = DeviceRegistryKeyPath(position, i);
            const clsDevice* device = state.devices ? state.devices->Item(i) : nullptr;
            if (device) {
                registry->WriteString(kRoot, keyPath, kValueShortAddress,
                                      std::to_string(device->m_nShortAddress));
                registry->WriteString(kRoot, keyPath, kValueRandomAddress,
                                      std::to_string(device->m_nRandomAddress));
                registry->WriteString(kRoot, keyPath, kValueDALIConflict,
                                      device->m_bDALIConflict ? "1" : "0");
            } else if (keysRead[static_cast<std::size_t>(i)]) {
                registry->WriteString(kRoot, keyPath, kValueShortAddress, "-1");
                registry->WriteString(kRoot, keyPath, kValueRandomAddress, "0");
                registry->WriteString(kRoot, keyPath, kValueDALIConflict, "0");
            }
        }
    });
}

}  // namespace zd
