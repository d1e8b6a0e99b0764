#include "cli/Cli.h"

#include <ostream>

#include "cli/Commands.h"

namespace rekkon::cli {

namespace {

constexpr const char* kUsage =
    "usage: rekkon-cli COMMAND [ARGS]\n"
    "\n"
    "Finds deleted files on a FAT12/16/32 or NTFS volume (a block device or a disk-image file)\n"
    "and copies them out. The source is only ever opened read-only.\n"
    "\n"
    "commands:\n"
    "  info SOURCE     show the file system and geometry of SOURCE\n"
    "  help            show this text\n"
    "\n"
    "exit status: 0 done; 2 bad usage; 3 the source cannot be opened or holds no volume\n"
    "that can be read.\n";

}  // namespace

int runCli(const std::vector<std::string>& args, Streams& io) {
    if (args.empty()) {
        io.err << kUsage;
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "help" || command == "--help" || command == "-h") {
        io.out << kUsage;
        return kExitOk;
    }
    if (command == "info")
        return runInfo(rest, io);
    io.err << "rekkon-cli: unknown command \"" << command << "\"\n" << kUsage;
    return kExitUsage;
}

}  // namespace rekkon::cli
