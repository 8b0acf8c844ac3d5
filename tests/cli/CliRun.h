// Runs the command line as main() passes it on: arguments in, the JSON document, the exit code and
// the console's text out. Shared by the command-line scenario tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "sim/LineFile.h"
#include "support/Examples.h"

namespace zd::test {

// The examples of the source tree.
inline std::string ExampleLine(const std::string& name) {
    return std::string(ZD4270_EXAMPLES_DIR) + "/lines/" + name;
}
inline std::string ExampleStation(const std::string& name) {
    return std::string(ZD4270_EXAMPLES_DIR) + "/stations/" + name;
}

// The short addresses of a document's device list, and count numbers from first.
inline std::vector<int> ShortAddresses(const Json& devices) {
    std::vector<int> addresses;
    for (const Json& device : devices) addresses.push_back(device.at("shortAddress").get<int>());
    return addresses;
}
inline std::vector<int> Range(int first, int count) {
    std::vector<int> numbers;
    for (int i = 0; i < count; ++i) numbers.push_back(first + i);
    return numbers;
}

struct Outcome {
    int exitCode = -1;
    // The document; its text as a string when stdout held no JSON.
    Json json;
    std::string console;
};

// zd4270 with these arguments (in English) and these defaults; the console goes to err when one
// is given, otherwise into the outcome.
inline Outcome RunZd(const std::vector<std::string>& args, const SessionOptions& defaults,
                     std::FILE* err = nullptr) {
    std::vector<const char*> argv{"zd4270", "--lang", "en"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::FILE* out = std::tmpfile();
    std::FILE* console = err ? err : std::tmpfile();
    Outcome run;
    run.exitCode =
        RunCommandLine(static_cast<int>(argv.size()), argv.data(), defaults, out, console);
    const std::string text = ReadAll(out);
    if (!err) run.console = ReadAll(console);
    try {
        run.json = Json::parse(text);
    } catch (const Json::parse_error&) {
        run.json = text;
    }
    return run;
}

// The defaults main() gives, on the packed Intel station and the three-addressed line.
// The devices a store file holds (keys whose short address is not -1), all positions together.
inline int StoredDevices(const std::string& storeFile) {
    const std::string text = ReadFileText(storeFile);
    const std::string key = "Short%20Address=";
    int devices = 0;
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
        if (text.compare(at + key.size(), 2, "-1") != 0) ++devices;
    return devices;
}

inline SessionOptions ExampleDefaults() {
    SessionOptions defaults;
    defaults.connection.stationFile = ExampleStation("packed-intel.xml");
    defaults.connection.lineFile = ExampleLine("three-addressed.json");
    return defaults;
}

// Arguments for a table row.
template <class... Words>
std::vector<std::string> Args(const Words&... words) {
    return {std::string(words)...};
}

// The text holds every part.
inline void ExpectParts(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts)
        EXPECT_NE(text.find(part), std::string::npos) << part << ":\n" << text;
}

// The arguments as one line, for traces.
inline std::string Joined(const std::vector<std::string>& args) {
    std::string joined;
    for (const std::string& arg : args) joined += arg + " ";
    return joined;
}

// Each test in a fresh temporary folder of its own, named by prefix, the process and the test.
class FolderTest : public ::testing::Test {
  protected:
    explicit FolderTest(const std::string& prefix) : m_folder(prefix) {}

    std::string File(const std::string& name) const { return m_folder.File(name); }

    // A line file made from an example, changed by change, in the test's folder.
    std::string EditedLine(const std::string& name, const std::string& example,
                           const std::function<void(sim::LineDescription&)>& change) const {
        sim::LineDescription line = sim::LoadLineFile(ExampleLine(example));
        change(line);
        std::ofstream(File(name)) << sim::WriteLineDescription(line);
        return File(name);
    }

  private:
    TempFolder m_folder;
};

}  // namespace zd::test
