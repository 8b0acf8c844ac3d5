// The line description file as a whole: its errors, the parse of its text (syntax and duplicate
// keys here; the values in LineFileReader), loading it from disk and the terminal it describes.
// Writing one back is LineFileWriter's.
#include "sim/LineFile.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "sim/DuplicateKeyGuard.h"
#include "sim/JsonLocator.h"
#include "sim/LineFileReader.h"

namespace zd::sim {

namespace {

using Json = nlohmann::json;

std::string Describe(const std::string& file, int line, int column, const std::string& where,
                     const std::string& reason) {
    // A file that cannot be read at all is named by the reason already.
    if (line == 0 && where.empty() && reason.find(file) != std::string::npos) return reason;
    std::string text = file;
    if (line > 0) text += ":" + std::to_string(line) + ":" + std::to_string(column);
    if (!where.empty()) text += ": at " + where;
    return text + ": " + reason;
}

// A syntax error at byte offset of the text, with the line and column people count.
[[noreturn]] void FailSyntax(const std::string& text, const std::string& fileName,
                             std::size_t offset, std::string reason) {
    const TextPlace place = PlaceInText(text, offset);
    // nlohmann's text starts "[json.exception.parse_error.101] parse error at line ..., column
    // ...: ".
    const std::size_t colon = reason.find(": ");
    if (colon != std::string::npos) reason = reason.substr(colon + 2);
    throw LineFileError(fileName, place.line, place.column, "", reason);
}

}  // namespace

LineFileError::LineFileError(std::string file, int line, int column, std::string where,
                             std::string reason)
    : ControlError(Describe(file, line, column, where, reason), kLibraryTitle,
                   line == 0 && where.empty() ? kErrFileNotFound : kErrAutomation),
      m_file(std::move(file)),
      m_line(line),
      m_column(column),
      m_where(std::move(where)),
      m_reason(std::move(reason)) {}

LineDescription ParseLineDescription(const std::string& text, const std::string& fileName) {
    Json document;
    try {
        document = Json::parse(
            text, DuplicateKeyGuard([&](const std::string& pointer, const std::string& key) {
                FailAtValue(fileName, text, pointer, "the key \"" + key + "\" comes twice");
            }));
    } catch (const Json::parse_error& error) {
        // The parser counts bytes from 1.
        FailSyntax(text, fileName, error.byte == 0 ? 0 : error.byte - 1, error.what());
    } catch (const Json::out_of_range& error) {
        // A number too large for any number type ("1e999") ends the parse with this error, which
        // quotes the number but gives no place: it is taken where that text first stands.
        const std::string what = error.what();
        const std::size_t open = what.find('\'');
        const std::size_t close = what.rfind('\'');
        const std::size_t at = open != std::string::npos && close > open
                                   ? text.find(what.substr(open + 1, close - open - 1))
                                   : std::string::npos;
        FailSyntax(text, fileName, at == std::string::npos ? text.size() : at,
                   what.substr(what.find("] ") + 2));
    }
    return ReadLineDocument(document, fileName, text);
}

LineDescription LoadLineFile(const std::string& path) {
    std::string text;
    try {
        text = ReadInputFile(path, kLineFileInput);
    } catch (const ControlError& e) {
        throw LineFileError(path, 0, 0, "", e.Description());
    }
    return ParseLineDescription(text, path);
}

std::unique_ptr<Terminal> MakeTerminal(Scheduler& scheduler, const LineDescription& description) {
    auto terminal = std::make_unique<Terminal>(scheduler, description.terminal);
    const std::int64_t loadedMs = scheduler.Now();
    for (const GearConfig& gear : description.gear) {
        const int id = terminal->AddGear(gear);
        for (const GearConfig::LampEvent& event : gear.lampEvents)
            terminal->ScheduleLamp(id, event.lamp, loadedMs + event.atMs);
    }
    return terminal;
}

}  // namespace zd::sim
