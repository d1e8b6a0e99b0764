#include "cli/PartitionText.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <vector>

#include "cli/JsonText.h"

namespace rekkon::cli {

std::string sizeText(std::uint64_t bytes) {
    static constexpr std::array<const char*, 5> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < kUnits.size()) {
        value /= 1024;
        ++unit;
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f %s", value, kUnits[unit]);
    return text.data();
}

std::string labelText(const std::string& label) {
    return terminalText(label);
}

std::string schemeText(const std::string& scheme) {
    if (scheme == "dos") return "DOS";
    if (scheme == "gpt") return "GPT";
    return scheme;
}

void printPartitionRows(std::ostream& out, const PartitionTable& table, bool volumesOnly,
                        const std::string& indent) {
    using Row = std::array<std::string, 8>;
    std::vector<Row> rows = {
        {"Number", "Start", "End", "Length", "Size", "Type", "File system", "Label"}};
    const std::uint64_t unit = table.sectorSize == 0 ? 512 : table.sectorSize;
    for (const PartitionInfo& p : table.partitions) {
        if (volumesOnly && (p.extended || !isVolumeFileSystemName(p.fileSystem))) continue;
        const std::uint64_t start = p.offset / unit;
        const std::uint64_t length = p.length / unit;
        rows.push_back({std::to_string(p.number), std::to_string(start),
                        std::to_string(length == 0 ? start : start + length - 1),
                        std::to_string(length), sizeText(p.length), p.type,
                        p.extended             ? "(extended)"
                        : p.fileSystem.empty() ? "-"
                                               : p.fileSystem,
                        labelText(p.label)});
    }
    std::array<std::size_t, 8> widths{};
    for (const Row& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    for (const Row& row : rows) {
        std::string line = indent;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

}  // namespace rekkon::cli
