#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    // The streams are the only users of stdout and stderr: their own buffers suffice.
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    rekkon::cli::Streams io{std::cout, std::cerr, std::cin, isatty(STDERR_FILENO) != 0,
                            isatty(STDIN_FILENO) != 0};
    return rekkon::cli::runCli(args, io);
}
