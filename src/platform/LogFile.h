// Log files of the control: UTF-16LE text with a byte-order mark and CR LF line ends, written to
// the current directory. LogStream is what the transactions write their lines to.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace zd {

class LogStream {
public:
    virtual ~LogStream() = default;
    // Writes text (UTF-8) as it stands; line ends are part of the text.
    virtual void Write(std::string_view text) = 0;
};

// UTF-8 to UTF-16LE code units; invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 code units to UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);

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

    // Creates path and writes text into it without a line end.
    static void WriteWholeFile(const std::string& path, std::string_view text);

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
};

// Keeps what is written, for tests and for showing a log in a view.
class StringLogStream : public LogStream {
public:
    void Write(std::string_view text) override { this->text += text; }
    std::string text;
};

}  // namespace zd
