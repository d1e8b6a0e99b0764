#pragma once

#include <string>
#include <vector>

#include "recovery/RecoveryWriter.h"

namespace rekkon::test {

// Recovers every entry of the last scan into `folder`, giving `firstChar` for every '?' name.
std::vector<RecoveryOutcome> recoverAllFound(ScanContext& context, const std::string& folder,
                                             const std::string& firstChar,
                                             std::size_t chunkBytes = 1 << 20);

}  // namespace rekkon::test
