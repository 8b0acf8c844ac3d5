// The examples of the source tree (lines, stations, the building) for tests, found from this file.
#pragma once

#include <filesystem>
#include <string>

namespace zd::test {

// Made absolute before any test changes the working folder: the compiler may name this header
// relative to the build folder.
inline const std::filesystem::path kExamplesDir = std::filesystem::absolute(
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples");
inline const std::filesystem::path kExampleLines = kExamplesDir / "lines";

// An example file by its path below examples/, e.g. "lines/three-addressed.json".
inline std::string ExamplePath(const std::string& relative) {
    return (kExamplesDir / relative).string();
}

}  // namespace zd::test
