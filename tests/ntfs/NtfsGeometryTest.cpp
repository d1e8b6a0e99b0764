#include <gtest/gtest.h>

#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {
namespace {

using test::Bytes;

struct GeometryCase {
    std::uint16_t bytesPerSector;
    std::uint8_t clusterByte;
    std::uint8_t recordByte;
    bool accepted;
    std::uint64_t bytesPerCluster;
    std::uint32_t recordSize;
};

class NtfsGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(NtfsGeometry, RecordAndClusterSizesFromBootSector) {
    const GeometryCase& c = GetParam();
    Bytes boot(512, 0);
    test::put16(boot, 0x0B, c.bytesPerSector);
    boot[0x0D] = c.clusterByte;
    test::put64(boot, 0x30, 0x1'2345'6789ull);  // above 2^32: kept whole
    boot[0x40] = c.recordByte;
    NtfsVolume v;
    v.typeData = 0x99;
    ASSERT_EQ(readNtfsGeometry(v, boot), c.accepted);
    EXPECT_EQ(v.typeData, 0x80u);  // slot defaults are stored whatever the volume
    if (!c.accepted) return;
    EXPECT_EQ(v.bytesPerCluster, c.bytesPerCluster);
    EXPECT_EQ(v.mftRecordSize, c.recordSize);
    EXPECT_EQ(v.mftStartCluster, 0x1'2345'6789ull);
}

INSTANTIATE_TEST_SUITE_P(
    Ntfs, NtfsGeometry,
    ::testing::Values(GeometryCase{512, 8, 0xF6, true, 4096, 1024},  // -10: 2^10 bytes
                      GeometryCase{4096, 1, 1, true, 4096, 4096},    // one 4 KiB cluster
                      GeometryCase{512, 1, 2, true, 512, 1024},      // two 512-byte clusters
                      GeometryCase{512, 128, 0xF6, true, 65536, 1024},
                      GeometryCase{512, 0xF4, 0xF6, true, 2 << 20, 1024},  // 2^12 sectors
                      GeometryCase{0, 8, 0xF6, false, 0, 0},               // no sector size
                      GeometryCase{512, 0, 0xF6, false, 0, 0},             // no cluster size
                      GeometryCase{512, 3, 0xF6, false, 0, 0},             // not a power of two
                      GeometryCase{512, 8, 0x80, false, 0, 0},             // 2^128-byte records
                      GeometryCase{512, 8, 0, false, 0, 0},                // 0-byte records
                      GeometryCase{512, 1, 3, false, 0, 0},                // 1536-byte records
                      GeometryCase{4096, 16, 1, false, 0, 0}));            // 64 KiB records

}  // namespace
}  // namespace rekkon
