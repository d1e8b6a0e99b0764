#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace rekkon::cli {

int runInfo(const std::vector<std::string>& args, Streams& io);

}  // namespace rekkon::cli
