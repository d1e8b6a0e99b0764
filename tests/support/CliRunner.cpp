#include "support/CliRunner.h"

#include <sstream>

#include "cli/Cli.h"

namespace rekkon::test {

CliRun runCliInProcess(const std::vector<std::string>& args, const std::string& input,
                       bool inIsTerminal) {
    CliSetup setup;
    setup.input = input;
    setup.inIsTerminal = inIsTerminal;
    return runCliInProcess(args, setup);
}

CliRun runCliInProcess(const std::vector<std::string>& args, const CliSetup& setup) {
    std::ostringstream collected, err;
    std::ostream given(setup.out);
    std::istringstream in(setup.input);
    cli::Streams io{setup.out ? given : collected, err, in, setup.errIsTerminal,
                    setup.inIsTerminal};
    if (setup.openSource) io.openSource = setup.openSource;
    if (setup.deviceProbe) io.deviceProbe = *setup.deviceProbe;
    CliRun r;
    r.status = cli::runCli(args, io);
    r.out = collected.str();
    r.err = err.str();
    return r;
}

}  // namespace rekkon::test
