// Fuzzes the line backup as restore and replace read it (LoadLineBackup on a file): a text is
// either refused with a ControlError whose message stays short, or gives a backup that the writer
// turns into a text that reads back as the same backup.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "maintenance/LineBackup.h"
#include "platform/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zd;
    static const fuzz::ScratchFile file(".json");
    const std::string& path = file.Write(data, size);
    LineBackup backup;
    try {
        backup = LoadLineBackup(path);
    } catch (const ControlError& error) {
        // The message names the place and quotes at most an excerpt of the value.
        if (error.Description().size() > path.size() + 400)
            fuzz::Broken("the backup's error message",
                         "is " + std::to_string(error.Description().size()) + " characters long");
        return 0;
    }
    const std::string written = WriteLineBackup(backup);
    LineBackup again;
    try {
        again = ParseLineBackup(written, "written");
    } catch (const ControlError& error) {
        fuzz::Broken("the written backup", error.Description() + "\n" + written);
    }
    if (WriteLineBackup(again) != written)
        fuzz::Broken("the written backup", "changes when read back");
    return 0;
}
