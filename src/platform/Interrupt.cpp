#include "platform/Interrupt.h"

#include <atomic>
#include <csignal>

namespace zd {

namespace {

std::atomic<int> g_signal{0};
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

}  // namespace

void InstallInterruptHandlers() {
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
