#pragma once

#include <cstdint>

#include "recovery/ScanContext.h"

namespace rekkon::fuzz {

// Scans the mounted volume as the control byte asks (a folder, deep, some records only) and
// reads the data of every entry found through the recovery copy loop, within the budgets.
void scanAndRead(ScanContext& context, std::uint8_t control);

}  // namespace rekkon::fuzz
