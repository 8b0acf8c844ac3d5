// The log of the emergency tests this tool ran: per terminal position and short address the last
// function and the last duration test with their date, result, failure bits and duration reached,
// kept in the store, so that the hand-over report can give the record many countries require
// whichever front end ran the test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/Emergency.h"
#include "platform/RegistryAccess.h"

namespace zd {

struct EmergencyLogEntry {
    // "YYYY-MM-DD HH:MM:SS", local time.
    std::string date;
    bool passed = false;
    std::uint8_t failureStatus = 0;
    // Duration tests: the time reached and the rated duration, in minutes.
    std::optional<int> durationMinutes;
    std::optional<int> ratedMinutes;
};

void WriteEmergencyLogEntry(RegistryAccess& store, std::int32_t position, std::int16_t address,
                            EmergencyTestKind kind, const EmergencyLogEntry& entry);
// The entry kept for the address and kind; none when there is none, or when the stored text is
// no entry (edited by hand, or a value no gear could give: a failure status beyond a byte, a
// duration below 0 or beyond 510 minutes, a rated duration of 0, a date that is none).
std::optional<EmergencyLogEntry> ReadEmergencyLogEntry(RegistryAccess& store, std::int32_t position,
                                                       std::int16_t address,
                                                       EmergencyTestKind kind);

}  // namespace zd
