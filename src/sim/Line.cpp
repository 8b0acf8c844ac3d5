#include "sim/Line.h"

#include <algorithm>

namespace zd::sim {

Ballast& Line::AddGear(const GearConfig& config, Micros nowUs) {
    m_gear.push_back(std::make_unique<Ballast>(m_nextId++, config, nowUs));
    return *m_gear.back();
}

bool Line::RemoveGear(int id) {
    auto it =
        std::find_if(m_gear.begin(), m_gear.end(), [id](const auto& g) { return g->Id() == id; });
    if (it == m_gear.end()) return false;
    m_gear.erase(it);
    return true;
}

Ballast* Line::FindGear(int id) {
    for (auto& gear : m_gear) {
        if (gear->Id() == id) return gear.get();
    }
    return nullptr;
}

LineAnswer Line::SendForward(std::uint16_t frame, Micros endUs) {
    LineAnswer heard;
    int answers = 0;
    bool allSame = true;
    Micros latestUs = 0;
    for (auto& gear : m_gear) {
        const std::optional<std::uint8_t> answer = gear->ReceiveForward(frame, endUs, m_random);
        if (!answer) continue;
        if (answers > 0 && (*answer != heard.value || gear->AnswerDelayUs() != latestUs))
            allSame = false;
        heard.value = *answer;
        latestUs = answers == 0 ? gear->AnswerDelayUs() : std::max(latestUs, gear->AnswerDelayUs());
        ++answers;
    }
    if (answers == 0) return LineAnswer{};
    // Answers that start at different times garble each other whatever their bytes.
    if (answers == 1 || (allSame && m_identicalAnswersDecode))
        return LineAnswer{AnswerKind::Byte, heard.value, latestUs};
    return LineAnswer{AnswerKind::Corrupt, 0, latestUs};
}

void Line::SendDsi(std::uint8_t level) {
    for (auto& gear : m_gear) gear->ReceiveDsi(level);
}

}  // namespace zd::sim
