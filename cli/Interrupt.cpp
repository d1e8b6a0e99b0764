#include "cli/Interrupt.h"

#include <atomic>
#include <utility>

#include "fs/FileSystem.h"

namespace rekkon::cli {

namespace {

volatile std::sig_atomic_t gSignal = 0;
// The scan the signal stops, if one runs; lock-free atomics are safe to use in a signal handler.
std::atomic<ScanCancel*> gCancel{nullptr};
static_assert(std::atomic<ScanCancel*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void noteSignal(int number) {
    gSignal = number;
    if (ScanCancel* cancel = gCancel.load(std::memory_order_relaxed)) cancel->request();
}

}  // namespace

InterruptWatch::InterruptWatch(ScanCancel* cancel) {
    gSignal = 0;
    gCancel.store(cancel, std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a read of the terminal ends with the signal
    // A signal the process was started to ignore stays ignored.
    const std::pair<int, struct sigaction*> watched[] = {{SIGINT, &previousInt_},
                                                         {SIGTERM, &previousTerm_}};
    for (const auto& [number, previous] : watched) {
        sigaction(number, &action, previous);
        if (previous->sa_handler == SIG_IGN) sigaction(number, previous, nullptr);
    }
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    gCancel.store(nullptr, std::memory_order_relaxed);
}

bool InterruptWatch::interrupted() {
    return gSignal != 0;
}

void endIfInterrupted() {
    const int number = gSignal;
    if (number == 0) return;
    std::signal(number, SIG_DFL);
    std::raise(number);
}

}  // namespace rekkon::cli
