// The examples of the source tree (lines, stations, the building) for tests, found from this file,
// a connection to one of them, the bytes of a file as a test reads them back, and a temporary
// folder for the files a test makes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "connection/ConnectionTarget.h"

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

// The example station's first terminal on an example line, by its path below examples/lines.
inline ConnectionTarget ExampleConnection(const std::string& line) {
    ConnectionTarget connection;
    connection.stationFile = ExamplePath("stations/packed-intel.xml");
    connection.lineFile = ExamplePath("lines/" + line);
    return connection;
}

// The bytes of a file, or nothing when it cannot be read.
inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh temporary folder named by prefix, the process and the running test, removed with all it
// holds at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = prefix + std::to_string(::getpid()) + "_" + info->test_suite_name() +
                           "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests
        m_path = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

// The whole text of a temporary file, which is closed.
inline std::string ReadAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

}  // namespace zd::test
