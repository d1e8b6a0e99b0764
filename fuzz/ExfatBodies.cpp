#include <vector>

#include "exfat/ExfatBoot.h"
#include "exfat/ExfatEntries.h"
#include "exfat/ExfatFolder.h"
#include "exfat/ExfatUpcase.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "volume/TextEncoding.h"

namespace rekkon::fuzz {

void fuzzExfatEntries(std::span<const std::uint8_t> data) {
    // The first sector as a boot sector, with the checksum of what follows.
    if (const auto g = parseExfatBootSector(data.first(std::min<std::size_t>(data.size(), 512)))) {
        fuzzCheck(g->isCluster(g->rootCluster), "a boot sector whose root is no cluster");
        fuzzCheck(g->heapOffset < g->volumeBytes, "a cluster heap past the volume");
    }
    (void)exfatBootChecksum(data.first(std::min<std::size_t>(data.size(), 11 * 512)));
    // The rest as folder content: every set at every entry, and the input as an up-case table.
    (void)readsAsExfatFolder(data);
    ExfatUpcase upcase;
    (void)upcase.load(data);
    for (std::size_t at = 0; at + kExfatEntrySize <= data.size(); at += kExfatEntrySize) {
        const auto set = parseExfatEntrySet(data.subspan(at));
        if (!set) continue;
        fuzzCheck(set->name.size() == set->nameLength, "a set name of another length");
        fuzzCheck(set->entries >= 3 && set->entries <= kExfatMaxSecondaries + 1,
                  "a set of an impossible length");
        std::vector<std::uint16_t> units(set->name.begin(), set->name.end());
        (void)utf16ToUtf8(units);
        (void)exfatNameHash(set->name, upcase);
        bool utc = false;
        (void)set->created.fileTime(utc);
        (void)set->modified.fileTime(utc);
    }
}

}  // namespace rekkon::fuzz
