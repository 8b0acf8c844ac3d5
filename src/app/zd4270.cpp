// zd4270: the configuration tool for one ZD4270 terminal. Until the window and the commands are
// there, it runs a short headless demonstration on a simulated line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/Demo.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: zd4270 [demo] [--station FILE] [--pos N] [--line FILE] [--lang en|de]\n"
                 "  --station FILE  station document (XML) with the terminal's device node\n"
                 "  --pos N         the terminal's position in the station (default: the first)\n"
                 "  --line FILE     simulated DALI line (JSON)\n"
                 "  --lang en|de    language of the texts (default: from the locale)\n");
}

}  // namespace

int main(int argc, char** argv) {
    zd::DemoOptions options;
    options.stationFile = std::string(ZD4270_EXAMPLES_DIR) + "/stations/packed-intel.xml";
    options.lineFile = std::string(ZD4270_EXAMPLES_DIR) + "/lines/three-addressed.json";
    options.language = zd::MessageCatalogue::LanguageFromEnvironment();

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zd4270: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "demo") {
        } else if (arg == "--station") {
            options.stationFile = value();
        } else if (arg == "--pos") {
            char* end = nullptr;
            const char* text = value();
            long pos = std::strtol(text, &end, 10);
            if (*text == '\0' || *end != '\0' || pos < 0 || pos > 65535) {
                std::fprintf(stderr, "zd4270: --pos needs a position 0 to 65535, not \"%s\"\n", text);
                return 2;
            }
            options.position = static_cast<std::int32_t>(pos);
        } else if (arg == "--line") {
            options.lineFile = value();
        } else if (arg == "--lang") {
            std::string lang = value();
            if (lang != "en" && lang != "de") {
                std::fprintf(stderr, "zd4270: --lang takes en or de\n");
                return 2;
            }
            options.language = lang == "de" ? zd::Language::German : zd::Language::English;
        } else if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "zd4270: unknown argument \"%s\"\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    return zd::RunDemo(options, stdout);
}
