// Physical selection: gear get their short addresses in the order in which a person takes their
// lamps out and puts them back, each confirmed by three flashes of its lamp. One step at a time,
// so that the window can show each and a cancel comes between two; RunPhysicalSelection runs it
// for other front ends, which tell it when to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"

namespace zd {

inline constexpr std::int64_t kPhySelIntervalMs = 50;

enum class PhySelStep : std::int16_t {
    Idle = 0,
    Start = 10,
    WaitForLamp = 20,
    PollRemoved = 30,
    FindFree = 40,
    Program = 45,
    PollReinserted = 50,
    Confirm = 60,
    Stop = 1000
};

struct PhysicalSelectionOptions {
    std::int16_t startAddress = 0;
    bool newInstallation = false;
    bool deleteGroups = false;
    bool deleteScenes = false;
};

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

// Where a run for a front end stands after each step: the status a person reads (waiting for a
// lamp to be taken out, to be put back, ...) and the lamps addressed so far (number, address).
struct PhysicalSelectionReport {
    std::vector<std::pair<std::int16_t, std::int16_t>> lamps;
    std::vector<AddressingRecovery> recovered;
    EngineOutcome outcome;
};

// The run as the window's Start button and timer drive it. It waits for lamps until stop()
// holds (asked between steps and between the scheduler's events, with the progress of the last
// step), then ends as the window's Cancel ends it; the address limit ends it by itself.
PhysicalSelectionReport RunPhysicalSelection(AddressingLine& line,
                                             const PhysicalSelectionOptions& options, bool log,
                                             const std::string& logPath, const ProgressFn& progress,
                                             const std::function<bool()>& stop);

}  // namespace zd
