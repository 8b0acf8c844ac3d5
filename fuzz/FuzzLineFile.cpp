// Fuzzes the line description file as the programs read it (LoadLineFile on a file): a text is
// either refused with a LineFileError or gives a line the simulator can build. What the writer
// makes of an accepted line, and of the built line's state as --save-line captures it, must read
// back as the same line.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/VirtualScheduler.h"
#include "sim/LineFile.h"

namespace {

using namespace zd;

// The writer's text must parse, and writing what it parses to gives the same text again.
void CheckReadsBack(const std::string& written, const char* what) {
    sim::LineDescription again;
    try {
        again = sim::ParseLineDescription(written, what);
    } catch (const sim::LineFileError& error) {
        fuzz::Broken(what, error.Description() + "\n" + written);
    }
    if (sim::WriteLineDescription(again) != written) fuzz::Broken(what, "changes when read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFile file(".json");
    sim::LineDescription description;
    try {
        description = sim::LoadLineFile(file.Write(data, size));
    } catch (const sim::LineFileError&) {
        return 0;
    }
    CheckReadsBack(sim::WriteLineDescription(description), "the written line file");

    VirtualScheduler scheduler;
    const auto terminal = sim::MakeTerminal(scheduler, description);
    CheckReadsBack(sim::WriteLineDescription(sim::CaptureLine(*terminal, description.terminal)),
                   "the captured line file");
    return 0;
}
