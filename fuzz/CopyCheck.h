#pragma once

#include <cstdint>

#include "recovery/FileData.h"

namespace rekkon::fuzz {

// Copies the first `size` bytes of an opened found file through the recovery copy loop into
// nowhere, checking that the loop delivers exactly that many and no more unreadable than copied.
void copyThroughLoop(FileDataHandle& data, std::uint64_t size);

}  // namespace rekkon::fuzz
