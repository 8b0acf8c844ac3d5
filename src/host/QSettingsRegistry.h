// The per-user registry of the control on QSettings: an INI file in the user's configuration
// folder (or a given file), the key path's backslashes mapped to groups and kept whole, so that
// another tool reading the same file finds the same key paths and value names.
#pragma once

#include <memory>
#include <string>

#include "platform/RegistryAccess.h"

class QSettings;

namespace zd {

class QSettingsRegistry : public RegistryAccess {
  public:
    // The user's store: <configuration folder>/zd4270/registry.ini.
    QSettingsRegistry();
    // A store in the given INI file, created when first written.
    explicit QSettingsRegistry(const std::string& iniPath);
    ~QSettingsRegistry() override;

    // Only HKEY_CURRENT_USER is kept; other roots read nothing and write nothing.
    bool ReadString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                    std::string& value) override;
    bool WriteString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                     const std::string& value) override;

    // Writes pending changes to the file; false when the file could not be written or cannot be
    // written at all.
    bool Sync();
    std::string FileName() const;

  private:
    std::unique_ptr<QSettings> m_settings;
};

// The QSettings key of a value: the key path with "/" for "\" and the value name after it.
std::string RegistrySettingsKey(const std::string& keyPath, const std::string& valueName);

}  // namespace zd
