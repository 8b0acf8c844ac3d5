// What a refresh learned about the terminal, for a front end to show: where it sits, its channel,
// name and status offset from the station's node, its coupler's byte order and its firmware.
#pragma once

#include <cstdint>
#include <string>

namespace zd {

struct TerminalDescription {
    // The node's process data was read: position, channel, name and offset hold what it says.
    bool nodeRead = false;
    std::int32_t position = -1;
    // Counted from 1.
    std::int64_t channel = 0;
    std::string deviceName;
    // "7 [Byte]": where the status byte lies in the process image.
    std::string offsetText;
    bool motorola = false;
    // "0x314D  (1M)", empty until the firmware register was read.
    std::string firmwareText;
};

inline const char* ByteOrderText(bool motorola) {
    return motorola ? "Motorola" : "Intel";
}

}  // namespace zd
