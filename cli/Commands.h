#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace rekkon::cli {

int runInfo(const std::vector<std::string>& args, Streams& io);
int runList(const std::vector<std::string>& args, Streams& io);
int runRecover(const std::vector<std::string>& args, Streams& io);
int runCat(const std::vector<std::string>& args, Streams& io);

}  // namespace rekkon::cli
