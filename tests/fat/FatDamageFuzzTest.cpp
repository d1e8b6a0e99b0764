// Seeded random damage to real FAT images: mounting, scanning and reading back must end with a
// result or an error, never a crash, a read outside a buffer or an endless walk.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "fat/FatMount.h"
#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"

namespace rekkon {
namespace {

std::vector<std::uint8_t> loadImage(const std::string& name) {
    std::ifstream in(test::fixtureImage(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FatDamageFuzzTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FatDamageFuzzTest, DamagedImagesNeverCrashOrHang) {
    const std::vector<std::uint8_t> original = loadImage(GetParam());
    ASSERT_GT(original.size(), 1u << 20);
    std::mt19937 random(12345);
    // The damage lands in the first megabyte: boot sector, tables, root area and the first folders.
    std::uniform_int_distribution<std::size_t> where(0, (1u << 20) - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 60; ++round) {
        std::vector<std::uint8_t> damaged = original;
        const int hits = 1 + round * 4;
        for (int i = 0; i < hits; ++i)
            damaged[where(random)] = static_cast<std::uint8_t>(byte(random));
        if (round % 10 == 0)
            damaged[0x0D] = static_cast<std::uint8_t>(1u << (round / 10));  // odd cluster sizes

        ScanContext context;
        attachDevice(context.volume, std::make_unique<test::MemoryDevice>(std::move(damaged)));
        if (test::mountFatInto(context) != 1) continue;
        scanVolume(context);
        scanVolume(context, "/DOCS/?ROJEC~1");
        std::vector<std::uint8_t> chunk(65536);
        int files = 0;
        for (const auto& e : context.foundList) {
            if (++files > 20) break;
            auto data = openFileData(context, e.location, std::min<std::uint64_t>(e.size, 1 << 20));
            if (!data) continue;
            for (std::uint64_t at = 0; data->read(at, chunk) == chunk.size(); at += chunk.size()) {
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Images, FatDamageFuzzTest,
                         ::testing::Values("fat/fat12.img", "fat/fat16.img", "fat/fat32.img"),
                         [](const auto& param) {
                             std::string n = param.param.substr(4);
                             return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace rekkon
