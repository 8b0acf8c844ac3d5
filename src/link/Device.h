// The device record and the device list: one clsDevice per short address, kept in a keyed
// collection (key = decimal short address) with insertion order and lookups that never fail.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zd {

struct clsDevice {
    std::int32_t m_nRandomAddress = 0;
    std::int16_t m_nShortAddress = 0;
    std::int16_t m_nNewShortAddress = 0;
    bool m_bDALIConflict = false;
};

class colDevices {
  public:
    // Adds under key; a key already present keeps its first record and the new one is dropped.
    // Returns whether the record was added.
    bool Add(const clsDevice& device, const std::string& key) {
        if (Item(key)) return false;
        m_items.emplace_back(key, std::make_shared<clsDevice>(device));
        return true;
    }
    bool Add(const clsDevice& device) {
        return Add(device, std::to_string(device.m_nShortAddress));
    }

    // The record under key, or null: a missing key is never a failure.
    clsDevice* Item(const std::string& key) const {
        for (const auto& [k, d] : m_items)
            if (k == key) return d.get();
        return nullptr;
    }
    clsDevice* Item(int shortAddress) const { return Item(std::to_string(shortAddress)); }

    bool Remove(const std::string& key) {
        for (auto it = m_items.begin(); it != m_items.end(); ++it) {
            if (it->first == key) {
                m_items.erase(it);
                return true;
            }
        }
        return false;
    }
    bool Remove(int shortAddress) { return Remove(std::to_string(shortAddress)); }
    // Removes the first entry in insertion order; the procedures empty the list this way.
    void RemoveFirst() {
        if (!m_items.empty()) m_items.erase(m_items.begin());
    }
    void Clear() { m_items.clear(); }

    std::size_t Count() const { return m_items.size(); }
    // Records in insertion order.
    const std::vector<std::pair<std::string, std::shared_ptr<clsDevice>>>& Items() const {
        return m_items;
    }

  private:
    std::vector<std::pair<std::string, std::shared_ptr<clsDevice>>> m_items;
};

// Which registry keys of the device list the last load read, and for which terminal position.
// It outlives the list itself (a scan replaces the list), because a save may only write "no
// device" into a key whose record the load has seen.
struct DeviceRegistryLoad {
    std::optional<std::int32_t> position;
    std::bitset<64> keysRead;
};

}  // namespace zd
