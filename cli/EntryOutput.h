#pragma once

#include <iosfwd>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::cli {

// The found files as an aligned table with the results list's column titles and texts (Long Name
// after File Name, empty where there is none); control characters in names are escaped
// (terminalText).
void printTable(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);
// A JSON array of objects; times as "YYYY-MM-DDTHH:MM:SS" as stored, null when impossible;
// longName and firstChar null when absent, longNameCut true where the long name is only the
// start of a longer one (it then ends in "…").
void printJson(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);
// The same fields as CSV (RFC 4180: CRLF line ends, quotes doubled) with a header row; absent
// long names and first characters are empty fields.
void printCsv(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);

}  // namespace rekkon::cli
