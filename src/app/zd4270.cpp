// zd4270: the configuration tool for one ZD4270 terminal. Without a command it opens the window on
// a display; "demo" (or no display) runs the headless demonstration on the same control.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/Demo.h"
#include "gui/MainWindow.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: zd4270 [demo] [--station FILE] [--pos N] [--line FILE] [--modbus HOST:PORT]\n"
                 "              [--lang en|de]\n"
                 "  (no command)       the window, or the demonstration when there is no display\n"
                 "  demo               the headless demonstration\n"
                 "  --station FILE     station document (XML) with the terminal's device node\n"
                 "  --pos N            the terminal's position in the station (default: the first)\n"
                 "  --line FILE        simulated DALI line (JSON)\n"
                 "  --modbus HOST:PORT a terminal, or zd4270-sim, on Modbus TCP (demonstration only)\n"
                 "  --lang en|de       language of the texts (default: from the locale)\n");
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    zd::DemoOptions options;
    options.stationFile = std::string(ZD4270_EXAMPLES_DIR) + "/stations/packed-intel.xml";
    options.lineFile = std::string(ZD4270_EXAMPLES_DIR) + "/lines/three-addressed.json";
    options.language = zd::MessageCatalogue::LanguageFromEnvironment();
    bool demo = false;

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
            demo = true;
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
        } else if (arg == "--modbus") {
            options.modbus = value();
            demo = true;
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

    if (!demo && HasDisplay()) {
        zd::WindowOptions window;
        window.stationFile = options.stationFile;
        window.position = options.position;
        window.lineFile = options.lineFile;
        window.language = options.language;
        return zd::RunWindow(argc, argv, window);
    }
    if (!demo) std::printf("No display: running the headless demonstration.\n\n");
    return zd::RunDemo(options, stdout);
}
