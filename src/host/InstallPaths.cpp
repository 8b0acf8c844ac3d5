#include "host/InstallPaths.h"

#include <filesystem>
#include <system_error>

namespace zd {

namespace {

// PREFIX/share of an installed program, when the program runs from PREFIX/bin.
std::filesystem::path InstalledShare() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return program.parent_path().parent_path() / "share";
}

// An installed copy of what the source tree holds under fallback, when there is one.
std::string Shipped(const std::filesystem::path& installed, const char* fallback) {
    std::error_code error;
    // An installed program lives in PREFIX/bin and finds its files in PREFIX/share, wherever the
    // prefix is (a package, /usr/local, a folder unpacked by hand).
    if (!installed.empty() && std::filesystem::is_directory(installed, error)) return installed.string();
    return fallback;
}

}  // namespace

std::string ExamplesDir() {
    const std::filesystem::path share = InstalledShare();
    return Shipped(share.empty() ? share : share / "zd4270" / "examples", ZD4270_EXAMPLES_DIR);
}

std::string IconThemeDir() {
    const std::filesystem::path share = InstalledShare();
    return Shipped(share.empty() ? share : share / "icons" / "hicolor",
                   ZD4270_DATA_DIR "/icons/hicolor");
}

}  // namespace zd
