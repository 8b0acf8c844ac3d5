// What the window keeps in the store about its connections from run to run: the last choice (the
// simulated line's file or the Modbus settings, each kept while the other is used), whether the
// chooser is shown at start-up, the language chosen in the window, and when each position's
// device list was last scanned in the window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Messages.h"

namespace zd {

struct Connection;
class RegistryAccess;

class ConnectionStore {
  public:
    explicit ConnectionStore(RegistryAccess& registry) : m_registry(registry) {}

    // Remembers a connection the user opened.
    void Remember(const Connection& connection);
    // Whether the last connection chosen was a terminal over Modbus.
    bool ModbusChosenLast() const;
    // The line file of the last simulated line chosen, if one was.
    std::optional<std::string> LineFile() const;
    // The Modbus settings last used; what the store does not hold comes from current.
    Connection RememberedModbus(const Connection& current) const;

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
