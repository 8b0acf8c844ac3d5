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

// "YYYY-MM-DD HH:MM:SS" with digits where digits go.
bool IsDateTime(const std::string& text) {
    const std::string pattern = "0000-00-00 00:00:00";
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '0' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

// What a gear can report: the failure status is a byte, the duration reached and the rated
// duration count 2-minute units of a byte (the rated one up to 254 units, and never 0).
bool Possible(const std::string& name, int value) {
    if (name == "passed") return value == 0 || value == 1;
    if (name == "failureStatus") return value >= 0 && value <= 255;
    if (name == "durationMinutes") return value >= 0 && value <= 510 && value % 2 == 0;
    if (name == "ratedMinutes") return value >= 2 && value <= 508 && value % 2 == 0;
    return true;
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
            if (!IsDateTime(value)) return std::nullopt;
            entry.date = value;
            dated = true;
            continue;
        }
        // A value no gear could have given (the store edited by hand, or damaged) makes the
        // entry no entry, rather than a result in the report.
        const std::optional<int> number = Number(value);
        if (!number || !Possible(name, *number)) return std::nullopt;
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
