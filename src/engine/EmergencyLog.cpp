#include "engine/EmergencyLog.h"

#include <charconv>

namespace zd {

namespace {

const char* const kStoreKeyPath =
    "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Emergency\\Position ";

std::string ValueName(std::int16_t address, EmergencyTestKind kind) {
    return "A" + std::to_string(address) + " " + EmergencyTestKindName(kind);
}

std::optional<int> Number(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

void WriteEmergencyLogEntry(RegistryAccess& store, std::int32_t position, std::int16_t address,
                            EmergencyTestKind kind, const EmergencyLogEntry& entry) {
    // One line of fields, so that the store's file stays readable.
    std::string text = "date=" + entry.date + ";passed=" + (entry.passed ? "1" : "0") +
                       ";failureStatus=" + std::to_string(entry.failureStatus);
    if (entry.durationMinutes) text += ";durationMinutes=" + std::to_string(*entry.durationMinutes);
    if (entry.ratedMinutes) text += ";ratedMinutes=" + std::to_string(*entry.ratedMinutes);
    store.WriteString(RegistryAccess::kHkeyCurrentUser, kStoreKeyPath + std::to_string(position),
                      ValueName(address, kind), text);
}

std::optional<EmergencyLogEntry> ReadEmergencyLogEntry(RegistryAccess& store, std::int32_t position,
                                                       std::int16_t address,
                                                       EmergencyTestKind kind) {
    std::string text;
    if (!store.ReadString(RegistryAccess::kHkeyCurrentUser,
                          kStoreKeyPath + std::to_string(position), ValueName(address, kind), text))
        return std::nullopt;
    EmergencyLogEntry entry;
    bool dated = false;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = std::min(text.find(';', begin), text.size());
        const std::string field = text.substr(begin, end - begin);
        begin = end + 1;
        const std::size_t equals = field.find('=');
        if (equals == std::string::npos) return std::nullopt;
        const std::string name = field.substr(0, equals);
        const std::string value = field.substr(equals + 1);
        if (name == "date") {
            entry.date = value;
            dated = true;
            continue;
        }
        const std::optional<int> number = Number(value);
        if (!number) return std::nullopt;
        if (name == "passed") {
            entry.passed = *number != 0;
        } else if (name == "failureStatus") {
            entry.failureStatus = static_cast<std::uint8_t>(*number);
        } else if (name == "durationMinutes") {
            entry.durationMinutes = *number;
        } else if (name == "ratedMinutes") {
            entry.ratedMinutes = *number;
        }
    }
    if (!dated) return std::nullopt;
    return entry;
}

}  // namespace zd
