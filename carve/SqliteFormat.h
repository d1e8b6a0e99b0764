#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// An SQLite database: its header's page size times its page count, when the header vouches for
// the count.
bool sqliteStarts(std::span<const std::uint8_t> head);
CarveResult checkSqlite(CarveInput& input);

}  // namespace rekkon
