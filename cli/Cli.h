#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace rekkon::cli {

// Exit statuses of rekkon-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSource = 3;
inline constexpr int kExitSkipped = 4;

struct Streams {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool errIsTerminal = false;
    bool inIsTerminal = false;
};

int runCli(const std::vector<std::string>& args, Streams& io);

}  // namespace rekkon::cli
