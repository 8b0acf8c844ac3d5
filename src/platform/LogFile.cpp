#include "platform/LogFile.h"

#include <cerrno>
#include <cstring>

#include "platform/Error.h"
#include "platform/Files.h"

namespace zd {

LogFile::LogFile(const std::string& path) : m_path(path) {
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        throw ControlError("Path/File access error: " + path + " (" + std::strerror(errno) + ")",
                           kLibraryTitle, kErrPathFileAccess);
    }
    static const unsigned char bom[2] = {0xFF, 0xFE};
    if (std::fwrite(bom, 1, 2, m_file) != 2) {
        throw ControlError("Path/File access error: " + path, kLibraryTitle, kErrPathFileAccess);
    }
}

LogFile::~LogFile() {
    Close();
}

void LogFile::Write(std::string_view text) {
    if (!m_file)
        throw ControlError("Log file is closed: " + m_path, kLibraryTitle, kErrPathFileAccess);
    std::u16string units = Utf8ToUtf16(text);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size() ||
        std::fflush(m_file) != 0) {
        throw ControlError("Path/File access error: " + m_path, kLibraryTitle, kErrPathFileAccess);
    }
}

void LogFile::WriteLine(std::string_view text) {
    std::string line(text);
    line += "\r\n";
    Write(line);
}

void LogFile::Close() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void LogFile::WriteWholeFile(const std::string& path, std::string_view text) {
    const std::u16string units = Utf8ToUtf16(text);
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    WriteFileAtomically(path, bytes);
}

}  // namespace zd
