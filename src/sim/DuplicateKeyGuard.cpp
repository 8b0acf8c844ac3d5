#include "sim/DuplicateKeyGuard.h"

namespace zd::sim {

using Json = nlohmann::json;

bool DuplicateKeyGuard::operator()(int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            CountArrayItem();
            m_frames.push_back(Frame{event == Json::parse_event_t::array_start, -1, {}, {}});
            break;
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            if (!m_frames.empty()) m_frames.pop_back();
            break;
        case Json::parse_event_t::key: {
            Frame& frame = m_frames.back();
            frame.key = parsed.get<std::string>();
            if (!frame.keys.insert(frame.key).second) m_duplicate(Pointer(), frame.key);
            break;
        }
        case Json::parse_event_t::value:
            CountArrayItem();
            break;
    }
    return true;
}

void DuplicateKeyGuard::CountArrayItem() {
    if (!m_frames.empty() && m_frames.back().array) ++m_frames.back().index;
}

std::string DuplicateKeyGuard::Pointer() const {
    std::string pointer;
    for (const Frame& frame : m_frames)
        pointer += "/" + (frame.array ? std::to_string(frame.index) : frame.key);
    return pointer;
}

}  // namespace zd::sim
