// Damaged volumes: a real image with bytes changed at random mounts or is refused,
// and every record then opens or fails and reads back without touching memory outside its
// buffers (run under the sanitizers) and without running on.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "ntfs/AttributeData.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsBuilder.h"
#include "support/Fixtures.h"

namespace rekkon {
namespace {

using test::Bytes;

Bytes loadImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Opens every record and reads up to 256 KiB of every attribute; returns the records opened.
int readEverything(NtfsVolume& ntfs, std::uint64_t records) {
    int opened = 0;
    Bytes buffer(256 * 1024);
    for (std::uint64_t r = 0; r < records; ++r) {
        MftFile file;
        if (openMftFile(file, ntfs, r) != kNtfsOk) continue;
        ++opened;
        for (const AttributeDescriptor& d : file.attributes) {
            TransferRequest request{true, buffer.data(), buffer.size()};
            readAttributeData(file, d, 0, request);
            EXPECT_LE(request.count, buffer.size());
        }
    }
    return opened;
}

TEST(NtfsDamage, RandomlyChangedMftBytesNeverReadOutsideBuffers) {
    const Bytes original = loadImage(test::fixtureImage("ntfs/ntfs-512-4k.img"));
    ASSERT_FALSE(original.empty());
    // $MFT at cluster 4 of 4096 bytes: 125 records of 1024 bytes.
    const std::size_t mftStart = 4 * 4096, mftBytes = 125 * 1024;
    std::mt19937 random(20240301);
    int mounted = 0;
    for (int round = 0; round < 80; ++round) {
        Bytes image = original;
        // Half the changes land in the MFT, half anywhere past the boot sector (data, and the
        // compressed units among it).
        std::uniform_int_distribution<std::size_t> inMft(mftStart, mftStart + mftBytes - 1);
        std::uniform_int_distribution<std::size_t> anywhere(512, image.size() - 1);
        std::uniform_int_distribution<int> value(0, 255);
        for (int change = 0; change < 1 + round % 40; ++change)
            image[change % 2 == 0 ? inMft(random) : anywhere(random)] =
                static_cast<std::uint8_t>(value(random));
        test::MountedImage m(std::move(image));
        if (!m.mounted) continue;
        ++mounted;
        readEverything(m.ntfs, 130);
    }
    EXPECT_GT(mounted, 40);
}

}  // namespace
}  // namespace rekkon
