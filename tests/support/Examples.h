// The examples of the source tree (lines, stations, the building) for tests, found from this file,
// and the bytes of a file as a test reads them back.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
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

// The bytes of a file, or nothing when it cannot be read.
inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace zd::test
