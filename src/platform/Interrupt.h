// Ctrl-C (SIGINT) and SIGTERM during a headless run. The first signal only asks the run to end:
// the handler records it and the run's clock loop, which polls it, cancels the procedure as the
// window's Cancel does and lets the command report what it did. A second signal ends the program
// at once, as the signal would without a handler.
#pragma once

namespace zd {

// First thing in main(): ignores SIGXFSZ (a write past `ulimit -f` then fails with EFBIG and is
// reported like a full disk) and holds SIGINT and SIGTERM back until the program knows what it
// runs, so that a signal in its first milliseconds is not lost and does not end it half started.
void PrepareProcessSignals();
// Lets held signals through with their default action (the window, the demonstration, a usage
// error): a signal that came meanwhile takes effect now.
void ReleaseInterruptSignals();

// Installs the handlers (again at each call), forgets any signal recorded before and lets held
// signals through to them. System calls under way go on after the handler (SA_RESTART), so that the
// transaction under way is finished.
void InstallInterruptHandlers();
// The first signal that came since, or 0. Safe from any thread.
int InterruptSignal();
// The exit code for a run that the signal ended: 128 + its number (130 for SIGINT).
int InterruptExitCode(int signal);
// "SIGINT" or "SIGTERM".
const char* InterruptName(int signal);

}  // namespace zd
