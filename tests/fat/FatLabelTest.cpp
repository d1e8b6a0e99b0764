// The label `info` shows for a FAT volume: the root's label entry before the boot sector's field.
#include <gtest/gtest.h>

#include <cstring>

#include "fat/FatLabel.h"
#include "fat/FatMount.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using test::FatBuilder;

std::string labelOf(FatBuilder& b) {
    VolumeContext volume;
    FatVolume fat{volume, {}};
    attachDevice(volume, std::make_unique<test::MemoryDevice>(b.bytes()));
    if (mountFatOnOpenDevice(volume, fat.geometry) != 1) return "(not mounted)";
    return fatVolumeLabel(fat);
}

void setBootLabel(FatBuilder& b, std::size_t signatureAt, const char (&label)[12]) {
    b.bytes()[signatureAt] = 0x29;
    std::memcpy(&b.bytes()[signatureAt + 5], label, 11);
}

TEST(FatLabelTest, RootEntryBeforeBootSectorAndNoNameIsNone) {
    FatBuilder fat16(FatBuilder::Type::Fat16, 8192, 1);
    EXPECT_EQ(labelOf(fat16), "");  // no extended boot signature: those bytes are no label
    setBootLabel(fat16, 0x26, "NO NAME    ");
    EXPECT_EQ(labelOf(fat16), "");
    setBootLabel(fat16, 0x26, "BOOT LABEL ");
    EXPECT_EQ(labelOf(fat16), "BOOT LABEL");
    // A deleted label entry and a long-name piece are passed over; the live entry wins.
    fat16.putEntry(1, 0, "\xE5OLDLABEL  ", 0x08, 0, 0);
    fat16.putEntry(1, 1, "PIECE      ", 0x0F, 0, 0);
    fat16.putEntry(1, 2, "FILE    TXT", 0x20, 0, 0);
    fat16.putEntry(1, 3, "ROOT \x8E     ", 0x08, 0, 0);
    EXPECT_EQ(labelOf(fat16), "ROOT \xC3\x84");  // CP437 0x8E is Ä

    FatBuilder fat32(FatBuilder::Type::Fat32, 8192, 1);
    setBootLabel(fat32, 0x42, "BOOT32     ");
    EXPECT_EQ(labelOf(fat32), "BOOT32");
    fat32.putEntry(fat32.rootCluster(), 0, "ROOT32     ", 0x08, 0, 0);
    EXPECT_EQ(labelOf(fat32), "ROOT32");
}

}  // namespace
}  // namespace rekkon
