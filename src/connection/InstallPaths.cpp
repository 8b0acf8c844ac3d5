#include "connection/InstallPaths.h"

#include <filesystem>
#include <system_error>

namespace zd {

namespace {

// The first of the share folders a program finds its files in that holds the folder below:
// PREFIX/share of an installed program (it lives in PREFIX/bin, wherever the prefix is: a
// package, /usr/local, a folder unpacked by hand), then the share/ that a build folder holds
// beside the programs it builds, whose entries lead into the source tree. Only folders relative
// to the program are tried, so that a program carries no folder of the machine it was built on.
std::string Shipped(const std::filesystem::path& below) {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    // Without its own place a program can only hope for the package's.
    if (error) return (std::filesystem::path("/usr/share") / below).string();
    const std::filesystem::path folder = program.parent_path();
    const std::filesystem::path installed = folder.parent_path() / "share" / below;
    for (const std::filesystem::path& candidate : {installed, folder / "share" / below}) {
        if (!std::filesystem::is_directory(candidate, error)) continue;
        // The folder itself, not the link to it: a path the user gives names the same file by
        // the same text (the connection dialog compares them).
        const std::filesystem::path real = std::filesystem::canonical(candidate, error);
        return error ? candidate.string() : real.string();
    }
    // Neither is there: the installed place, which a message about a missing file then names.
    return installed.string();
}

}  // namespace

std::string ExamplesDir() {
    return Shipped(std::filesystem::path("zd4270") / "examples");
}

std::string IconThemeDir() {
    return Shipped(std::filesystem::path("icons") / "hicolor");
}

}  // namespace zd
