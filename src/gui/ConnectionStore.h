// What the window keeps in the store about its connections from run to run: the last choice (the
// simulated line's file, the Modbus TCP address or the serial line, each kept while another is
// used), whether the
// chooser is shown at start-up, the language chosen in the window, and when each position's
// device list was last scanned in the window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "connection/ConnectionTarget.h"
#include "platform/Messages.h"

namespace zd {

class RegistryAccess;

// What a connection is to: the simulated line, or a terminal over Modbus TCP or Modbus RTU.
enum class ConnectionChoice { Simulated, ModbusTcp, ModbusRtu };

class ConnectionStore {
  public:
    explicit ConnectionStore(RegistryAccess& registry) : m_registry(registry) {}

    // Remembers a connection the user opened.
    void Remember(const ConnectionTarget& connection);
    // What the last connection chosen was to.
    ConnectionChoice LastChoice() const;
    // The line file of the last simulated line chosen, if one was.
    std::optional<std::string> LineFile() const;
    // The Modbus settings last used, the Modbus TCP address and the serial line each as last used;
    // what the store does not hold comes from current.
    ConnectionTarget RememberedModbus(const ConnectionTarget& current) const;

    // Whether the chooser is shown at start-up (yes unless turned off).
    bool ChooserAtStartup() const;
    void SetChooserAtStartup(bool show);

    std::optional<Language> RememberedLanguage() const;
    void RememberLanguage(Language language);

    // When the device list of position was last scanned in the window ("yyyy-MM-dd HH:mm"), or
    // empty when it never was.
    std::string LastScan(std::int32_t position) const;
    void RememberScan(std::int32_t position, const std::string& when);

  private:
    RegistryAccess& m_registry;
};

}  // namespace zd
