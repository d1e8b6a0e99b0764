#pragma once

#include <string>
#include <string_view>

namespace rekkon::cli {

// Appends `text` as a JSON string literal, quotes included: '"', '\' and control characters are
// escaped, other characters are kept as UTF-8, and a byte that is not part of valid UTF-8
// becomes U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

// `text` (a name or folder from a volume) as the table shows it on a terminal: a newline, a
// carriage return and a tab as \n, \r and \t, other C0 controls, DEL and bytes that are not
// valid UTF-8 as \xHH, C1 controls as \u0080..\u009f. A backslash stays as it is: it separates
// folders in the paths shown, and FAT and Windows names cannot hold one (JSON and CSV give
// names exactly).
std::string terminalText(std::string_view text);

}  // namespace rekkon::cli
