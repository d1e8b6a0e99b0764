#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::cli {

// The found files as an aligned table with the results list's column titles and texts (Long Name
// after File Name, empty where there is none); control characters in names are escaped
// (terminalText).
void printTable(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);
void printTable(std::ostream& out, const FoundList& entries);
// A JSON array of objects; times as "YYYY-MM-DDTHH:MM:SS" as stored, null when impossible;
// longName and firstChar null when absent, longNameCut true where the long name is only the
// start of a longer one (it then ends in "…").
void printJson(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);
// The same fields as CSV (RFC 4180: CRLF line ends, quotes doubled) with a header row; absent
// long names and first characters are empty fields.
void printCsv(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);

// One object of that array ("  {" to "  }", no comma or line end after it), appended to `text`.
void appendJsonEntry(std::string& text, const DeletedFileEntry& entry);
// The CSV header row, and one entry's row.
const char* csvHeader();
// One CSV row (its line end included) appended to `text`.
void appendCsvLine(std::string& text, const DeletedFileEntry& entry);

}  // namespace rekkon::cli
