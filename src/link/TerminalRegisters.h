// The terminal's register table (device = the terminal's position, table 0) as the control and the
// command line read and write it: the firmware version, and the feature register with its options,
// which takes a write only while the code word stands in the code word register.
#pragma once

#include <cstdint>

namespace zd {

inline constexpr std::int32_t kFirmwareRegister = 9;
inline constexpr std::int32_t kCodeWordRegister = 31;
inline constexpr std::int32_t kFeatureRegister = 32;
// Written to the code word register to open the feature register, 0 to close it again.
inline constexpr std::uint16_t kCodeWord = 0x52D6;

// Bits of the feature register. A set bit switches the option off.
inline constexpr std::uint16_t kPowerSupplyInactive = 0x0008;
inline constexpr std::uint16_t kDaliDevicesNotCounted = 0x0010;
// The operation mode in the top four bits: 0 DALI, 1 DSI.
inline constexpr std::uint16_t kOperationModeBits = 0xF000;
inline constexpr std::uint16_t kOperationModeDali = 0x0000;
inline constexpr std::uint16_t kOperationModeDsi = 0x1000;

}  // namespace zd
