// The per-user registry of the control: an INI file in the user's configuration folder (or a
// given file) in the layout of QSettings' INI format, the key path's backslashes mapped to groups
// and kept whole, so that another tool reading the same file finds the same key paths and value
// names. The file is read with a size limit and by a reader of its own (IniText), and written
// whole to a temporary file beside it that replaces it once complete, so that a full disk or a
// size limit leaves the old store as it was.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/RegistryAccess.h"

namespace zd {

class IniRegistry : public RegistryAccess {
  public:
    // The user's store: <configuration folder>/zd4270/registry.ini.
    IniRegistry();
    // A store in the given INI file, created when first written.
    explicit IniRegistry(const std::string& iniPath);
    // Writes what is still pending; a failure is lost here, so callers Sync first.
    ~IniRegistry() override;
    IniRegistry(const IniRegistry&) = delete;
    IniRegistry& operator=(const IniRegistry&) = delete;

    // Only HKEY_CURRENT_USER is kept; other roots read nothing and write nothing. A store that
    // could not be read (LoadError) reads nothing and takes no value.
    bool ReadString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                    std::string& value) override;
    bool WriteString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                     const std::string& value) override;

    // Writes the values changed since the last Sync: the file is read again (another store
    // object or program may have written it since), the changes applied and the whole written
    // anew. False, with the reason in LastError() and the file as it was, when it cannot be read
    // or written.
    bool Sync();
    const std::string& LastError() const { return m_lastError; }
    // Why the store could not be read when it was opened (larger than its limit, unreadable);
    // such a store is never written.
    const std::optional<std::string>& LoadError() const { return m_loadError; }
    // After a Sync that rewrote the file: what it left out of it, "The store F held 1 line that
    // holds no setting (line 2: [[[bad); it was left out when the store was written".
    const std::optional<std::string>& DroppedNote() const { return m_droppedNote; }
    std::string FileName() const { return m_path; }

  private:
    std::string m_path;
    std::map<std::string, std::string> m_values;
    std::map<std::string, std::string> m_changes;
    std::optional<std::string> m_loadError;
    std::optional<std::string> m_droppedNote;
    std::string m_lastError;
};

// The INI key of a value: the key path with "/" for "\" and the value name after it.
std::string RegistrySettingsKey(const std::string& keyPath, const std::string& valueName);

}  // namespace zd
