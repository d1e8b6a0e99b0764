#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "volume/PartitionTable.h"

namespace rekkon::cli {

// A byte count as people read it: "512 bytes", "16.0 MiB", "3.0 TiB".
std::string sizeText(std::uint64_t bytes);

// A label read from a volume as it may be shown on a terminal, its control characters escaped
// as names are (terminalText).
std::string labelText(const std::string& label);

// "DOS" or "GPT" for a table's scheme.
std::string schemeText(const std::string& scheme);

// The table as rows of number, start, end, length (in the table's own sectors, as partition
// tools count them), size, type, file system and label; with `volumesOnly`, only the FAT and NTFS
// partitions. Each row is indented by `indent`.
void printPartitionRows(std::ostream& out, const PartitionTable& table, bool volumesOnly,
                        const std::string& indent = "");

}  // namespace rekkon::cli
