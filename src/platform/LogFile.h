// Log files of the control: UTF-16LE text with a byte-order mark and CR LF line ends, written to
// the current directory. LogStream is what the transactions write their lines to.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Utf8.h"

namespace zd {

class LogStream {
  public:
    virtual ~LogStream() = default;
    // Writes text as it stands; line ends are part of the text. Text that is not valid UTF-8 is
    // written with its bad bytes replaced.
    virtual void Write(std::string_view text) = 0;
};

class LogFile : public LogStream {
  public:
    // Creates (overwrites) the file and writes the byte-order mark. Throws ControlError.
    explicit LogFile(const std::string& path);
    ~LogFile() override;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Throws ControlError when the write fails.
    void Write(std::string_view text) override;
    void WriteLine(std::string_view text);
    void Close();

    // Writes text into path without a line end, replacing the file only once the text is
    // complete (WriteFileAtomically).
    static void WriteWholeFile(const std::string& path, std::string_view text);

  private:
    std::FILE* m_file = nullptr;
    std::string m_path;
};

// Keeps what is written, for tests and for showing a log in a view.
class StringLogStream : public LogStream {
  public:
    void Write(std::string_view part) override { text += part; }
    std::string text;
};

}  // namespace zd
