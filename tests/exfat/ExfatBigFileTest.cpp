// A deleted file over 4 GiB on exFAT (the big-file image: 6 GiB sparse, made by
// `sudo ONLY=big-file tools/make-exfat-fixtures.sh`, not committed): it is listed with its whole
// 64-bit size, and its data reads back right at both ends, the end lying past the 4 GiB mark.

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

// `length` bytes of the data from `position`, read as the copy loop reads them.
std::vector<std::uint8_t> readAt(FileDataHandle& data, std::uint64_t position, std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    std::size_t done = 0;
    while (done < length) {
        const std::size_t got =
            data.read(position + done, std::span<std::uint8_t>(bytes).subspan(done));
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

TEST(ExfatBigFile, ListsItsWholeSizeAndReadsBothEnds) {
    const std::string image = test::fixtureImage("exfat/big-file.img");
    if (!std::filesystem::exists(image))
        GTEST_SKIP() << image << " is not made (sudo ONLY=big-file tools/make-exfat-fixtures.sh)";
    std::uint64_t size = 0;
    for (const auto& row : test::readManifest(test::fixtureSource("exfat/big-file.manifest.tsv")))
        if (row.at("path") == "big-deleted.bin") size = std::stoull(row.at("size"));
    ASSERT_GT(size, 0xFFFFFFFFu);

    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, image, error), MountStatus::Mounted);
    scanVolume(context);
    std::optional<DeletedFileEntry> big;
    for (const DeletedFileEntry& e : context.foundList)
        if (e.name == "big-deleted.bin") big = e;
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size, size);

    auto data = openFileData(context, *big);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->size(), size);
    // The generator's seeded first and last MiB (populate.py: rnd("big-head"), rnd("big-tail"));
    // zeros lie between, so a position cut to 32 bits would read zeros or the head instead.
    constexpr std::size_t kMiB = 1 << 20;
    EXPECT_EQ(test::md5Hex(readAt(*data, 0, kMiB)), "3ecbcbb20e80018cc46f13c8ccb70167");
    EXPECT_EQ(test::md5Hex(readAt(*data, size - kMiB, kMiB)), "948851fb1b1d667b783d12825be2ae86");
    EXPECT_EQ(context.volume.reader.unreadableSectors(), 0u);
}

}  // namespace
}  // namespace rekkon
