#include "maintenance/EmergencyReadout.h"

#include <algorithm>

#include "engine/EmergencyLog.h"
#include "maintenance/DeviceJson.h"
#include "maintenance/LineScan.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

Json ByteJson(const ReadByte& read) {
    if (!read.Answered()) return nullptr;
    return read.value;
}

// A value in units, or null when unread or 255 (unknown, or beyond what the byte can say).
Json ScaledJson(const ReadByte& read, int unit) {
    if (!read.Answered() || read.value == 255) return nullptr;
    return read.value * unit;
}

Json NamesJson(const std::vector<std::string>& names) {
    Json list = Json::array();
    for (const std::string& name : names) list.push_back(name);
    return list;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
    return out;
}

// One test in the report: as this tool logged it, or the gear's own result without a date.
std::string TestCells(const Json& emergency, const char* kind, Language language) {
    const std::optional<std::vector<std::string>> texts =
        EmergencyTestTexts(emergency, kind, language);
    const bool duration = std::string(kind) == "duration";
    if (!texts)
        return "<td colspan=\"" + std::string(duration ? "4" : "3") + "\">" +
               Escaped(HostText(language, "not tested")) + "</td>";
    std::string cells;
    for (const std::string& text : *texts) cells += "<td>" + Escaped(text) + "</td>";
    return cells;
}

}  // namespace

std::optional<std::vector<std::string>> EmergencyTestTexts(const Json& emergency, const char* kind,
                                                           Language language) {
    const Json logged = emergency.value("lastTests", Json::object()).value(kind, Json());
    const Json& state = emergency.value("state", Json::object());
    const bool duration = std::string(kind) == "duration";
    std::string date = "-";
    std::string result = "-";
    std::string reached = "-";
    int failure =
        state.value("failureStatus", Json()).is_number() ? state["failureStatus"].get<int>() : 0;
    const bool doneByGear =
        state.contains("status") && state["status"].is_array() &&
        std::find(state["status"].begin(), state["status"].end(),
                  Json(duration ? "duration test done" : "function test done")) !=
            state["status"].end();
    if (logged.is_object()) {
        date = logged.value("date", "-");
        result = HostText(language, logged.value("passed", false) ? "passed" : "failed");
        failure = logged.value("failureStatus", 0);
        if (duration && logged.value("durationMinutes", Json()).is_number()) {
            reached = HostText(language, "%1 of %2 min",
                               {std::to_string(logged["durationMinutes"].get<int>()),
                                logged.value("ratedMinutes", Json()).is_number()
                                    ? std::to_string(logged["ratedMinutes"].get<int>())
                                    : "?"});
        }
    } else if (doneByGear) {
        // Done by the gear itself (an automatic test): the gear keeps no date.
        date = HostText(language, "automatic, date unknown");
        const int failedBit =
            duration ? kEmergencyDurationTestFailed : kEmergencyFunctionTestFailed;
        result = HostText(language, (failure & failedBit) ? "failed" : "passed");
        if (duration && state.value("durationTestResultMinutes", Json()).is_number()) {
            reached = HostText(language, "%1 of %2 min",
                               {std::to_string(state["durationTestResultMinutes"].get<int>()),
                                state.value("ratedDurationMinutes", Json()).is_number()
                                    ? std::to_string(state["ratedDurationMinutes"].get<int>())
                                    : "?"});
        }
    } else {
        return std::nullopt;
    }
    std::vector<std::string> texts = {date, result};
    if (duration) texts.push_back(reached);
    const int causes = failure & (duration ? 0xAF : 0x5F);
    texts.push_back(EmergencyFailureText(static_cast<std::uint8_t>(causes), language));
    return texts;
}

std::string EmergencyFailureText(std::uint8_t failureStatus, Language language) {
    std::string text;
    for (const std::string& name : EmergencyFailureNames(failureStatus))
        text += (text.empty() ? "" : ", ") + HostText(language, name);
    return text.empty() ? "-" : text;
}

Json EmergencyStatusJson(const EmergencyStatusReport& report) {
    Json json = {{"shortAddress", report.address},
                 {"gear", EmergencyPresenceName(report.gear.presence)},
                 {"deviceType", ByteJson(report.gear.deviceType)}};
    if (!report.state) return json;
    const EmergencyState& s = *report.state;
    json["mode"] = s.mode.Answered() ? EmergencyModeName(EmergencyModeOf(s.mode.value)) : Json();
    json["status"] = s.emergencyStatus.Answered()
                         ? NamesJson(EmergencyStatusNames(s.emergencyStatus.value))
                         : Json();
    json["failureStatus"] = ByteJson(s.failureStatus);
    json["failures"] = s.failureStatus.Answered()
                           ? NamesJson(EmergencyFailureNames(s.failureStatus.value))
                           : Json();
    json["features"] =
        s.features.Answered() ? NamesJson(EmergencyFeatureNames(s.features.value)) : Json();
    json["batteryCharge"] = ScaledJson(s.batteryCharge, 1);
    json["ratedDurationMinutes"] = ScaledJson(s.ratedDuration, 2);
    json["durationTestResultMinutes"] =
        ByteJson(s.durationTestResult).is_null() ? Json() : Json(s.durationTestResult.value * 2);
    json["lampEmergencyHours"] = ByteJson(s.lampEmergencyTime);
    json["lampTotalOperationHours"] = ScaledJson(s.lampTotalOperationTime, 4);
    json["emergencyLevel"] = ByteJson(s.emergencyLevel);
    json["emergencyMinLevel"] = ByteJson(s.emergencyMinLevel);
    json["emergencyMaxLevel"] = ByteJson(s.emergencyMaxLevel);
    return json;
}

