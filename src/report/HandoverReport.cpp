#include "report/HandoverReport.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <iterator>
#include <stdexcept>

#include <QGuiApplication>

#include "documents/Building.h"
#include "engine/ColourTemperature.h"
#include "maintenance/DeviceJson.h"
#include "maintenance/EmergencyReadout.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/HostTexts.h"
#include "report/ColourReport.h"
#include "report/ReportPdf.h"

namespace zd {

namespace {

// The Variables page's levels, in the order the report's tables show them.
constexpr const char* kLevelNames[] = {"actual-level", "power-on-level", "system-failure-level",
                                       "min-level",    "max-level",      "fade-time",
                                       "fade-rate"};

// The report's own words, in the language of the control's texts.
struct ReportTexts {
    const char* title;
    const char* station;
    const char* file;
    const char* date;
    const char* position;
    const char* coupler;
    const char* devices;
    const char* result;
    const char* complete;
    const char* accepted;
    const char* signature;
    const char* terminalAt;
    const char* devicesFound;
    const char* shortAddress;
    const char* randomAddress;
    const char* deviceType;
    const char* levels[7];
    const char* groups;
    const char* scenes;
    const char* remarks;
    const char* shared;
    const char* conflict;
    const char* answered;
    const char* yes;
    const char* no;
    // Remarks from what the device answered.
    const char* silent;
    const char* lampFailure;
    const char* incomplete;
    const char* linkLost;
    const char* notRead;
};

constexpr ReportTexts kEnglish = {
    "Commissioning report",
    "Station",
    "File",
    "Date",
    "Position",
    "Coupler",
    "Devices",
    "Result",
    "complete",
    "Checked and accepted:",
    "Name, date, signature:",
    "Terminal at position",
    "device(s) found.",
    "Short address",
    "Random address",
    "Device type",
    {"Actual", "Power on", "System failure", "Min", "Max", "Fade time", "Fade rate"},
    "Groups",
    "Scenes",
    "Remarks",
    "several gear share this address",
    "conflict",
    "answered",
    "yes",
    "no",
    "does not answer",
    "lamp failure",
    "not every value could be read",
    "the connection was lost while reading",
    "not read"};

constexpr ReportTexts kGerman = {
    "Inbetriebnahmeprotokoll",
    "Station",
    "Datei",
    "Datum",
    "Position",
    "Koppler",
    "Geräte",
    "Ergebnis",
    "vollständig",
    "Geprüft und abgenommen:",
    "Name, Datum, Unterschrift:",
    "Klemme an Position",
    "Gerät(e) gefunden.",
    "Kurzadresse",
    "Zufallsadresse",
    "Gerätetyp",
    {"Aktuell", "Einschalten", "Systemfehler", "Min", "Max", "Überblendzeit", "Überblendrate"},
    "Gruppen",
    "Szenen",
    "Bemerkungen",
    "mehrere Betriebsgeräte teilen sich diese Adresse",
    "Konflikt",
    "antwortet",
    "ja",
    "nein",
    "antwortet nicht",
    "Lampenfehler",
    "nicht alle Werte konnten gelesen werden",
    "die Verbindung brach beim Lesen ab",
    "nicht gelesen"};

const ReportTexts& TextsOf(Language language) {
    return language == Language::German ? kGerman : kEnglish;
}

// One device as the engine reads it, for the report: what it answered, and what could not be read
// in words ("problems", for the document's readers) and as kinds the remarks name in the report's
// language ("answer", "lampFailure").
Json DeviceReport(ControlRun& run, const Json& found) {
    const int address = found.at("shortAddress").get<int>();
    Json device = {
        {"shortAddress", address}, {"conflict", found.at("conflict")}, {"problems", Json::array()}};
    DeviceReadout readout;
    try {
        readout = ReadKnownDevice(run, address, ReadoutOptions{});
    } catch (const CommandFailed& failure) {
        device["problems"].push_back(failure.what());
        device["answered"] = false;
        return device;
    }
    const DeviceVariables& variables = *readout.variables;
    device["variables"] = VariablesJson(variables, RunMessages(run));
    if (device["variables"].value("device-type", Json::object()).value("value", Json()) == 1)
        device["emergency"] =
            EmergencyReportJson(run, run.Store(), static_cast<std::int16_t>(address));
    device["groups"] = GroupsJson(*readout.groups);
    device["scenes"] = ScenesJson(*readout.scenes);
    const auto unreadVariables = static_cast<int>(variables.Unread().size());
    // A device answers when any of its variables could be read.
    device["answered"] = unreadVariables < kDeviceVariableCount;
    device["answer"] = DeviceAnswerName(readout.answer);
    if (const auto lampFailure = variables.LampFailure()) device["lampFailure"] = *lampFailure;
    if (variables.Value(DeviceVariable::DeviceType) == kDeviceTypeColour)
        AddColourToReport(run, address, device);
    Json& problems = device["problems"];
    const Language language = RunMessages(run).GetLanguage();
    if (readout.answer == DeviceAnswer::LinkLost) {
        problems.push_back(readout.outcome.text);
    } else if (unreadVariables == kDeviceVariableCount) {
        problems.push_back(NoAnswerReason(run, address, readout.answer));
    } else if (unreadVariables > 0) {
        problems.push_back(
            HostText(language, "%1 of %2 variables could not be read",
                     {std::to_string(unreadVariables), std::to_string(kDeviceVariableCount)}));
    }
    const std::vector<int> unreadGroups = readout.groups->Unread();
    const std::vector<int> unreadScenes = readout.scenes->Unread();
    if (readout.answer != DeviceAnswer::LinkLost && unreadVariables < kDeviceVariableCount) {
        if (!unreadGroups.empty())
            problems.push_back(
                HostText(language, "the groups %1 could not be read", {NumberList(unreadGroups)}));
        if (!unreadScenes.empty())
            problems.push_back(
                HostText(language, "the scenes %1 could not be read", {NumberList(unreadScenes)}));
    }
    if (!unreadGroups.empty()) device["unreadGroups"] = unreadGroups;
    return device;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A field quoted where it holds the separator, a quote or a line break.
std::string CsvField(const std::string& text, char separator) {
    if (text.find_first_of(std::string(1, separator) + "\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string ValueText(const Json& value) {
    if (value.is_null()) return "?";
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

// A variable as the page shows it, the number where there is one.
std::string VariableText(const Json& device, const char* name) {
    if (!device.contains("variables") || !device["variables"].contains(name)) return "?";
    const Json& variable = device["variables"][name];
    if (variable.at("value").is_null()) return "?";
    // The random address reads best as the three bytes the search compares.
    if (std::string(name) == "random-address" && variable.contains("converted"))
        return variable["converted"].get<std::string>();
    return variable.value("text", ValueText(variable.at("value")));
}

std::string GroupsText(const Json& device) {
    if (!device.contains("groups") || !device.value("answered", true)) return "?";
    std::string text;
    for (const Json& group : device["groups"]) text += (text.empty() ? "" : " ") + group.dump();
    // Groups of a half that could not be read may be missing from the list.
    if (device.contains("unreadGroups")) return text + (text.empty() ? "?" : " ?");
    return text.empty() ? "-" : text;
}

std::string ScenesText(const Json& device) {
    if (!device.contains("scenes") || !device.value("answered", true)) return "?";
    std::string text;
    for (const auto& [scene, level] : device["scenes"].items()) {
        if (level.is_string() && level.get<std::string>() == "mask") continue;
        text += (text.empty() ? "" : " ") + scene + "=" + ValueText(level);
    }
    return text.empty() ? "-" : text;
}

// "yes", "no", or "?" for a device that was not read.
const char* AnsweredText(const Json& device, const ReportTexts& texts) {
    if (!device.contains("answered")) return "?";
    return device.value("answered", false) ? texts.yes : texts.no;
}

// What the device answered, in the report's words: several gear at its address, none, a failed
// lamp, values left unread, a lost connection. A device the report could not read at all shows
// why in the document's words.
std::string Remark(const Json& device, const ReportTexts& texts) {
    std::vector<std::string> parts;
    const std::string answer = device.value("answer", "");
    if (device.value("conflict", false) || answer == "conflict") parts.push_back(texts.shared);
    if (answer == "silent" && !device.value("conflict", false)) parts.push_back(texts.silent);
    if (answer == "link-lost") parts.push_back(texts.linkLost);
    if (device.value("lampFailure", false)) parts.push_back(texts.lampFailure);
    if (answer == "partly") parts.push_back(texts.incomplete);
    if (answer.empty() && !device.contains("variables")) {
        const Json problems = device.value("problems", Json::array());
        if (problems.empty()) parts.push_back(texts.notRead);
        for (const Json& problem : problems) parts.push_back(problem.get<std::string>());
    }
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

std::string Today() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

// Whether the site file named any device of the report: the tables then show each luminaire's
// room and name and go room by room.
bool AnyNamed(const Json& station) {
    for (const Json& terminal : station.at("terminals"))
        for (const Json& device : terminal.value("devices", Json::array()))
            if (device.contains("name")) return true;
    return false;
}

// Room by room as the engineer walks the site (devices without a room last), then by name and
// address.
Json ByRoom(Json devices) {
    std::stable_sort(devices.begin(), devices.end(), [](const Json& a, const Json& b) {
        const std::string roomA = a.value("room", "");
        const std::string roomB = b.value("room", "");
        if (roomA.empty() != roomB.empty()) return roomB.empty();
        if (roomA != roomB) return roomA < roomB;
        const std::string nameA = a.value("name", "");
        const std::string nameB = b.value("name", "");
        if (nameA != nameB) return nameA < nameB;
        return a.value("shortAddress", 0) < b.value("shortAddress", 0);
    });
    return devices;
}

}  // namespace

Json ReadReportDevices(ControlRun& run,
                       const std::function<void(std::size_t, std::size_t)>& progress) {
    RunDeviceScan(run);
    const Json found = DevicesJson(run.State());
    Json devices = Json::array();
    for (const Json& device : found) {
        if (progress) progress(devices.size(), found.size());
        devices.push_back(DeviceReport(run, device));
    }
    return devices;
}

std::optional<ReportFormat> ReportFormatNamed(const std::string& name) {
    if (name == "html" || name == "htm") return ReportFormat::Html;
    if (name == "pdf") return ReportFormat::Pdf;
    if (name == "csv") return ReportFormat::Csv;
    return std::nullopt;
}

std::optional<ReportFormat> ReportFormatOfFile(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ReportFormatNamed(extension);
}

Json TerminalReport(const StationDocument& station, const std::string& stationFile,
                    const XmlNode& terminal, std::int32_t position, Json devices) {
    Json entry = {{"position", position}, {"name", ""}, {"coupler", ""}};
    for (const StationTerminal& known : StationZd4270Terminals(station)) {
        if (known.node != terminal) continue;
        entry["name"] = known.name;
        entry["coupler"] = known.couplerName;
    }
    entry["devices"] = std::move(devices);
    Json report = {{"station", stationFile}, {"terminals", Json::array({std::move(entry)})}};
    if (const auto name = station.Document().DocumentElement().Attribute("Name"))
        report["stationName"] = *name;
    return report;
}

std::string ReportHtml(const Json& station, Language language) {
    const ReportTexts& t = TextsOf(language);
    const bool colour = ReportHasColour(station);
    const std::string name = station.value("stationName", station.value("station", ""));
    std::string html = std::string("<html><head><meta charset=\"utf-8\"><title>") + t.title + " " +
                       Escaped(name) +
                       "</title><style>table{border-collapse:collapse} td,th{border:1px solid #888;"
                       "padding:2px 4px} tr.conflict td{background:#f4b6b6} tr.silent "
                       "td{background:#f8d9a0}</style></head><body>";
    // The title block fills the first page; each terminal's table starts a page of its own (a
    // break after the block would put the block itself onto a page of its own in the PDF).
    html += std::string("<h1>") + t.title + "</h1>";
    html += std::string("<p><b>") + t.station + ":</b> " + Escaped(name) + "<br><b>" + t.file +
            ":</b> " + Escaped(station.value("station", "")) + "<br><b>" + t.date + ":</b> " +
            Today() + "</p>";
    html += std::string("<table><tr><th>") + t.position + "</th><th>" + t.coupler + "</th><th>" +
            t.devices + "</th><th>" + t.result + "</th></tr>";
    for (const Json& terminal : station.at("terminals")) {
        html += "<tr><td>" + terminal.at("position").dump() + "</td><td>" +
                Escaped(terminal.value("coupler", "")) + "</td><td>" +
                std::to_string(terminal.value("devices", Json::array()).size()) + "</td><td>" +
                Escaped(terminal.value("error", t.complete)) + "</td></tr>";
    }
    html += std::string("</table><p>") + t.accepted + "</p><p>" + t.signature +
            " ______________________________</p>";
    const bool named = AnyNamed(station);
    for (const Json& terminal : station.at("terminals")) {
        html += std::string("<h2 style=\"page-break-before:always\">") + t.terminalAt + " " +
                terminal.at("position").dump() + " (" + Escaped(terminal.value("name", "")) + ", " +
                Escaped(terminal.value("coupler", "")) + ")</h2>";
        if (terminal.contains("error"))
            html += "<p style=\"color:#a00000\"><b>" + Escaped(terminal["error"]) + "</b></p>";
        const Json devices = named ? ByRoom(terminal.value("devices", Json::array()))
                                   : terminal.value("devices", Json::array());
        html += "<p>" + std::to_string(devices.size()) + " " + t.devicesFound + "</p>";
        if (devices.empty()) continue;
        html += "<table><tr>";
        if (named)
            html += "<th>" + HostText(language, "Room") + "</th><th>" +
                    HostText(language, "Luminaire") + "</th>";
        html += std::string("<th>") + t.shortAddress + "</th><th>" + t.randomAddress + "</th><th>" +
                t.deviceType + "</th>";
        for (const char* heading : t.levels) html += "<th>" + std::string(heading) + "</th>";
        html += std::string("<th>") + t.groups + "</th><th>" + t.scenes + "</th>";
        if (colour) html += "<th>" + HostText(language, "Colour temperature") + "</th>";
        html += std::string("<th>") + t.remarks + "</th></tr>";
        for (const Json& device : devices) {
            const bool conflict = device.value("conflict", false);
            const bool silent = !device.value("answered", true);
            html += std::string("<tr") +
                    (conflict ? " class=\"conflict\""
                     : silent ? " class=\"silent\""
                              : "") +
                    ">";
            if (named) {
                std::string luminaire = device.value("name", "");
                const std::string floor = device.value("floor", "");
                const std::string note = device.value("note", "");
                if (!floor.empty())
                    luminaire +=
                        (luminaire.empty() ? "" : "; ") + HostText(language, "floor %1", {floor});
                if (!note.empty()) luminaire += (luminaire.empty() ? "" : "; ") + note;
                html += "<td>" + Escaped(device.value("room", "")) + "</td><td>" +
                        Escaped(luminaire) + "</td>";
            }
            html += "<td>" + device.at("shortAddress").dump() + "</td><td>" +
                    Escaped(VariableText(device, "random-address")) + "</td><td>" +
                    Escaped(VariableText(device, "device-type")) + "</td>";
            for (const char* level : kLevelNames)
                html += "<td>" + Escaped(VariableText(device, level)) + "</td>";
            html += "<td>" + Escaped(GroupsText(device)) + "</td><td>" +
                    Escaped(ScenesText(device)) + "</td>";
            if (colour) html += "<td>" + Escaped(ReportColourText(device, language)) + "</td>";
            html += "<td>" + Escaped(Remark(device, t)) + "</td></tr>";
        }
        html += "</table>";
        html += EmergencySectionHtml(devices, language);
    }
    return html + "</body></html>\n";
}

std::string ReportCsv(const Json& station, Language language) {
    const ReportTexts& t = TextsOf(language);
    // The English header keeps the names scripts read; the German one is for people, and German
    // spreadsheets split a row on semicolons (the comma is their decimal point).
    const bool english = language == Language::English;
    const char separator = english ? ',' : ';';
    const std::string sep(1, separator);
    const auto field = [&](const std::string& text) { return CsvField(text, separator); };
    std::string csv = english ? std::string(
                                    "position,coupler,short address,random address,"
                                    "device type")
                              : std::string(t.position) + sep + t.coupler + sep + t.shortAddress +
                                    sep + t.randomAddress + sep + t.deviceType;
    for (std::size_t i = 0; i < std::size(kLevelNames); ++i)
        csv += sep + (english ? kLevelNames[i] : t.levels[i]);
    csv += english ? std::string(",groups,scenes,conflict,answered,remarks")
                   : sep + t.groups + sep + t.scenes + sep + t.conflict + sep + t.answered + sep +
                         t.remarks;
    // The luminaire's columns, where the site names any device, come last, so that scripts
    // reading the ones before keep working.
    const bool named = AnyNamed(station);
    const char* siteColumns[] = {"name", "room", "floor", "note"};
    for (const char* column : siteColumns) {
        if (!named) break;
        csv += sep + (english ? std::string(column)
                              : HostText(language, column == std::string("name")    ? "Luminaire"
                                                   : column == std::string("room")  ? "Room"
                                                   : column == std::string("floor") ? "Floor"
                                                                                    : "Note"));
    }
    // Lines with colour gear get a last column; the columns scripts read stay where they were.
    const bool colour = ReportHasColour(station);
    if (colour)
        csv += sep + (english ? std::string("colour temperature")
                              : HostText(language, "Colour temperature"));
    // The emergency results the HTML and PDF show, after every other column.
    bool emergency = false;
    for (const Json& terminal : station.at("terminals"))
        for (const Json& device : terminal.value("devices", Json::array()))
            emergency = emergency || device.contains("emergency");
    const char* emergencyColumns[] = {"function test date",     "function test result",
                                      "function test failures", "duration test date",
                                      "duration test result",   "duration reached",
                                      "duration test failures"};
    if (emergency)
        for (const char* column : emergencyColumns)
            csv += sep + (english ? std::string(column) : HostText(language, column));
    csv += "\r\n";
    for (const Json& terminal : station.at("terminals")) {
        const Json devices = named ? ByRoom(terminal.value("devices", Json::array()))
                                   : terminal.value("devices", Json::array());
        for (const Json& device : devices) {
            csv += terminal.at("position").dump() + sep + field(terminal.value("coupler", "")) +
                   sep + device.at("shortAddress").dump() + sep +
                   field(VariableText(device, "random-address")) + sep +
                   field(VariableText(device, "device-type"));
            for (const char* level : kLevelNames) csv += sep + field(VariableText(device, level));
            csv += sep + field(GroupsText(device)) + sep + field(ScenesText(device)) + sep +
                   (device.value("conflict", false) ? t.yes : t.no) + sep +
                   AnsweredText(device, t) + sep + field(Remark(device, t));
            for (const char* column : siteColumns)
                if (named) csv += sep + field(device.value(column, ""));
            if (colour) csv += sep + field(ReportColourText(device, language));
            if (emergency) {
                for (const char* kind : {"function", "duration"}) {
                    const std::size_t count = std::string(kind) == "duration" ? 4 : 3;
                    std::optional<std::vector<std::string>> texts;
                    if (device.contains("emergency"))
                        texts = EmergencyTestTexts(device.at("emergency"), kind, language);
                    for (std::size_t i = 0; i < count; ++i) {
                        std::string text;
                        if (texts) {
                            text = (*texts)[i];
                        } else if (device.contains("emergency") && i == 0) {
                            text = HostText(language, "not tested");
                        }
                        csv += sep + field(text);
                    }
                }
            }
            csv += "\r\n";
        }
    }
    return csv;
}

void WriteReport(const Json& station, ReportFormat format, const std::string& path,
                 Language language) {
    if (format == ReportFormat::Html)
        return WriteFileAtomically(path, ReportHtml(station, language));
    if (format == ReportFormat::Csv) return WriteFileAtomically(path, ReportCsv(station, language));
    // Qt draws the PDF; the program makes its application for it (see OffscreenApplication).
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw std::logic_error(
            "a PDF report is drawn by Qt: the program makes its QGuiApplication first");
    const std::string pdf = ReportPdf(ReportHtml(station, language), TextsOf(language).title);
    if (pdf.empty())
        throw ControlError("The report " + path + " could not be made", kLibraryTitle,
                           kErrPathFileAccess);
    WriteFileAtomically(path, pdf);
}

}  // namespace zd
