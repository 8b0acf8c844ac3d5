// Ctrl-C (SIGINT) and SIGTERM during a headless run. The first signal only asks the run to end:
// the handler records it and the run's clock loop, which polls it, cancels the procedure as the
// window's Cancel does and lets the command report what it did. A second signal ends the program
// at once, as the signal would without a handler.
#pragma once

namespace zd {

// Installs the handlers (again at each call) and forgets any signal
// recorded before. System calls under way go on after the handler (SA_RESTART), so that the
// transaction under way is finished.
void InstallInterruptHandlers();
// The first signal that came since, or 0. Safe from any thread.
int InterruptSignal();
// The exit code for a run that the signal ended: 128 + its number (130 for SIGINT).
int InterruptExitCode(int signal);
// "SIGINT" or "SIGTERM".
const char* InterruptName(int signal);

}  // namespace zd
