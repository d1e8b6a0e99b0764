#include "support/CliRunner.h"

#include <sstream>

#include "cli/Cli.h"

namespace rekkon::test {

CliRun runCliInProcess(const std::vector<std::string>& args, const std::string& input,
                       bool inIsTerminal) {
    std::ostringstream out, err;
    std::istringstream in(input);
    cli::Streams io{out, err, in, false, inIsTerminal};
    CliRun r;
    r.status = cli::runCli(args, io);
    r.out = out.str();
    r.err = err.str();
    return r;
}

}  // namespace rekkon::test
