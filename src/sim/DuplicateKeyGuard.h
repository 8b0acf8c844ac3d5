// A parser callback for nlohmann::json that refuses an object with a key twice. nlohmann keeps the
// last of two equal keys; a file with a key twice is ambiguous, so its parse is refused, naming
// where.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace zd::sim {

class DuplicateKeyGuard {
  public:
    // Told the JSON pointer of the second key and the key; it throws to end the parse.
    using Complaint = std::function<void(const std::string& pointer, const std::string& key)>;

    explicit DuplicateKeyGuard(Complaint duplicate) : m_duplicate(std::move(duplicate)) {}

    bool operator()(int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed);

  private:
    struct Frame {
        bool array = false;
        int index = -1;
        std::string key;
        std::set<std::string> keys;
    };
    void CountArrayItem();
    std::string Pointer() const;

    Complaint m_duplicate;
    std::vector<Frame> m_frames;
};

}  // namespace zd::sim
