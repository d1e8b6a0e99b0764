#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rekkon {

// The value of a PDF string object (literal "(...)" or hex "<...>") at the start of `text` after
// blanks, as UTF-8 (UTF-16 strings with their byte order mark, others taken as Latin-1); empty
// when there is none.
std::string pdfString(std::string_view text);

// A PDF date "D:YYYYMMDDHHmmSS+HH'mm'" as a FILETIME, 0 when it is not one; `utc` tells whether
// it held a zone (the time is then UTC).
std::uint64_t pdfDate(std::string_view text, bool& utc);

}  // namespace rekkon
