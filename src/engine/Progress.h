// How far a job has come, as every front end shows it: what runs, what it did last, the steps and
// the part done, the time left, and what the job passes along on its way. One type for every job
// of the engine and the host; the estimate of the time left from the line's own pace so far is
// made here too.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Messages.h"

namespace zd {

struct ArchiveBallast;

// The stage of a job that passes through several, where a front end tells them apart.
enum class ProgressStage : std::uint8_t {
    None,
    // A test the gear has taken but waits to run (battery not full, mains off, inhibit).
    Pending,
    // A test that runs in the gear.
    Running,
    // Reading (a backup, an archive upload), and writing (a restore, an archive download).
    Reading,
    Writing,
    // The parts of a device's reading.
    Variables,
    Groups,
    Scenes,
};

// Where a job stands. The engine fills what it knows; the front end names the job (what) and
// words the rest where it shows it.
struct ProgressState {
    // What runs, as the front end names it.
    std::string what;
    // What the job did last: its status line (the window's caption), or how the front end words
    // the address at work.
    std::string detail;
    // The part of the whole that is done (0 to 1), where the job can tell.
    std::optional<double> fraction{};
    Language language = Language::English;
    // A device page reading its device: the read runs inside the one handler that opened the
    // page, and the window is drawn meanwhile only where the progress draws itself.
    bool pageRead = false;
    // Steps done and all of them, where the job counts steps (total 0 where it does not).
    int done = 0;
    int total = 0;
    // Since the job began, on the line's clock.
    std::int64_t elapsedMs = 0;
    // The time left, where the job knows it better than its pace so far tells (its own duration,
    // the terminal's own search estimated from the gear known); see TimeLeftMs.
    std::optional<std::int64_t> leftMs{};

    // What a job passes along, where it has it.
    ProgressStage stage = ProgressStage::None;
    // The step within the stage and the stage's steps (a device's reading).
    int stageStep = 0;
    int stageSteps = 0;
    // The short address at work (a scan, a transfer, a backup or restore).
    std::optional<std::int16_t> address{};
    // Gear given an address so far (the searches).
    std::optional<int> addressed{};
    // The lamps taken out so far with the address each got, in order (the physical selection).
    std::vector<std::pair<std::int16_t, std::int16_t>> lamps{};
    // An archive upload: the address's entry as read so far (a window shows each level as it
    // comes); valid during the call only.
    const ArchiveBallast* archiveRead = nullptr;
};

// Hears of a job's progress on the scheduler's thread, after each step; it must not call into
// the link.
using ProgressFn = std::function<void(const ProgressState&)>;

// "about 9 min 40 s", "12 s": a duration as the progress is shown.
std::string DurationText(std::int64_t ms);
// The time the rest will take: the job's own leftMs where it knows it, else at the pace of the
// part done so far; nothing while too little of the run lies behind to tell.
std::optional<std::int64_t> TimeLeftMs(const ProgressState& state, std::int64_t elapsedMs);
// What runs, how far it has come and the estimate, as one line after elapsedMs on the line.
std::string ProgressText(const ProgressState& state, std::int64_t elapsedMs);

}  // namespace zd
