// What the fuzz targets share: the input as a file on disk, for the parsers that the programs
// reach through a path (so the same reading and encoding rules apply), and a check that ends the
// run loudly when a property of the code does not hold.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace zd::fuzz {

// One scratch file per fuzzing process, rewritten for every input and removed at exit.
class ScratchFile {
  public:
    // The file lies in the system's temporary folder (TMPDIR and the like are honoured), under a
    // name of its own that mkstemps makes.
    explicit ScratchFile(const char* suffix) {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
        if (error) {
            std::fprintf(stderr, "no temporary folder: %s\n", error.message().c_str());
            std::abort();
        }
        m_path = (folder / (std::string("zd4270-fuzz-XXXXXX") + suffix)).string();
        const int fd = mkstemps(m_path.data(), static_cast<int>(std::string(suffix).size()));
        if (fd < 0) {
            std::perror("mkstemps");
            std::abort();
        }
        close(fd);
    }
    ~ScratchFile() { unlink(m_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* file = std::fopen(m_path.c_str(), "wb");
        if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
            std::perror(m_path.c_str());
            std::abort();
        }
        return m_path;
    }

  private:
    std::string m_path;
};

// A property of the code that the input broke: report it and stop, so libFuzzer keeps the input.
[[noreturn]] inline void Broken(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "property broken: %s\n%s\n", what, detail.c_str());
    std::abort();
}

}  // namespace zd::fuzz
