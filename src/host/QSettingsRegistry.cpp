#include "host/QSettingsRegistry.h"

#include <QSettings>
#include <QString>

#include <mutex>

namespace zd {

namespace {

// Controls on several threads each keep a QSettings of their own on the one store file. QSettings
// merges their writes safely under a lock file, but waits for that lock in steps of 100 ms; the
// writers of this process take turns here instead, so that the lock file is always free for them.
std::mutex& StoreWrites() {
    static std::mutex mutex;
    return mutex;
}

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string RegistrySettingsKey(const std::string& keyPath, const std::string& valueName) {
    std::string key;
    key.reserve(keyPath.size() + valueName.size() + 1);
    for (char c : keyPath) key.push_back(c == '\\' ? '/' : c);
    while (!key.empty() && key.back() == '/') key.pop_back();
    // A value name may itself hold a backslash; as a QSettings key it must not open a group.
    std::string name;
    for (char c : valueName) name.push_back(c == '\\' || c == '/' ? '_' : c);
    return key.empty() ? name : key + "/" + name;
}

QSettingsRegistry::QSettingsRegistry()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("zd4270"),
                                             QStringLiteral("registry"))) {}

QSettingsRegistry::QSettingsRegistry(const std::string& iniPath)
    : m_settings(std::make_unique<QSettings>(ToQString(iniPath), QSettings::IniFormat)) {}

QSettingsRegistry::~QSettingsRegistry() {
    const std::lock_guard<std::mutex> turn(StoreWrites());
    m_settings->sync();
}

bool QSettingsRegistry::ReadString(std::uint32_t root, const std::string& keyPath,
                                   const std::string& valueName, std::string& value) {
    if (root != kHkeyCurrentUser) return false;
    QVariant stored = m_settings->value(ToQString(RegistrySettingsKey(keyPath, valueName)));
    if (!stored.isValid()) return false;
    // An INI value that looks like a list comes back as one; its parts are one string again.
    value = stored.typeId() == QMetaType::QStringList
                ? stored.toStringList().join(QStringLiteral(", ")).toStdString()
                : stored.toString().toStdString();
    return true;
}

bool QSettingsRegistry::WriteString(std::uint32_t root, const std::string& keyPath,
                                    const std::string& valueName, const std::string& value) {
    if (root != kHkeyCurrentUser || !m_settings->isWritable()) return false;
    m_settings->setValue(ToQString(RegistrySettingsKey(keyPath, valueName)), ToQString(value));
    return true;
}

bool QSettingsRegistry::Sync() {
    const std::lock_guard<std::mutex> turn(StoreWrites());
    m_settings->sync();
    // A file that cannot be written refuses every value without an error status of its own.
    return m_settings->isWritable() && m_settings->status() == QSettings::NoError;
}

std::string QSettingsRegistry::FileName() const {
    return m_settings->fileName().toStdString();
}

}  // namespace zd
