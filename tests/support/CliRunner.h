#pragma once

#include <string>
#include <vector>

namespace rekkon::test {

// What one in-process run of rekkon-cli printed and returned.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs rekkon-cli's entry point with `args`; `input` is standard input, taken as a terminal
// when `inIsTerminal` (stderr never is).
CliRun runCliInProcess(const std::vector<std::string>& args, const std::string& input = "",
                       bool inIsTerminal = false);

}  // namespace rekkon::test
