#include <algorithm>
#include <array>
#include <vector>

#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "ntfs/Lznt1.h"
#include "ntfs/NtfsVolume.h"
#include "ntfs/RunList.h"
#include "ntfs/RunWalker.h"

namespace rekkon::fuzz {

namespace {

// Non-resident attribute header: the fields decodeRunList reads.
constexpr std::size_t kHeaderBytes = 0x40;
constexpr std::size_t kMaxFragments = 64;

void putU64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
    for (std::size_t i = 0; i < 8; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// An attribute record of header + pairs with the first VCN given, the last VCN 0 (taken from the
// allocated size) and a large allocation.
std::vector<std::uint8_t> attributeAround(std::span<const std::uint8_t> pairs,
                                          std::uint64_t firstVcn) {
    // Sized up front: GCC 12 at -O3 misreads an insert after the header as an overflow.
    std::vector<std::uint8_t> attribute(kHeaderBytes + pairs.size());
    putU64(attribute, 0x10, firstVcn);
    putU64(attribute, 0x18, 0);
    attribute[0x20] = static_cast<std::uint8_t>(kHeaderBytes);
    putU64(attribute, 0x28, std::uint64_t{1} << 50);
    std::copy(pairs.begin(), pairs.end(), attribute.begin() + kHeaderBytes);
    return attribute;
}

void checkRuns(const AttributeDescriptor& d) {
    std::uint64_t clusters = 0;
    for (const DataRun& run : d.runs) {
        fuzzCheck(run.length > 0, "a decoded run has no clusters");
        clusters += run.length;
        fuzzCheck(clusters <= kMaxAttributeClusters, "runs describe more clusters than allowed");
    }
    fuzzCheck(clusters == d.runClusters(), "runClusters disagrees with the runs");
    RunWalker walker(d.runs);
    if (clusters > 0) {
        fuzzCheck(walker.seek(clusters - 1), "the last VCN has no run");
        fuzzCheck(!walker.seek(clusters), "a VCN past the runs has a run");
        fuzzCheck(walker.seek(clusters / 2), "a VCN inside the runs has no run");
    }
}

}  // namespace

void fuzzRunList(std::span<const std::uint8_t> data) {
    if (data.empty()) return;
    const std::uint8_t control = data[0];
    const std::span<const std::uint8_t> rest = data.subspan(1);
    NtfsVolume volume;
    volume.bytesPerSector = 512;
    volume.bytesPerCluster = std::uint64_t{512} << (control & 0x07);
    volume.sectorsPerCluster = static_cast<std::uint32_t>(volume.bytesPerCluster / 512);

    // The raw pair loop: every decoded pair moves on by at least two bytes.
    std::size_t offset = 0;
    std::int64_t lcn = 0;
    DecodedRun run;
    while (decodeRun(rest, offset, lcn, run) == 0)
        fuzzCheck(offset <= rest.size() && lcn >= 0, "a decoded pair left the pairs or the volume");

    AttributeDescriptor descriptor;
    if ((control & 0x08) == 0) {
        // Whole input: one fragment from VCN 0.
        decodeRunList(volume, descriptor, attributeAround(rest, 0));
    } else {
        // Fragments: each a u8 first VCN (in units of 16 clusters), a u8 length and the pairs, so
        // fragments arrive out of order, overlap and leave gaps.
        std::size_t at = 0;
        for (std::size_t n = 0; n < kMaxFragments && at + 2 <= rest.size(); ++n) {
            const std::uint64_t firstVcn = std::uint64_t{rest[at]} * 16;
            const std::size_t length = std::min<std::size_t>(rest[at + 1], rest.size() - at - 2);
            decodeRunList(volume, descriptor,
                          attributeAround(rest.subspan(at + 2, length), firstVcn));
            at += 2 + length;
        }
    }
    checkRuns(descriptor);
}

void fuzzLznt1(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(64 * 1024, 0);
    const std::size_t produced = decompressLznt1(out, data);
    fuzzCheck(produced <= out.size(), "LZNT1 produced past its output");
    // A smaller output that ends inside a block.
    std::array<std::uint8_t, 5000> small{};
    fuzzCheck(decompressLznt1(small, data) <= small.size(), "LZNT1 produced past a short output");
}

}  // namespace rekkon::fuzz
