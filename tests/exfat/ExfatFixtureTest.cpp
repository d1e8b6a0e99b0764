// The exFAT fixtures made by exfat-fuse: every deleted file whose entry set survives is listed
// with its folder, size and times, the intact ones recover byte-exact, and no live file is listed.

#include <gtest/gtest.h>

#include <map>

#include "fs/FileSystem.h"
#include "recovery/DataCopy.h"
#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

std::string pathOf(const DeletedFileEntry& e) {
    std::string folder = e.folder;
    for (char& c : folder)
        if (c == '\\') c = '/';
    if (!folder.empty() && folder.front() == '/') folder.erase(0, 1);
    return folder.empty() ? e.name : folder + "/" + e.name;
}

std::string dataMd5(ScanContext& context, const DeletedFileEntry& e) {
    auto data = openFileData(context, e);
    if (!data) return "cannot open";
    std::string bytes;
    copyFileData(*data, data->size(), 1 << 16, [&bytes](std::span<const std::uint8_t> b) {
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        return true;
    });
    return test::md5Hex(bytes);
}

class ExfatFixture : public testing::TestWithParam<const char*> {};

TEST_P(ExfatFixture, ListsEveryDeletedFileAndRecoversTheIntactOnes) {
    const std::string name = GetParam();
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, test::fixtureImage("exfat/" + name + ".img"), error),
              MountStatus::Mounted);
    EXPECT_EQ(context.fileSystem->name(), "exFAT");
    scanVolume(context, "", {}, ScanOptions{.deep = true});
    const std::vector<DeletedFileEntry> entries(context.foundList.begin(), context.foundList.end());
    std::map<std::string, const DeletedFileEntry*> walked, lost;
    for (const DeletedFileEntry& e : entries)
        (e.origin == "exfat-lost-folder" ? lost[e.name] : walked[pathOf(e)]) = &e;

    int deleted = 0;
    for (const auto& row :
         test::readManifest(test::fixtureSource("exfat/" + name + ".manifest.tsv"))) {
        const std::string& path = row.at("path");
        if (row.at("type") != "file") continue;
        if (row.at("state") == "live") {
            EXPECT_EQ(walked.count(path), 0u) << "live file listed: " << path;
            continue;
        }
        ++deleted;
        // Sets in clusters no folder leads to any more are found by the free-space search.
        const bool reachable = row.at("reachable") == "yes";
        const auto& found = reachable ? walked : lost;
        const std::string key = reachable ? path : path.substr(path.rfind('/') + 1);
        const auto it = found.find(key);
        if (it == found.end()) {
            ADD_FAILURE() << "not listed: " << path;
            continue;
        }
        const DeletedFileEntry& e = *it->second;
        // Where a lost cluster continues a deleted folder, its files keep that folder.
        if (e.folder.rfind("<lost folder", 0) != 0) {
            EXPECT_EQ(pathOf(e), path);
        }
        EXPECT_EQ(e.size, std::stoull(row.at("size"))) << path;
        EXPECT_TRUE(e.timesUtc) << path;
        // Data in one run, or a chain of free clusters, comes back whole.
        if (row.at("contiguous") != "no") {
            EXPECT_EQ(dataMd5(context, e), row.at("md5")) << path;
        }
    }
    EXPECT_GT(deleted, 0);
    EXPECT_EQ(context.volume.reader.unreadableSectors(), 0u);
}

// A folder scan lists what lies within the folder, live or deleted, named in any case; a folder
// the walk never entered is not found.
TEST(ExfatFolderScan, ListsTheFolderOrSaysItIsNotThere) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, test::fixtureImage("exfat/basic.img"), error),
              MountStatus::Mounted);
    for (const char* folder : {"\\old-project", "/DOCS"}) {
        EXPECT_GT(scanVolume(context, folder, {}), 0) << folder;
        for (const DeletedFileEntry& e : context.foundList)
            EXPECT_TRUE(folderWithin(e.folder, folder)) << folder << ": " << pathOf(e);
    }
    EXPECT_EQ(scanVolume(context, "\\no-such-folder", {}), kScanFolderNotFound);
    EXPECT_TRUE(context.foundList.empty());
}

// With locations asked for, the scan builds no other entry (recover --only on a large volume).
TEST(ExfatOnlyScan, BuildsOnlyTheEntriesAsked) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, test::fixtureImage("exfat/basic.img"), error),
              MountStatus::Mounted);
    const std::uint64_t only[] = {12};  // contig-deleted.bin's first cluster
    scanVolume(context, "", only);
    ASSERT_EQ(context.foundList.size(), 1u);
    EXPECT_EQ(context.foundList[0].name, "contig-deleted.bin");
}

INSTANTIATE_TEST_SUITE_P(Images, ExfatFixture,
                         testing::Values("basic", "4k-sectors", "big-cluster"));

}  // namespace
}  // namespace rekkon