Json EmergencyTestResultJson(const EmergencyTestReport& report) {
    Json json = {{"shortAddress", report.address},
                 {"test", EmergencyTestKindName(report.kind)},
                 {"gear", EmergencyPresenceName(report.gear.presence)},
                 {"deviceType", ByteJson(report.gear.deviceType)}};
    if (!report.result.done) return json;
    const EmergencyTestResult& r = report.result;
    // A failure status that could not be read is null, and so are the pass and the failures.
    json["passed"] = r.passed ? Json(*r.passed) : Json();
    json["failureStatus"] = r.failureStatus ? Json(*r.failureStatus) : Json();
    json["failures"] =
        r.failureStatus ? NamesJson(EmergencyFailureNames(*r.failureStatus)) : Json();
    if (report.kind == EmergencyTestKind::Duration) {
        json["durationMinutes"] = r.durationMinutes ? Json(*r.durationMinutes) : Json();
        json["ratedMinutes"] = r.ratedMinutes ? Json(*r.ratedMinutes) : Json();
    }
    json["batteryCharge"] = r.batteryCharge ? Json(*r.batteryCharge) : Json();
    json["testMs"] = r.tookMs;
    return json;
}

Json EmergencyTimingJson(const EmergencyTimingReport& report) {
    Json json = {{"shortAddress", report.address},
                 {"gear", EmergencyPresenceName(report.gear.presence)},
                 {"deviceType", ByteJson(report.gear.deviceType)}};
    if (!report.timing) return json;
    const EmergencyTiming& t = *report.timing;
    json["functionTestIntervalDays"] = ByteJson(t.functionTestInterval);
    json["durationTestIntervalWeeks"] = ByteJson(t.durationTestInterval);
    json["testExecutionTimeoutDays"] = ByteJson(t.testExecutionTimeout);
    json["prolongTimeSeconds"] = ScaledJson(t.prolongTime, 30);
    json["nextFunctionTestMinutes"] =
        t.nextFunctionTestQuarters ? Json(*t.nextFunctionTestQuarters * 15) : Json();
    json["nextDurationTestMinutes"] =
        t.nextDurationTestQuarters ? Json(*t.nextDurationTestQuarters * 15) : Json();
    if (!report.written.empty() || !report.notTaken.empty()) {
        json["written"] = report.written;
        json["notTaken"] = report.notTaken;
    }
    return json;
}

Json ReadEmergencyLine(ControlRun& run,
                       const std::function<void(std::size_t, std::size_t)>& progress) {
    RunDeviceScan(run);
    const Json found = DevicesJson(run.State());
    Json gear = Json::array();
    for (const Json& device : found) {
        if (progress) progress(gear.size(), found.size());
        const auto address = static_cast<std::int16_t>(device.at("shortAddress").get<int>());
        gear.push_back(EmergencyStatusJson(ReadEmergencyStatus(run.Line().Terminal(), address)));
    }
    return gear;
}

void RecordEmergencyTest(RegistryAccess& store, std::int32_t position,
                         const EmergencyTestReport& report, const std::string& dateTime) {
    if (!report.result.done || !report.result.failureStatus || !report.result.passed) return;
    EmergencyLogEntry entry;
    entry.date = dateTime;
    entry.passed = *report.result.passed;
    entry.failureStatus = *report.result.failureStatus;
    entry.durationMinutes = report.result.durationMinutes;
    entry.ratedMinutes = report.result.ratedMinutes;
    WriteEmergencyLogEntry(store, position, report.address, report.kind, entry);
}

Json LastEmergencyTests(RegistryAccess& store, std::int32_t position, std::int16_t address) {
    Json tests = Json::object();
    for (EmergencyTestKind kind : {EmergencyTestKind::Function, EmergencyTestKind::Duration}) {
        const std::optional<EmergencyLogEntry> entry =
            ReadEmergencyLogEntry(store, position, address, kind);
        if (!entry) continue;
        Json test = {{"date", entry->date},
                     {"passed", entry->passed},
                     {"failureStatus", entry->failureStatus},
                     {"failures", NamesJson(EmergencyFailureNames(entry->failureStatus))}};
        if (entry->durationMinutes) test["durationMinutes"] = *entry->durationMinutes;
        if (entry->ratedMinutes) test["ratedMinutes"] = *entry->ratedMinutes;
        tests[EmergencyTestKindName(kind)] = test;
    }
    return tests;
}

Json EmergencyReportJson(ControlRun& run, RegistryAccess* store, std::int16_t address) {
    Json json;
    json["state"] = EmergencyStatusJson(ReadEmergencyStatus(run.Line().Terminal(), address));
    json["lastTests"] = store ? LastEmergencyTests(*store, run.Line().Terminal().position, address)
                              : Json::object();
    return json;
}

std::string EmergencySectionHtml(const Json& devices, Language language) {
    std::string rows;
    for (const Json& device : devices) {
        if (!device.contains("emergency")) continue;
        rows += "<tr><td>" + device.at("shortAddress").dump() + "</td>" +
                TestCells(device["emergency"], "function", language) +
                TestCells(device["emergency"], "duration", language) + "</tr>";
    }
    if (rows.empty()) return "";
    auto th = [&](const char* text, int span = 1) {
        return "<th" + (span > 1 ? " colspan=\"" + std::to_string(span) + "\"" : std::string()) +
               ">" + Escaped(HostText(language, text)) + "</th>";
    };
    return "<h3>" + Escaped(HostText(language, "Emergency lighting")) + "</h3><table><tr>" +
           th("Short address") + th("Function test", 3) + th("Duration test", 4) + "</tr><tr>" +
           "<th></th>" + th("Date") + th("Result") + th("Failures") + th("Date") + th("Result") +
           th("Duration reached") + th("Failures") + "</tr>" + rows + "</table>";
}

}  // namespace zd
