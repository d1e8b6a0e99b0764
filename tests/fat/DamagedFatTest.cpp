// Real FAT32 images with damage a walk must survive: a folder loop and a looping 4 GiB chain.
#include <gtest/gtest.h>

#include <filesystem>

#include "fat/DirLookup.h"
#include "fat/FatTable.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/Mounted.h"
#include "support/RecoverAll.h"

namespace rekkon {
namespace {

ScanContext& mounted(ScanContext& context, const std::string& name) {
    int error = 0;
    EXPECT_EQ(mountVolume(context, test::fixtureImage("fat/realworld/fatcat/" + name), error),
              MountStatus::Mounted);
    return context;
}

TEST(DamagedFatTest, DeletedFileInADeletedFolder) {
    ScanContext context;
    ASSERT_EQ(scanVolume(mounted(context, "deleted.img")), 1);
    const DeletedFileEntry& e = context.foundList.at(0);
    EXPECT_EQ(e.name, "?ILE.TXT");
    EXPECT_EQ(e.size, 23u);
    // Linux gave the folder and the file lower-case long names; their pieces survive.
    EXPECT_EQ(e.folder, "\\deleted");
    EXPECT_EQ(e.longName, "file.txt");
    EXPECT_EQ(e.firstChar, "F");
    test::TempDir out;
    const auto outcomes = test::recoverAllFound(context, out.path(), "f");
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(test::md5OfFile(outcomes[0].outputPath), "9df4bb0eb86980b66a5ba4b246d3b6af");
}

TEST(DamagedFatTest, AFolderLoopEndsTheWalk) {
    ScanContext context;
    EXPECT_EQ(scanVolume(mounted(context, "directory-loop.img")), 0);
    // C holds an A that is A's own folder again, so a path may go round the loop as often as it
    // names it: A/B/C followed by any number of /A/B/C names C. Going round is bounded by the path.
    FatVolume fat = test::fatOf(context).fat();
    std::string path = "A/B/C";
    for (int i = 0; i < 50; ++i)
        path += "/A/B/C";
    DirEntry viaLoop;
    ASSERT_EQ(findPathEntry(fat, fat.geometry.rootCluster, &path, viaLoop), 0);
    std::string direct = "A/B/C";
    DirEntry c;
    ASSERT_EQ(findPathEntry(fat, fat.geometry.rootCluster, &direct, c), 0);
    EXPECT_EQ(viaLoop.firstCluster(context.volume.kind), c.firstCluster(context.volume.kind));
    // C holds no B.
    path += "/B";
    EXPECT_EQ(findPathEntry(fat, fat.geometry.rootCluster, &path, viaLoop), ENOENT);
}

TEST(DamagedFatTest, ALoopingChainOfMaximumSizeEnds) {
    ScanContext context;
    ASSERT_GE(scanVolume(mounted(context, "infinite-file.img")), 1);
    FatVolume fat = test::fatOf(context).fat();
    std::string path = "BIGMAMMA";
    DirEntry big;
    ASSERT_EQ(findPathEntry(fat, fat.geometry.rootCluster, &path, big), 0);
    EXPECT_EQ(big.size, 0xFFFFFFFFu);
    // Reading far into the looping chain gives nothing rather than going round forever.
    std::vector<std::uint8_t> buf(512);
    EXPECT_EQ(ChainReader(fat, big.firstCluster(context.volume.kind)).read(3ULL << 30, buf), 0u);
    // Recovering what the scan found ends, with no more bytes than the volume holds.
    test::TempDir out;
    for (const auto& o : test::recoverAllFound(context, out.path(), "f"))
        EXPECT_LE(o.bytesWritten, std::filesystem::file_size(test::fixtureImage(
                                      "fat/realworld/fatcat/infinite-file.img")));
}

}  // namespace
}  // namespace rekkon
