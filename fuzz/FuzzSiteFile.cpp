// Fuzzes the site file as every command reads it (LoadSiteFile on a file): a text is either
// refused with a ControlError whose message stays short, or gives a site that the writer turns
// into a text that reads back as the same site.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "engine/SiteFile.h"
#include "platform/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zd;
    static const fuzz::ScratchFile file(".json");
    const std::string& path = file.Write(data, size);
    SiteFile site;
    try {
        site = LoadSiteFile(path);
    } catch (const ControlError& error) {
        // The message names the place and quotes at most an excerpt of the value.
        if (error.Description().size() > path.size() + 400)
            fuzz::Broken("the site file's error message",
                         "is " + std::to_string(error.Description().size()) + " characters long");
        return 0;
    }
    const std::string written = WriteSiteText(site);
    SiteFile again;
    try {
        again = ParseSiteText(written, "written");
    } catch (const ControlError& error) {
        fuzz::Broken("the written site file", error.Description() + "\n" + written);
    }
    if (WriteSiteText(again) != written)
        fuzz::Broken("the written site file", "changes when read back");
    return 0;
}
