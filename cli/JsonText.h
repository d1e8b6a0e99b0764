#pragma once

#include <string>
#include <string_view>

namespace rekkon::cli {

// Appends `text` as a JSON string literal, quotes included: '"', '\' and control characters are
// escaped, other characters are kept as UTF-8, and a byte that is not part of valid UTF-8
// becomes U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace rekkon::cli
