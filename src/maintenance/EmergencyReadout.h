// Emergency gear as every host shows them: the state the engine reads as JSON, the line's
// emergency gear read one after the other, the log of the tests this tool ran (in the store, per
// terminal position and short address: the legal record many countries require) and the
// hand-over report's emergency section.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "connection/ControlRun.h"
#include "engine/Emergency.h"
#include "platform/Messages.h"
#include "platform/RegistryAccess.h"

namespace zd {

Json EmergencyStatusJson(const EmergencyStatusReport& report);
Json EmergencyTestResultJson(const EmergencyTestReport& report);
Json EmergencyTimingJson(const EmergencyTimingReport& report);

// Scans the line and reads every gear found; gear of other types are listed with their type.
// progress hears of each device before it is read. CommandFailed when the scan fails.
Json ReadEmergencyLine(
    ControlRun& run, const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// Keeps a finished test (date and time, kind, result, duration reached, failure bits) as the
// last of its kind for the address.
void RecordEmergencyTest(RegistryAccess& store, std::int32_t position,
                         const EmergencyTestReport& report, const std::string& dateTime);
// {"function": {...}, "duration": {...}} with the tests kept for the address; empty if none.
Json LastEmergencyTests(RegistryAccess& store, std::int32_t position, std::int16_t address);

// What the report keeps of an emergency gear: its state now and the last tests of each kind, as
// the gear reports them and, with their date, as this tool ran them.
Json EmergencyReportJson(ControlRun& run, RegistryAccess* store, std::int16_t address);
// The report's section for one terminal's devices (those with "emergency"); empty when it has
// none.
std::string EmergencySectionHtml(const Json& devices, Language language);

// The report's texts of the last test of one kind ("function", "duration") of an emergency
// gear's report entry: date, result, (duration reached,) failures; none when it was not tested.
std::optional<std::vector<std::string>> EmergencyTestTexts(const Json& emergency, const char* kind,
                                                           Language language);
// A failure's bits as words in language, joined by ", "; "-" for none.
std::string EmergencyFailureText(std::uint8_t failureStatus, Language language);

}  // namespace zd
