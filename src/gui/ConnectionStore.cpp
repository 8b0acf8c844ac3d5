#include "gui/ConnectionStore.h"

#include <QString>

#include "gui/WindowHost.h"
#include "platform/RegistryAccess.h"
#include "transport/ModbusDevCom.h"

namespace zd {

namespace {

const char* const kConnectionKey = "Software\\zd4270\\Connection";

// The store keeps a device list per position, so the time of its scan goes with it.
std::string LastScanValueName(std::int32_t position) {
    return "LastScanPos" + std::to_string(position);
}

}  // namespace

void ConnectionStore::Remember(const ConnectionTarget& connection) {
    const auto root = RegistryAccess::kHkeyCurrentUser;
    // The simulated line keeps the Modbus settings for the next time, and the other way round;
    // Modbus TCP and RTU keep each other's, too.
    if (connection.modbus.empty() && connection.modbusRtu.empty()) {
        m_registry.WriteString(root, kConnectionKey, "Choice", "line");
        // An empty name: the line without gear.
        m_registry.WriteString(root, kConnectionKey, "LineFile",
                               connection.lineFile.value_or(std::string()));
        return;
    }
    if (connection.modbusRtu.empty()) {
        m_registry.WriteString(root, kConnectionKey, "Choice", "modbus");
        m_registry.WriteString(root, kConnectionKey, "Modbus", connection.modbus);
    } else {
        m_registry.WriteString(root, kConnectionKey, "Choice", "modbus-rtu");
        m_registry.WriteString(root, kConnectionKey, "ModbusRtu", connection.modbusRtu);
    }
    m_registry.WriteString(root, kConnectionKey, "StationFile", connection.stationFile);
    m_registry.WriteString(root, kConnectionKey, "Position",
                           std::to_string(connection.PositionOrFirst()));
}

ConnectionChoice ConnectionStore::LastChoice() const {
    std::string choice;
    m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Choice", choice);
    if (choice == "modbus") return ConnectionChoice::ModbusTcp;
    if (choice == "modbus-rtu") return ConnectionChoice::ModbusRtu;
    return ConnectionChoice::Simulated;
}

std::optional<std::string> ConnectionStore::LineFile() const {
    std::string lineFile;
    if (!m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "LineFile",
                               lineFile))
        return std::nullopt;
    return lineFile;
}

ConnectionTarget ConnectionStore::RememberedModbus(const ConnectionTarget& current) const {
    ConnectionTarget connection;
    connection.stationFile = current.stationFile;
    connection.position = current.position;
    connection.registryFile = current.registryFile;
    connection.modbus = ModbusEndpoint{}.Text();
    std::string value;
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Modbus", value) &&
        !value.empty())
        connection.modbus = value;
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "ModbusRtu", value))
        connection.modbusRtu = value;
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "StationFile",
                              value) &&
        !value.empty())
        connection.stationFile = value;
    // -1: the station's first terminal.
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Position",
                              value)) {
        const int position = QString::fromStdString(value).toInt();
        connection.position = position >= 0 ? std::optional<std::int32_t>(position) : std::nullopt;
    }
    return connection;
}

bool ConnectionStore::ChooserAtStartup() const {
    std::string value;
    return !m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "ShowAtStartup",
                                  value) ||
           value != "0";
}

void ConnectionStore::SetChooserAtStartup(bool show) {
    m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "ShowAtStartup",
                           show ? "1" : "0");
}

std::optional<Language> ConnectionStore::RememberedLanguage() const {
    std::string value;
    if (!m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Language", value))
        return std::nullopt;
    if (value == "de") return Language::German;
    if (value == "en") return Language::English;
    return std::nullopt;
}

void ConnectionStore::RememberLanguage(Language language) {
    m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Language",
                           language == Language::German ? "de" : "en");
}

std::string ConnectionStore::LastScan(std::int32_t position) const {
    std::string when;
    m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey,
                          LastScanValueName(position), when);
    return when;
}

void ConnectionStore::RememberScan(std::int32_t position, const std::string& when) {
    m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey,
                           LastScanValueName(position), when);
}

}  // namespace zd
