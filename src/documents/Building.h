// A building: a station document with several couplers and many ZD4270 terminals, each with its
// own DALI line. Lists the terminals with their coupler, finds each one's line file in a folder,
// and serves all the terminals of one coupler as one device-communication object, as the coupler
// does on the fieldbus.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "documents/StationDocument.h"
#include "platform/DevCom.h"
#include "platform/Scheduler.h"
#include "transport/SimDevCom.h"

namespace zd {

struct StationTerminal {
    XmlNode node;
    std::int32_t position = -1;
    std::string name;
    // The coupler's place among the station's couplers, from 0, and its name.
    int coupler = 0;
    std::string couplerName;
};

// Every ZD4270 of the station, in document order. The store keeps a device list per position, so
// two ZD4270 at one position would share one: ControlError naming both.
std::vector<StationTerminal> StationZd4270Terminals(const StationDocument& station);

// The couplers of the station, by name, in document order.
std::vector<std::string> StationCouplers(const StationDocument& station);

// "DIR/pos-N.json".
std::string LineFileOfPosition(const std::string& folder, std::int32_t position);

// The simulated terminals of one coupler behind one device-communication object: process-image
// words go to the terminal whose bytes lie in them (several terminals share the coupler's
// tables), registers to the terminal at the position, the watchdog message to every terminal.
// Words of no ZD4270 (the coupler's other terminals) read as 0 and take writes without effect.
class CouplerDevCom : public DevCom {
  public:
    // Throws ControlError when two terminals have bytes in one word: each terminal writes its
    // output words whole, so two terminals in one word would overwrite each other's bytes.
    explicit CouplerDevCom(std::vector<std::shared_ptr<SimDevCom>> terminals);

    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData) override;
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData) override;

    const std::vector<std::shared_ptr<SimDevCom>>& Terminals() const { return m_terminals; }

  private:
    // The terminal whose bytes lie in the word, or -1.
    int Owner(std::int32_t table, std::int32_t word) const;
    SimDevCom& AtPosition(std::int32_t position);

    std::vector<std::shared_ptr<SimDevCom>> m_terminals;
    // (table, word) -> index into m_terminals.
    std::vector<std::pair<std::pair<std::int32_t, std::int32_t>, int>> m_owners;
};

}  // namespace zd
