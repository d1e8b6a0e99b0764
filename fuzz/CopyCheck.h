#pragma once

#include <cstdint>

#include "recovery/FileData.h"

namespace rekkon::fuzz {

// Copies the first `size` bytes of an opened found file through the recovery copy loop into
// nowhere, holes passed over as recovery does, checking that the loop delivers exactly that many
// and no more unreadable than it read, and that each hole's start reads as zeros.
void copyThroughLoop(FileDataHandle& data, std::uint64_t size);

}  // namespace rekkon::fuzz
