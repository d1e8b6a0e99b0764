#include <gtest/gtest.h>

#include "ntfs/Fixups.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {
namespace {

using test::Bytes;

// A record whose every block ends in 0xB0+k before protection, so restoration is visible.
Bytes protectedRecord(std::size_t size) {
    Bytes r = test::fileRecord({}, size);
    // Put the original block-end words back and protect again with known values.
    const std::size_t blocks = size / 512;
    for (std::size_t k = 1; k <= blocks; ++k)
        test::put16(r, 0x30 + 2 * k, static_cast<std::uint16_t>(0xB0 + k));
    return r;
}

struct Geometry {
    Geometry(std::uint32_t bytesPerSector, std::uint32_t recordSize) {
        volume.bytesPerSector = bytesPerSector;
        volume.mftRecordSize = recordSize;
    }
    NtfsVolume volume;
};

TEST(MftFixups, RestoresEveryBlockEnd) {
    const Geometry g(512, 1024);
    const NtfsVolume& v = g.volume;
    Bytes r = protectedRecord(1024);
    ASSERT_TRUE(checkFileRecord(v, r));
    EXPECT_EQ(r[510], 0xB1);
    EXPECT_EQ(r[1022], 0xB2);
}

TEST(MftFixups, ArrayCountMustCoverTheRecord) {
    const Geometry g(512, 1024);
    const NtfsVolume& v = g.volume;
    for (const std::uint16_t count : {0, 1, 2, 4}) {
        Bytes r = protectedRecord(1024);
        test::put16(r, 0x06, count);
        EXPECT_FALSE(checkFileRecord(v, r)) << count;
    }
}

TEST(MftFixups, BadSecondBlockEndFailsAfterFirstWasRestored) {
    const Geometry g(512, 1024);
    const NtfsVolume& v = g.volume;
    Bytes r = protectedRecord(1024);
    r[1022] ^= 1;
    EXPECT_FALSE(checkFileRecord(v, r));
    EXPECT_EQ(r[510], 0xB1);
}

TEST(MftFixups, RefusesWrongSignatureAndArrayOutsideRecord) {
    const Geometry g(512, 1024);
    const NtfsVolume& v = g.volume;
    Bytes r = protectedRecord(1024);
    r[0] = 'B';
    EXPECT_FALSE(checkFileRecord(v, r));
    r = protectedRecord(1024);
    test::put16(r, 0x04, 1020);  // three entries from 1020 reach past the end
    EXPECT_FALSE(checkFileRecord(v, r));
    Bytes shortBuffer(100, 0);
    EXPECT_FALSE(checkFileRecord(v, shortBuffer));
}

// 4096-byte records on a volume with 4096-byte sectors: mkntfs protects every 512 bytes (nine
// array entries); a record protected once per sector (two entries) is accepted as well.
TEST(MftFixups, FourKibRecordsOnFourKibSectors) {
    const Geometry g(4096, 4096);
    const NtfsVolume& v = g.volume;
    Bytes r = protectedRecord(4096);
    EXPECT_TRUE(checkFileRecord(v, r));
    EXPECT_EQ(r[4094], 0xB8);

    Bytes perSector = test::fileRecord({}, 4096);
    for (std::size_t k = 1; k <= 8; ++k)
        test::put16(perSector, k * 512 - 2, 0);  // unprotected
    test::put16(perSector, 0x06, 2);
    test::put16(perSector, 0x32, 0x1234);
    test::put16(perSector, 4094, 0x0A0B);
    ASSERT_TRUE(checkFileRecord(v, perSector));
    EXPECT_EQ(perSector[4094], 0x34);
}

}  // namespace
}  // namespace rekkon
