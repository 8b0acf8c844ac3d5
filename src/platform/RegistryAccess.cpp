#include "platform/RegistryAccess.h"

namespace zd {

bool MemoryRegistry::ReadString(std::uint32_t root, const std::string& keyPath,
                                const std::string& valueName, std::string& value) {
    auto it = values.find({root, keyPath, valueName});
    if (it == values.end()) return false;
    value = it->second;
    return true;
}

bool MemoryRegistry::WriteString(std::uint32_t root, const std::string& keyPath,
                                 const std::string& valueName, const std::string& value) {
    values[{root, keyPath, valueName}] = value;
    return true;
}

}  // namespace zd
