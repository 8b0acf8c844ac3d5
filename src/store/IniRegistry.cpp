#include "store/IniRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>

#include <filesystem>
#include <mutex>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/IniText.h"

namespace zd {

namespace {

// Controls on several threads each keep a store object of their own on the one store file; the
// writers of this process take turns here, and other processes are kept out by a lock on a file
// beside the store while it is read again and replaced.
std::mutex& StoreWrites() {
    static std::mutex mutex;
    return mutex;
}

// An exclusive lock on "<store>.lock", removed again when it is let go. A lock file that another
// process removed while this one waited is not the lock any more, so the lock is taken again on
// the file now there. Without a lock file (a folder that cannot be written) nothing is locked;
// the write then fails on its own.
class StoreLock {
  public:
    explicit StoreLock(const std::string& store) : m_path(store + ".lock") {
        for (int attempt = 0; attempt < 10; ++attempt) {
            m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (m_fd < 0) return;
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            struct stat held {};
            struct stat named {};
            if (::fstat(m_fd, &held) == 0 && ::stat(m_path.c_str(), &named) == 0 &&
                held.st_ino == named.st_ino && held.st_dev == named.st_dev)
                return;
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~StoreLock() {
        if (m_fd < 0) return;
        ::unlink(m_path.c_str());
        ::close(m_fd);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

  private:
    std::string m_path;
    int m_fd = -1;
};

// The file's text; empty when there is no file yet.
std::optional<std::string> ReadStoreText(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return std::string();
    // The store is replaced as a whole when it is written, which a device or a pipe cannot be.
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        error = "The store " + path + " is not a regular file";
        return std::nullopt;
    }
    try {
        return ReadInputFile(path, kStoreInput);
    } catch (const ControlError& failure) {
        error = failure.Description();
        return std::nullopt;
    }
}

std::string DefaultStorePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
           "/zd4270/registry.ini";
}

}  // namespace

std::string RegistrySettingsKey(const std::string& keyPath, const std::string& valueName) {
    std::string key;
    key.reserve(keyPath.size() + valueName.size() + 1);
    for (char c : keyPath) key.push_back(c == '\\' ? '/' : c);
    while (!key.empty() && key.back() == '/') key.pop_back();
    // A value name may itself hold a backslash; as a key it must not open a group.
    std::string name;
    for (char c : valueName) name.push_back(c == '\\' || c == '/' ? '_' : c);
    return key.empty() ? name : key + "/" + name;
}

IniRegistry::IniRegistry() : IniRegistry(DefaultStorePath()) {}

IniRegistry::IniRegistry(const std::string& iniPath) : m_path(iniPath) {
    std::string error;
    const std::optional<std::string> text = ReadStoreText(m_path, error);
    if (!text) {
        m_loadError = error;
        return;
    }
    m_values = ParseIniText(*text).values;
}

IniRegistry::~IniRegistry() {
    (void)Sync();
}

bool IniRegistry::ReadString(std::uint32_t root, const std::string& keyPath,
                             const std::string& valueName, std::string& value) {
    if (root != kHkeyCurrentUser || m_loadError) return false;
    const std::string key = RegistrySettingsKey(keyPath, valueName);
    for (const auto* values : {&m_changes, &m_values}) {
        if (const auto found = values->find(key); found != values->end()) {
            value = found->second;
            return true;
        }
    }
    return false;
}

bool IniRegistry::WriteString(std::uint32_t root, const std::string& keyPath,
                              const std::string& valueName, const std::string& value) {
    if (root != kHkeyCurrentUser || m_loadError) return false;
    m_changes[RegistrySettingsKey(keyPath, valueName)] = value;
    return true;
}

bool IniRegistry::Sync() {
    if (m_loadError) {
        m_lastError = *m_loadError;
        return false;
    }
    if (m_changes.empty()) return true;
    const std::lock_guard<std::mutex> turn(StoreWrites());
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(m_path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    const StoreLock lock(m_path);

    std::string error;
    const std::optional<std::string> old = ReadStoreText(m_path, error);
    if (!old) {
        m_lastError = error + "; the store was left as it was";
        return false;
    }
    IniContent content = ParseIniText(*old);
    for (const auto& [key, value] : m_changes) content.values[key] = value;
    const std::string text = IniTextOf(content.values);
    // A rewrite may be longer than what was read (groups filed under their first part, escapes):
    // a store past the limit would be refused by every later read, so it is not written.
    if (text.size() > kStoreInput.limit) {
        m_lastError = "The store " + m_path + " would grow to " + std::to_string(text.size()) +
                      " bytes, more than the " + SizeText(kStoreInput.limit) +
                      " this program reads; it was left as it was";
        return false;
    }
    if (text != *old) {
        try {
            WriteFileAtomically(m_path, text);
        } catch (const ControlError& failure) {
            m_lastError = failure.Description();
            return false;
        }
        if (content.droppedLines > 0) {
            m_droppedNote = "The store " + m_path + " held " + DroppedLinesText(content) +
                            "; it was left out when the store was written";
        }
    }
    m_values = std::move(content.values);
    m_changes.clear();
    m_lastError.clear();
    return true;
}

}  // namespace zd
