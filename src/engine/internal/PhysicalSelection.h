// Inside the engine: physical selection, one step at a time. Only the engine and the form, which
// steps it on its own timer, include this; every other front end runs the whole procedure through
// engine/PhysicalSelection.h.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "engine/PhysicalSelection.h"

namespace zd {

struct PhysicalSelectionView {
    std::function<void(const std::string& text)> showStatus;
    std::function<void(std::int16_t lampNo, std::int16_t shortAddress)> showLamp;
};

struct PhysicalSelectionState {
    PhySelStep nPhySelState = PhySelStep::Idle;
    std::int16_t nPhySelAddress = 0;
    std::int16_t nPhySelPollCount = 0;
    std::int16_t nPhySelLampNo = 0;
    // When the initialisation window was last opened or renewed (scheduler milliseconds), and the
    // short address the selected gear reported before it was programmed (-1: none).
    std::int64_t lPhySelInitialisedMs = 0;
    std::int16_t nPhySelOldAddress = -1;
    // A gear selected again that keeps the address it was given earlier in the run (-1: none),
    // and whether two lamps were seen out at once while waiting for this one.
    std::int16_t nPhySelRepeatAddress = -1;
    bool bPhySelTwoOut = false;
};

class PhysicalSelectionRun {
  public:
    explicit PhysicalSelectionRun(AddressingLine& line) : m_line(line) {}

    // Taken at the start of a run.
    void SetOptions(const PhysicalSelectionOptions& options) { m_options = options; }
    void SetView(PhysicalSelectionView view) { m_view = std::move(view); }
    // The step state, for a front end that runs the start, stop and error ends in its own
    // machine.
    PhySelStep& MachineState() { return m_s.nPhySelState; }
    const PhysicalSelectionState& State() const { return m_s; }
    // Runs the run's own step; false for a step that is not its own (Idle, Stop or unknown).
    bool RunOwnStep(bool& bFinished);

  private:
    void Status(const std::string& text);
    bool HolderIsOne(std::int16_t nShortAddress);
    void PrepareLine();
    void Blink(std::int16_t nShortAddress);

    AddressingLine& m_line;
    PhysicalSelectionOptions m_options;
    PhysicalSelectionView m_view;
    PhysicalSelectionState m_s;
    // The addresses given in this run.
    std::set<std::int16_t> m_given;
};

}  // namespace zd
