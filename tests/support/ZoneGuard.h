#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace rekkon::test {

// Sets the process's time zone (TZ) for the life of the guard; a POSIX zone such as "RKT-3"
// (three hours east of UTC) needs no zone files.
class ZoneGuard {
  public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

  private:
    std::optional<std::string> saved_;
};

}  // namespace rekkon::test
