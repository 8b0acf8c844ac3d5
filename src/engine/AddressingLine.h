// The line as an addressing procedure or a scan uses it: its transactions with the open
// addressing log, the question asked twice before silence is believed, what the run recovered
// from, and the device list it builds. One per terminal; the form and every other front end run
// their procedures over the same one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/AddressingTypes.h"
#include "engine/Terminal.h"
#include "platform/Error.h"
#include "platform/LogFile.h"

namespace zd {

class AddressingLine {
  public:
    explicit AddressingLine(EngineTerminal terminal) : m_terminal(terminal) {}

    EngineTerminal& Terminal() { return m_terminal; }
    const EngineTerminal& Terminal() const { return m_terminal; }
    Link& TerminalLink() { return m_terminal.link; }
    const Context& GetContext() const { return m_terminal.context; }

    // A new log file for a run when enabled, with its " start " line; else no log. Closing
    // writes the last line first; both do nothing without an open log.
    void StartLog(bool enabled, const std::string& path, const std::string& words);
    void WriteLogLine(const std::string& words);
    void CloseLog(const std::string& words);
    // Drops the open log without a last line (a run the terminal goes on with by itself).
    void DropLog() { m_log.reset(); }

    // The transactions of a run, with the open log (or without it when bLogged is false). A
    // command that met another master on the line goes out again (a recovery); one that still
    // collides after the link's tries marks the line as taken by another master.
    Result Send(std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                std::int16_t nAddr, bool bLogged = true);
    Result Receive(std::uint8_t& nData, bool bLogged = true);
    // A query whose silence decides something, asked once more before silence is believed.
    Result QueryTwice(std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                      std::int16_t nAddr, std::uint8_t& nAnswer);

    // Notes a recovery: counted with an earlier one of the same kind and place, written to the
    // log.
    void NoteRecovery(const std::string& what, const std::string& text, std::int32_t shortAddress,
                      std::int32_t randomAddress);
    void ClearRecovered() {
        m_recovered.clear();
        m_told.clear();
        m_collisionsGoOn = false;
    }
    // A command of the last run or scan still collided after every try: another master keeps
    // the line, and the procedure ends instead of going on with commands nobody received.
    bool CollisionsGoOn() const { return m_collisionsGoOn; }
    // What the last run or scan recovered from, in the order met.
    const std::vector<AddressingRecovery>& Recovered() const { return m_recovered; }

    // An identify shows a luminaire on this line (engine/Identify.h): a second one is refused.
    bool IdentifyUnderWay() const { return m_identifyUnderWay; }

    // The device list gets a fresh record for the address, replacing any under its key.
    void AddAddressedDevice(std::int16_t nShortAddress, bool bDALIConflict = false);
    void EmptyDeviceList();
    // Ends what the line was doing, darkens it and opens the initialisation window: for every gear
    // after taking its short address away (a new installation), else for the gear without one;
    // groups and scenes of every gear are deleted where asked.
    void PrepareAddressing(bool newInstallation, bool deleteGroups, bool deleteScenes);
    void DeleteGroupsAndScenes(bool deleteGroups, bool deleteScenes);
    // Tells a notice of the run: heard by the terminal's listener at once, and kept in Told() until
    // the next run or scan begins.
    void Tell(const EngineNotice& notice);
    const std::vector<EngineNotice>& Told() const { return m_told; }
    // The notice of the address limit: no short address is left for a gear.
    void TellAddressLimit();
    // The notice of a run that another master's collisions stopped; its text.
    void TellCollisions();
    std::string CollisionsText() const;

  private:
    // Marks the identify under way while it lives (engine/Identify.cpp).
    friend class IdentifyUnderWayMark;

    EngineTerminal m_terminal;
    std::unique_ptr<LogFile> m_log;
    std::vector<AddressingRecovery> m_recovered;
    std::vector<EngineNotice> m_told;
    bool m_collisionsGoOn = false;
    bool m_identifyUnderWay = false;
};

}  // namespace zd
