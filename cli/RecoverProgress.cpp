#include "cli/RecoverProgress.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace rekkon::cli {

std::string byteSizeText(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    // 1023.96 KiB would print as "1024.0 KiB": the next unit up reads better.
    while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

namespace {

// "0:06", "12:34", "1:02:03"; "--:--" past about 100 days.
std::string durationText(double seconds) {
    if (!(seconds < 1e7)) return "--:--";
    const auto whole = static_cast<std::uint64_t>(std::ceil(seconds));
    const std::uint64_t h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    char text[32];
    if (h != 0)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(h),
                      static_cast<unsigned long long>(m), static_cast<unsigned long long>(s));
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(m),
                      static_cast<unsigned long long>(s));
    return text;
}

}  // namespace

std::string recoverProgressText(std::uint64_t done, std::uint64_t total, double seconds) {
    std::string text = byteSizeText(done) + " of " + byteSizeText(total);
    if (done == 0 || !(seconds > 0.0)) return text;
    const double rate = static_cast<double>(done) / seconds;
    const std::uint64_t left = total > done ? total - done : 0;
    text += "  " + byteSizeText(static_cast<std::uint64_t>(rate)) + "/s  " +
            durationText(static_cast<double>(left) / rate) + " left";
    return text;
}

void RecoverProgressLine::add(std::uint64_t bytes) {
    const Clock::time_point now = Clock::now();
    done_ += bytes;
    if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    err_ << '\r' << recoverProgressText(done_, total_, seconds) << "\x1b[K" << std::flush;
}

void RecoverProgressLine::clear() {
    if (!shown_) return;
    shown_ = false;
    err_ << "\r\x1b[K" << std::flush;
}

}  // namespace rekkon::cli
