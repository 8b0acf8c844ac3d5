// zd4270: the configuration tool for one ZD4270 terminal. Without a command it opens the window on
// a display; with one (scan, address, send, archive, options, ...) it drives the same control
// headless and prints JSON; "demo" (or no display) runs the headless demonstration.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "cli/ConsoleDialogs.h"
#include "connection/InstallPaths.h"
#include "gui/MainWindow.h"
#include "platform/Interrupt.h"
#include "platform/Version.h"
#include "serve/Serve.h"

namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    zd::PrepareProcessSignals();
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("zd4270 %s\n", zd::kProgramVersion);
        return 0;
    }
    // Every failure ends in a message and an exit code, never in an abort.
    try {
        zd::SessionOptions defaults;
        defaults.connection.stationFile = zd::ExamplesDir() + "/stations/packed-intel.xml";
        defaults.connection.lineFile = zd::ExamplesDir() + "/lines/three-addressed.json";
        defaults.language = zd::MessageCatalogue::LanguageFromEnvironment();

        const auto window = [&](const zd::SessionOptions& options) -> std::optional<int> {
            if (!HasDisplay()) return std::nullopt;
            zd::WindowOptions windowOptions;
            windowOptions.connection = options.connection;
            windowOptions.language = options.language;
            windowOptions.languageChosen = options.languageChosen;
            windowOptions.offerChoice = !options.connectionChosen;
            return zd::RunWindow(argc, argv, windowOptions);
        };
        const auto serve = [](const zd::ParsedCommandLine& parsed) {
            return zd::RunServe(parsed, stdout, stderr);
        };
        return zd::RunCommandLine(argc, argv, defaults, stdout, stderr, window, serve);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zd4270: %s\n", zd::ValidUtf8(error.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "zd4270: an unknown error ended the program\n");
    }
    return 1;
}
