// Fuzzes the command line of zd4270: the input is split into arguments at each line end and read
// by the parser, which either refuses it with a UsageError or gives a command ready to run
// (nothing is run). A refused command line then goes through RunCommandLine, which refuses it the
// same way before opening anything and reports it as the JSON error document with exit code 2.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "cli/CommandLine.h"
#include "cli/HeadlessCommands.h"

namespace {

using namespace zd;

std::vector<std::string> SplitLines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"zd4270"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (size > 0) words.push_back(word);
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::FILE* const nowhere = std::fopen("/dev/null", "w");
    const std::vector<std::string> words = SplitLines(data, size);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    ParsedCommandLine parsed;
    try {
        ParseCommandLine(argc, argv.data(), parsed);
    } catch (const UsageError&) {
        const int exitCode = RunCommandLine(argc, argv.data(), SessionOptions{}, nowhere, nowhere);
        if (exitCode != 2) fuzz::Broken("a refused command line does not end with exit code 2");
        return 0;
    }
    // The window, the demonstration and the server run no prepared command.
    if (parsed.command.empty() || parsed.command == "demo" || parsed.command == "serve") return 0;
    if (!parsed.prepared) fuzz::Broken("a command without its prepared run", parsed.command);
    return 0;
}
