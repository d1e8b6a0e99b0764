#include "exfat/ExfatUpcase.h"

#include "exfat/ExfatVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

ExfatUpcase::ExfatUpcase() : table_(65536) {
    for (std::size_t u = 0; u < table_.size(); ++u)
        table_[u] = static_cast<char16_t>(u >= 'a' && u <= 'z' ? u - 32 : u);
}

bool ExfatUpcase::load(std::span<const std::uint8_t> stored) {
    std::vector<char16_t> table(65536);
    for (std::size_t u = 0; u < table.size(); ++u)
        table[u] = static_cast<char16_t>(u);
    const LeReader r(stored);
    std::size_t unit = 0;
    for (std::size_t at = 0; at + 2 <= stored.size(); at += 2) {
        const std::uint16_t value = r.u16(at).value_or(0);
        if (value == 0xFFFF && at + 4 <= stored.size()) {
            at += 2;
            unit += r.u16(at).value_or(0);  // units that map to themselves
        } else {
            if (unit >= table.size()) return false;
            table[unit++] = value;
        }
        if (unit > table.size()) return false;
    }
    table_ = std::move(table);
    return true;
}

std::uint32_t exfatUpcaseChecksum(std::span<const std::uint8_t> stored) {
    std::uint32_t sum = 0;
    for (const std::uint8_t byte : stored)
        sum = ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + byte;
    return sum;
}

std::uint16_t exfatNameHash(const std::u16string& name, const ExfatUpcase& upcase) {
    std::uint16_t hash = 0;
    for (const char16_t unit : name) {
        const char16_t u = upcase.upper(unit);
        for (const int byte : {u & 0xFF, u >> 8})
            hash = static_cast<std::uint16_t>(((hash & 1) != 0 ? 0x8000 : 0) + (hash >> 1) + byte);
    }
    return hash;
}

bool readExfatUpcase(ExfatVolume& volume, std::uint32_t expectedChecksum, ExfatUpcase& upcase) {
    const ExfatGeometry& g = volume.geometry;
    if (!g.isCluster(volume.upcaseCluster) || volume.upcaseBytes == 0 ||
        volume.upcaseBytes > kMaxExfatUpcaseBytes)
        return false;
    const std::uint64_t clusters = (volume.upcaseBytes + g.bytesPerCluster - 1) / g.bytesPerCluster;
    auto runs = volume.chain(volume.upcaseCluster, clusters);
    if (!runs) runs = std::vector<ExfatRun>{{volume.upcaseCluster, clusters}};
    std::vector<std::uint8_t> stored(static_cast<std::size_t>(volume.upcaseBytes));
    std::size_t filled = 0;
    for (const ExfatRun& run : *runs) {
        if (filled == stored.size()) break;
        if (run.first + run.count - 1 > g.lastCluster()) return false;
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(stored.size() - filled, run.count * g.bytesPerCluster));
        if (volume.volume.reader.readAt(0, g.clusterOffset(run.first),
                                        std::span(stored).subspan(filled, n)) != n)
            return false;
        filled += n;
    }
    if (filled != stored.size() || exfatUpcaseChecksum(stored) != expectedChecksum) return false;
    return upcase.load(stored);
}

}  // namespace rekkon
