#pragma once

#include <csignal>

namespace rekkon {
class ScanCancel;
}

namespace rekkon::cli {

// While an InterruptWatch lives, SIGINT and SIGTERM do not end the process at once: the signal is
// noted, the work in progress sees `interrupted()` at its next step, stops, removes what it left
// unfinished and returns; main() then ends the process by that signal (endIfInterrupted). A
// blocking read of the terminal is not resumed after the signal. Watches do not nest; a new one
// starts with no signal noted.
class InterruptWatch {
  public:
    // A watch over a scan also requests `cancel` (from the signal handler) when the signal comes.
    explicit InterruptWatch(ScanCancel* cancel = nullptr);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    static bool interrupted();

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// Ends the process by the signal a watch noted, as the signal would have ended it without the
// watch; returns when none was noted.
void endIfInterrupted();

}  // namespace rekkon::cli
