#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "recovery/SameVolume.h"
#include "recovery/ScanContext.h"

namespace rekkon::test {

// What one in-process run of rekkon-cli printed and returned.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The surroundings of one in-process run.
struct CliSetup {
    std::string input;              // standard input
    bool inIsTerminal = false;      // stdin taken as a terminal
    bool errIsTerminal = false;     // stderr taken as a terminal (progress is drawn on it)
    std::streambuf* out = nullptr;  // standard output's buffer; null: collected into CliRun::out
    SourceOpener openSource;        // null: SOURCE arguments are opened as files
    std::optional<DeviceProbe> deviceProbe;
};

// Runs rekkon-cli's entry point with `args`; `input` is standard input, taken as a terminal
// when `inIsTerminal` (stderr never is).
CliRun runCliInProcess(const std::vector<std::string>& args, const std::string& input = "",
                       bool inIsTerminal = false);
CliRun runCliInProcess(const std::vector<std::string>& args, const CliSetup& setup);

}  // namespace rekkon::test
