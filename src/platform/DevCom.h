// The host's device-communication object: 16-bit words of the terminal's tables. nDevice 0 reaches
// the process image, nDevice = terminal position its registers. A failure throws ControlError.
#pragma once

#include <cstdint>

namespace zd {

class DevCom {
  public:
    virtual ~DevCom() = default;
    // Fills pData[0..nCount) with nCount words.
    virtual void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                           std::int32_t nCount, std::uint16_t* pData) = 0;
    // Writes nCount words from pData.
    virtual void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                            std::int32_t nCount, const std::uint16_t* pData) = 0;
};

}  // namespace zd
