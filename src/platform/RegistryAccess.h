// Per-user string values under a root key and a backslash-separated key path, as the host's
// registry access object offers them. MemoryRegistry keeps them in memory, for tests and tools.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

namespace zd {

class RegistryAccess {
  public:
    static constexpr std::uint32_t kHkeyCurrentUser = 0x80000001u;

    virtual ~RegistryAccess() = default;
    // True when the value exists and was read into value.
    virtual bool ReadString(std::uint32_t root, const std::string& keyPath,
                            const std::string& valueName, std::string& value) = 0;
    virtual bool WriteString(std::uint32_t root, const std::string& keyPath,
                             const std::string& valueName, const std::string& value) = 0;
};

class MemoryRegistry : public RegistryAccess {
  public:
    bool ReadString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                    std::string& value) override;
    bool WriteString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                     const std::string& value) override;

    std::map<std::tuple<std::uint32_t, std::string, std::string>, std::string> values;
};

}  // namespace zd
