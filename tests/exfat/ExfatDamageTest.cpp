// Byte-built damage on copies of the exFAT fixture: what a mount falls back to, and what a
// surviving FAT chain and a failing set checksum change.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "recovery/DataCopy.h"
#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kFatOffset = 1 << 20;         // basic.layout.txt
constexpr std::uint64_t kHeapOffset = 2 << 20;        // cluster 2
constexpr std::uint64_t kContigDeletedSet = 2109632;  // contig-deleted.bin's file entry

Bytes basicImage() {
    std::ifstream in(test::fixtureImage("exfat/basic.img"), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void putU32(Bytes& image, std::uint64_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        image[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Mounts and scans `image`; the entry named `name`, or null.
std::optional<DeletedFileEntry> scanFor(ScanContext& context, Bytes image,
                                        const std::string& name) {
    if (mountVolume(context, std::make_unique<test::MemoryDevice>(std::move(image))) !=
        MountStatus::Mounted)
        return std::nullopt;
    scanVolume(context);
    for (const DeletedFileEntry& e : context.foundList)
        if (e.name == name) return e;
    return std::nullopt;
}

std::string md5Of(ScanContext& context, const DeletedFileEntry& e) {
    auto data = openFileData(context, e);
    std::string bytes;
    if (data)
        copyFileData(*data, data->size(), 1 << 16, [&bytes](std::span<const std::uint8_t> b) {
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
            return true;
        });
    return test::md5Hex(bytes);
}

bool hasDamageLine(ScanContext& context, const std::string& words) {
    for (const auto& [name, text] : context.fileSystem->geometry())
        if (name == "Damage" && text.find(words) != std::string::npos) return true;
    return false;
}

TEST(ExfatDamageTest, FallbacksAndWhatTheyChange) {
    const Bytes clean = basicImage();
    ASSERT_GT(clean.size(), kHeapOffset);

    // A fragmented file whose chain the FAT still holds (as Windows leaves it) comes back whole
    // through the chain; with the chain zeroed (as the Linux driver leaves it) it cannot.
    const std::vector<std::uint32_t> chain = {21, 23, 25, 27, 29, 31, 33};  // frag-b.bin
    Bytes chained = clean;
    for (std::size_t i = 0; i < chain.size(); ++i)
        putU32(chained, kFatOffset + chain[i] * 4,
               i + 1 < chain.size() ? chain[i + 1] : 0xFFFFFFFFu);
    {
        ScanContext context;
        const auto e = scanFor(context, chained, "frag-b.bin");
        ASSERT_TRUE(e);
        EXPECT_EQ(e->status, kStatusGood);
        EXPECT_EQ(md5Of(context, *e), "7665c751f813a5a51324a026caa56735");
        ScanContext zeroed;
        const auto z = scanFor(zeroed, clean, "frag-b.bin");
        ASSERT_TRUE(z);
        EXPECT_NE(md5Of(zeroed, *z), "7665c751f813a5a51324a026caa56735");
    }

    // A main boot sector that fails the boot checksum: the backup region is used.
    Bytes boot = clean;
    boot[100] ^= 0xFF;  // the serial number, inside the checksum
    {
        ScanContext context;
        EXPECT_TRUE(scanFor(context, boot, "contig-deleted.bin"));
        EXPECT_TRUE(hasDamageLine(context, "backup"));
    }

    // No allocation bitmap: every cluster counts as in use, so estimates are "Poor".
    Bytes noBitmap = clean;
    for (std::uint64_t at = kHeapOffset + 3 * 4096; at < kHeapOffset + 4 * 4096; at += 32)
        if (noBitmap[at] == 0x81) putU32(noBitmap, at + 20, 0);
    {
        ScanContext context;
        const auto e = scanFor(context, noBitmap, "contig-deleted.bin");
        ASSERT_TRUE(e);
        EXPECT_EQ(e->status, kStatusPoor);
        EXPECT_TRUE(hasDamageLine(context, "allocation bitmap"));
    }

    // A set whose checksum fails is still listed, as "Poor": its name may be damaged.
    Bytes renamed = clean;
    renamed[kContigDeletedSet + 64 + 2] ^= 0x01;  // "contig-..." -> "bontig-..."
    {
        ScanContext context;
        const auto e = scanFor(context, renamed, "bontig-deleted.bin");
        ASSERT_TRUE(e);
        EXPECT_EQ(e->status, kStatusPoor);
    }
}

}  // namespace
}  // namespace rekkon
