#include <gtest/gtest.h>

#include <functional>

#include "ntfs/AttributeLookup.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsMount.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::ImageBuilder;

TEST(NtfsMount, MountsAndHoldsTheSystemFiles) {
    ImageBuilder builder;
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    EXPECT_EQ(m.context.kind, FileSystemKind::Ntfs);
    EXPECT_EQ(m.context.bytesPerCluster, 512u);
    EXPECT_EQ(m.ntfs.mftRecordSize, 1024u);
    EXPECT_EQ(m.ntfs.upcaseTableLength, 512u);
    EXPECT_EQ(upcaseChar(m.ntfs, 0xE9), 0xC9);  // from the volume's table
    ASSERT_NE(m.ntfs.mftMirrFile, nullptr);
    EXPECT_EQ(findAttribute(*m.ntfs.volumeBitmapFile, 0x80)->content, Bytes(8, 0xFF));
    unmountNtfs(m.context, m.ntfs);
    EXPECT_FALSE(m.context.isOpen());
    EXPECT_EQ(m.ntfs.mftFile, nullptr);
}

TEST(NtfsMount, OemNameNeedsOnlyItsFirstFourCharacters) {
    ImageBuilder builder;
    std::copy_n("NTFSxyz!", 8, builder.image().begin() + 3);
    EXPECT_TRUE(test::MountedImage(builder.image()).mounted);
}

// Each change to a volume that mounts makes the mount fail, the device closed.
TEST(NtfsMount, RefusesVolumesItCannotRead) {
    const std::vector<std::pair<const char*, std::function<void(ImageBuilder&)>>> damages = {
        {"OEM name", [](ImageBuilder& b) { b.image()[3] = 'X'; }},
        {"record size", [](ImageBuilder& b) { b.image()[0x40] = 0x7F; }},
        {"record 0 fixup", [](ImageBuilder& b) { b.image()[16 * 512 + 510] ^= 1; }},
        {"record 0 beyond the image", [](ImageBuilder& b) { test::put64(b.image(), 0x30, 5000); }},
        {"record 0 and its copy in $MFTMirr",
         [](ImageBuilder& b) {
             test::put64(b.image(), 0x38, 900);
             b.image()[16 * 512 + 510] ^= 1;
         }},
        {"boot sector and its copy",
         [](ImageBuilder& b) {
             std::copy_n(b.image().begin(), 512, b.image().end() - 512);
             b.image()[3] = 'X';
             b.image()[b.image().size() - 512 + 0x0B] = 3;  // the copy's sector size
         }},
    };
    for (const auto& [what, damage] : damages) {
        ImageBuilder builder;
        damage(builder);
        test::MountedImage m(builder.image());
        EXPECT_FALSE(m.mounted) << what;
        EXPECT_FALSE(m.context.isOpen()) << what;
        EXPECT_EQ(m.ntfs.mftFile, nullptr) << what;
    }
}

TEST(NtfsMount, AttributeDefinitionsSetTheFreeSlots) {
    ImageBuilder builder;
    auto defs = test::standardDefinitions();
    // Sixteen entries; the last one is examined too.
    while (defs.size() < 15)
        defs.push_back({u"$OTHER", 0x300});
    defs.push_back({u"$Security_Descriptor", 0x55});
    builder.setAttributeDefinitions(defs);
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    EXPECT_EQ(m.ntfs.typeSecurityDescriptor, 0x55u);
    EXPECT_EQ(m.ntfs.typeData, 0x80u);
}

TEST(NtfsMount, ShortUpcaseTableIsUsedAsFarAsItGoes) {
    ImageBuilder builder;
    Bytes upcase(100);
    for (std::uint16_t u = 0; u < 50; ++u)
        test::put16(upcase, 2 * u, u == 0x31 ? 0x39 : u);
    builder.setRecord(10, test::fileRecord({test::residentAttribute(0x80, u"", upcase)}));
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    EXPECT_EQ(m.ntfs.upcaseTableLength, 100u);
    EXPECT_EQ(upcaseChar(m.ntfs, 'a'), 'A');    // 'a' (0x61) is past the table: the fallback
    EXPECT_EQ(upcaseChar(m.ntfs, 0x31), 0x39);  // inside the table
}

}  // namespace
}  // namespace rekkon
