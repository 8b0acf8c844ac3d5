// The terminal firmware's own random addressing: a binary search over the gear's random addresses
// that hands out short addresses from a start address, frame by frame over the line, ending in the
// count of addressed gear or one of the result codes the control knows.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

#include "sim/DaliFrame.h"

namespace zd::sim {

// Result codes in the low input byte after a run; 0..63 is the number of gear addressed. A run
// that addresses a whole line of 64 gear has no count to report (64 would read as an error code):
// it reports kFirmwareNoFreeShortAddress, which is true once every address is taken, and the
// addresses themselves are there for a scan to find.
inline constexpr std::uint8_t kFirmwareInternalError = 0xDE;
inline constexpr std::uint8_t kFirmwareNoFreeShortAddress = 0xE0;
inline constexpr std::uint8_t kFirmwareSameShortAddress = 0xF0;
inline constexpr std::uint8_t kFirmwareNoCompareReply = 0xF8;
inline constexpr std::uint8_t kFirmwareNoReplyAfterProgramming = 0xFE;

class FirmwareAddressing {
  public:
    // The parameter word from the output data: bit 0 complete new installation, bit 3 optical
    // feedback, bits 8 to 15 the first short address to give.
    explicit FirmwareAddressing(std::uint16_t parameter);

    // The first frame to send; none when the run ends before it starts (see Result()).
    std::optional<std::uint16_t> Start();
    // What the line gave back for the last frame; the next frame, or none when the run is over.
    std::optional<std::uint16_t> OnAnswer(const LineAnswer& answer);

    bool Finished() const { return m_phase == Phase::Done; }
    std::uint8_t Result() const { return m_result; }

  private:
    enum class Phase {
        Prologue,
        Probe,
        CompareAll,
        Search,
        Confirm,
        Verify,
        AfterWithdraw,
        Ending,
        Done
    };

    void Decide(const LineAnswer& answer);
    void BeginProbe();
    void BeginSearchRound();
    void QueueSearchAddress(std::uint32_t address);
    void QueueCompare(std::uint32_t address);
    void Finish(std::uint8_t result);
    std::optional<std::uint16_t> NextFrame();

    bool m_newInstallation;
    bool m_opticalFeedback;
    std::uint8_t m_startAddress;

    Phase m_phase = Phase::Prologue;
    std::deque<std::uint16_t> m_frames;
    std::array<bool, 64> m_taken{};
    int m_probe = 0;
    int m_address = 0;
    std::uint32_t m_low = 0;
    std::uint32_t m_high = kNoRandomAddress;
    std::uint32_t m_searchProbe = 0;
    std::array<int, 3> m_lastSearchBytes{-1, -1, -1};
    std::uint8_t m_count = 0;
    std::uint8_t m_result = 0;
};

}  // namespace zd::sim
