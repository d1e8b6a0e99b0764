#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace rekkon::cli {

// The text of recover's progress line: bytes copied of the total, the rate so far and the time
// left at that rate, such as "12.0 MiB of 300.0 MiB  45.1 MiB/s  0:06 left". Rate and time left
// are left out until a rate can be told (`seconds` of copying and some bytes done).
std::string recoverProgressText(std::uint64_t done, std::uint64_t total, double seconds);

// A byte count for people: "512 B", "12.0 KiB", "1.5 GiB".
std::string byteSizeText(std::uint64_t bytes);

// recover's one progress line on a terminal: redrawn in place (carriage return, line erased) at
// most ten times a second as bytes are copied, and erased by clear() before anything else is
// written to the terminal.
class RecoverProgressLine {
  public:
    RecoverProgressLine(std::ostream& err, std::uint64_t totalBytes)
        : err_(err), total_(totalBytes) {}
    ~RecoverProgressLine() { clear(); }
    RecoverProgressLine(const RecoverProgressLine&) = delete;
    RecoverProgressLine& operator=(const RecoverProgressLine&) = delete;

    // `bytes` more were copied.
    void add(std::uint64_t bytes);
    // Erases the line when it is shown; the next add() draws it again.
    void clear();

  private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDrawn_{};
    bool shown_ = false;
};

}  // namespace rekkon::cli
