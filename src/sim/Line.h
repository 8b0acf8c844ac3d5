// The DALI line: every forward frame reaches every gear; the answers that come back make no
// backward frame, one clean byte, or a corrupt frame. Owns the gear and the random source that
// RANDOMISE draws from, so that a seed makes a run repeatable.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "sim/Ballast.h"
#include "sim/DaliFrame.h"

namespace zd::sim {

class Line {
  public:
    explicit Line(std::uint32_t randomSeed = 1) : m_random(randomSeed) {}

    // Connects a gear at nowUs; returns it. Ids are not reused.
    Ballast& AddGear(const GearConfig& config, Micros nowUs = 0);
    bool RemoveGear(int id);
    Ballast* FindGear(int id);
    const std::vector<std::unique_ptr<Ballast>>& Gear() const { return m_gear; }

    // A DALI forward frame whose last bit ends at endUs; what the master hears back.
    LineAnswer SendForward(std::uint16_t frame, Micros endUs);
    // A DSI frame: a level for every DSI gear.
    void SendDsi(std::uint8_t level);

    void SetRandomSeed(std::uint32_t seed) { m_random.seed(seed); }
    // A seed drawn from the line's random source, for a saved line to go on with: a reload then
    // does not draw the same random addresses again.
    std::uint32_t NextSeed() { return static_cast<std::uint32_t>(m_random()); }
    // Gear that answer with the same byte in step may decode cleanly (off: any two answers give a
    // corrupt frame, the way gear with their own answer delays garble each other).
    void SetIdenticalAnswersDecode(bool on) { m_identicalAnswersDecode = on; }
    bool IdenticalAnswersDecode() const { return m_identicalAnswersDecode; }

  private:
    std::vector<std::unique_ptr<Ballast>> m_gear;
    int m_nextId = 1;
    std::mt19937 m_random;
    bool m_identicalAnswersDecode = false;
};

}  // namespace zd::sim
