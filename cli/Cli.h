#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "recovery/SameVolume.h"
#include "recovery/ScanContext.h"

namespace rekkon::cli {

// Exit statuses of rekkon-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitOutput = 1;  // the output could not be written
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSource = 3;
inline constexpr int kExitSkipped = 4;  // files skipped, or written with unreadable parts
// The scan was stopped by SIGINT or SIGTERM (main() then ends the process by that signal).
inline constexpr int kExitInterrupted = 130;

struct Streams {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool errIsTerminal = false;
    bool inIsTerminal = false;
    // Opens a SOURCE argument: a block device or image file, or what a test hands in.
    SourceOpener openSource = openFileSource;
    // How `recover` tells whether the destination lies on the scanned device.
    DeviceProbe deviceProbe = {};
    // Standard output is a terminal: a list written as it is found is not mixed with the scan's
    // progress line there.
    bool outIsTerminal = false;
};

int runCli(const std::vector<std::string>& args, Streams& io);

}  // namespace rekkon::cli
