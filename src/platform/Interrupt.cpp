#include "platform/Interrupt.h"

#include <atomic>
#include <csignal>

namespace zd {

namespace {

std::atomic<int> g_signal{0};
// Whether PrepareProcessSignals holds SIGINT and SIGTERM back; a caller's own mask is left alone.
std::atomic<bool> g_held{false};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

// Nothing but the flag: the run loop does the work. A second signal takes its default action.
extern "C" void OnInterrupt(int signal) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) return;
    // The signal is blocked while its handler runs; unblocked, the raise takes effect at once.
    std::signal(signal, SIG_DFL);
    sigset_t own;
    sigemptyset(&own);
    sigaddset(&own, signal);
    sigprocmask(SIG_UNBLOCK, &own, nullptr);
    std::raise(signal);
}

sigset_t InterruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void PrepareProcessSignals() {
    // Past a file size limit a write fails with EFBIG, which the writer reports and after which
    // it removes its temporary file; the signal's default action would end the program first.
    std::signal(SIGXFSZ, SIG_IGN);
    const sigset_t held = InterruptSignals();
    sigprocmask(SIG_BLOCK, &held, nullptr);
    g_held = true;
}

void ReleaseInterruptSignals() {
    if (!g_held.exchange(false)) return;
    const sigset_t held = InterruptSignals();
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

void InstallInterruptHandlers() {
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A signal held since the start reaches the handler now.
    ReleaseInterruptSignals();
}

int InterruptSignal() {
    return g_signal.load();
}

int InterruptExitCode(int signal) {
    return 128 + signal;
}

const char* InterruptName(int signal) {
    return signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : "a signal";
}

}  // namespace zd
