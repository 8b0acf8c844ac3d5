// What the control keeps of its addressing procedures (the step state record, what a run
// recovered from) and the description of a run that the common Start/Cancel button and its timer
// drive. The procedures themselves are in addressing/ (see AddressingFrame.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/AddressingTypes.h"
#include "ui/Controls.h"

namespace zd {

enum class FirmwareStep : std::int16_t { Idle = 0, Start = 10, Poll = 15, Stop = 1000 };

// The step state of the form's addressing machines; each procedure owns its own fields.
struct AddressingState {
    FirmwareStep nFirmwareState = FirmwareStep::Idle;
    std::int16_t nFeedbackAddress = 0;
};

// The ends every addressing machine shares (configZD4270::AddressingMachineStep): the stop state
// clears the status label, ends the gear's initialisation with TERMINATE as broadcast
// (terminateAtStop) and shows colDevices in the views; a state the machine does not know shows the
// error text in the status label, finishes the run and idles the machine; an error is reported
// under the procedure's name and finishes the run. A machine that idles at its ends goes back to
// idle after the stop and an error too (the terminal's own run, which a poll takes up again).
struct AddressingMachine {
    const char* procedure = "";
    Label* statusLabel = nullptr;
    bool terminateAtStop = true;
    bool idleAtEnd = false;
};

// One step of a procedure: start and stop flags in, finished out.
using AddressingStep = std::function<void(bool bStart, bool bStop, bool& bFinished)>;

// A procedure run by the common Start/Cancel button and its polling timer.
struct AddressingRun {
    Button* button = nullptr;
    Timer* timer = nullptr;
    std::int64_t intervalMs = 0;
    Label* statusLabel = nullptr;
    bool* running = nullptr;
    // Enables or disables the procedure's options while it runs.
    std::function<void(bool)> enableOptions;
    // Message shown in the status label at the start, followed by "...".
    int startMessage = 0;
    // Words of the run lines in the log: " start <words>", " end <words>", " ... by user".
    std::string logWords;
    AddressingStep step;
    // Empties the lists before the start call; the frame's ClearAddressingLists when not given.
    std::function<void()> clearLists;
    // Asked before a start; false leaves everything as it was (the user said no).
    std::function<bool()> confirmStart;
};

}  // namespace zd
