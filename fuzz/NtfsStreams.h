#pragma once

#include <cstdint>

#include "ntfs/MftFile.h"

namespace rekkon::fuzz {

// Reads every $DATA stream of an open file by name, as the commands do, and every other
// attribute straight from its descriptor, each from its start until it ends or the budgets run
// out; checks that no read delivers more than asked or past the data size.
void readAllStreams(MftFile& file, std::uint64_t& budget);

}  // namespace rekkon::fuzz
