// Inside the engine: the device scan, one address at a time. Only the engine and the form, which
// steps it on its own timer, include this; every other front end runs the whole procedure through
// engine/DeviceScan.h.
#pragma once

#include <cstdint>

#include "engine/DeviceScan.h"

namespace zd {

class DeviceScan {
  public:
    explicit DeviceScan(AddressingLine& line) : m_line(line) {}

    // A new, empty device list, no recoveries, the link in a procedure; the next address is 0.
    void Begin(const ScanOptions& options);
    // Queries the next address and adds what answered to the device list; true once the last
    // address has been queried. found tells whether a device answered.
    bool QueryNext(bool& found);
    // The link leaves the procedure.
    void End();
    // The short address queried next.
    std::int16_t Address() const { return m_address; }

  private:
    AddressingLine& m_line;
    ScanOptions m_options;
    std::int16_t m_address = 0;
};

}  // namespace zd
