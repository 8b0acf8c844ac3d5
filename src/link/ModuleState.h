// The library-wide state of the control: the device-communication object, where the terminal's
// bytes lie in the process image, its byte order, firmware version and operation mode, and the
// device list. One shared instance serves the process; tests make their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "link/Device.h"
#include "platform/DevCom.h"

namespace zd {

struct ProcessImageEntry {
    std::int32_t nWordOffset = -1;
    std::int32_t nBitOffset = -1;
    std::int32_t nTableNumber = -1;
};

// Indices into ProcessImageLayout, in the order the control reads them.
enum ProcessImageIndex : int { kStatus = 0, kInput = 1, kControl = 2, kOutput = 3 };

inline constexpr const char* kProcessImageNames[4] = {"STATUS", "INPUT", "CONTROL", "OUTPUT"};

// Operation modes of the terminal (feature register bits 12 to 15).
inline constexpr std::int32_t kModeDali = 0;
inline constexpr std::int32_t kModeDsi = 1;

struct ModuleState {
    std::shared_ptr<DevCom> objDevCom;
    std::array<ProcessImageEntry, 4> ProcessImageLayout{};
    bool m_bMotorola = false;
    std::int32_t m_nFirmwareVersion = 0;
    std::int32_t m_nOperationMode = kModeDali;
    std::shared_ptr<colDevices> devices = std::make_shared<colDevices>();
    DeviceRegistryLoad registryLoad;

    // The process-wide instance, shared by every control that is not given its own.
    static ModuleState& Shared() {
        static ModuleState state;
        return state;
    }
};

}  // namespace zd
