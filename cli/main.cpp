#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"
#include "cli/Interrupt.h"

int main(int argc, char** argv) {
    // The streams are the only users of stdout and stderr: their own buffers suffice.
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    rekkon::cli::Streams io{std::cout, std::cerr, std::cin, isatty(STDERR_FILENO) != 0,
                            isatty(STDIN_FILENO) != 0};
    io.outIsTerminal = isatty(STDOUT_FILENO) != 0;
    const int status = rekkon::cli::runCli(args, io);
    // Stopped by SIGINT or SIGTERM, with what it left unfinished removed: end as the signal would.
    std::cout.flush();
    std::cerr.flush();
    rekkon::cli::endIfInterrupted();
    return status;
}
