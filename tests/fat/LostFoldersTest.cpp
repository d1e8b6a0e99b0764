// The search of free clusters for lost folder content (scanVolume with the deep option): on the
// fat16-lost fixture made by mtools, and on byte-built volumes for linking, cycles and damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "fat/DeletedLongName.h"
#include "fat/FolderClusterCheck.h"
#include "fat/LostFolders.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/ScanContext.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"
#include "support/RecoverAll.h"

namespace rekkon {
namespace {

using test::ManifestRow;

constexpr ScanOptions kDeep{.deep = true};

std::string shownDeletedName(const std::string& shortPath) {
    return "?" + shortPath.substr(shortPath.rfind('/') + 2);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class LostFolderFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        manifest = test::readManifest(test::fixtureSource("fat/fat16-lost.manifest.tsv"));
        ASSERT_FALSE(manifest.empty());
        int error = 0;
        ASSERT_EQ(mountVolume(context, test::fixtureImage("fat/fat16-lost.img"), error),
                  MountStatus::Mounted);
    }
    const ManifestRow& row(const std::string& longPath) const {
        for (const auto& r : manifest)
            if (r.at("long_path") == longPath) return r;
        throw std::runtime_error("no manifest row " + longPath);
    }
    // The entries of the last scan for the manifest row's file.
    std::vector<DeletedFileEntry> entriesFor(const ManifestRow& r) const {
        std::vector<DeletedFileEntry> out;
        for (const auto& e : context.foundList)
            if (e.location == std::stoull(r.at("first_cluster")) &&
                e.name == shownDeletedName(r.at("short_path")))
                out.push_back(e);
        return out;
    }

    std::vector<ManifestRow> manifest;
    ScanContext context;
};

TEST_F(LostFolderFixture, FindsEveryDeletedFileWithItsOriginalBytes) {
    ASSERT_GT(scanVolume(context, "", {}, kDeep), 0);
    test::TempDir out;
    const auto outcomes = test::recoverAllFound(context, out.path(), "X");
    std::map<EntryKey, std::string> written;
    for (const auto& o : outcomes)
        if (o.result == RecoveryResult::Written) written[keyOf(*o.entry)] = o.outputPath;
    int checked = 0;
    for (const auto& r : manifest) {
        // Every file of the deleted folders, the scattered one and the one whose entry was
        // taken over included; each data cluster of theirs is intact.
        if (r.at("state") == "live" || r.at("type") != "file") continue;
        const auto found = entriesFor(r);
        ASSERT_EQ(found.size(), 1u) << r.at("long_path");
        ASSERT_TRUE(written.contains(keyOf(found[0]))) << r.at("long_path");
        EXPECT_EQ(test::md5OfFile(written[keyOf(found[0])]), r.at("md5")) << r.at("long_path");
        ++checked;
    }
    EXPECT_EQ(checked, 20);
}

TEST_F(LostFolderFixture, ListsNothingTwiceAndNothingFromFolderLookalikes) {
    ASSERT_GT(scanVolume(context), 0);
    std::set<std::pair<std::uint64_t, std::string>> seen;
    // The walk takes no guessed cluster of a deleted folder that holds file data as entries:
    // nothing twice, nothing that was never made.
    for (const auto& e : context.foundList)
        EXPECT_TRUE(seen.emplace(e.location, e.name).second) << e.name << " at " << e.location;
    const std::size_t walked = context.foundList.size();
    ASSERT_GT(scanVolume(context, "", {}, kDeep), static_cast<int>(walked));
    for (std::size_t i = walked; i < context.foundList.size(); ++i) {
        const DeletedFileEntry& e = context.foundList[i];
        EXPECT_TRUE(seen.emplace(e.location, e.name).second) << e.name << " at " << e.location;
    }
    for (const auto& e : context.foundList) {
        EXPECT_TRUE(std::any_of(manifest.begin(), manifest.end(),
                                [&](const ManifestRow& r) {
                                    return r.at("state") != "live" && r.at("type") == "file" &&
                                           std::stoull(r.at("first_cluster")) == e.location &&
                                           shownDeletedName(r.at("short_path")) == e.name;
                                }))
            << e.name << " at " << e.location;
        EXPECT_EQ(e.folder.find("<lost folder 104>"), std::string::npos) << e.name;
        EXPECT_EQ(e.folder.find("<lost folder 105>"), std::string::npos) << e.name;
    }
    // The copies of a real folder cluster with one impossible field are refused as folders, and
    // the real cluster they copy is not.
    FatVolume fat = test::fatOf(context).fat();
    const FolderClusterLimits limits{context.volume.kind, fat.geometry.maxCluster(),
                                     std::uint64_t{fat.geometry.clusterCount()} * 512};
    const auto clusterBytes = [&](std::uint32_t cluster) {
        std::vector<std::uint8_t> bytes(512);
        EXPECT_EQ(context.volume.reader.readAt(fat.geometry.clusterSector(cluster), 0, bytes),
                  512u);
        return bytes;
    };
    for (const char* lookalike : {"/Folder Lookalike Date.bin", "/Folder Lookalike Cluster.bin"}) {
        const auto cluster =
            static_cast<std::uint32_t>(std::stoul(row(lookalike).at("first_cluster")));
        EXPECT_FALSE(readFolderCluster(clusterBytes(cluster), cluster, limits)) << lookalike;
    }
    EXPECT_TRUE(readFolderCluster(clusterBytes(48), 48, limits));
}

TEST_F(LostFolderFixture, NamesFoldersAsFarAsTheyAreKnown) {
    ASSERT_GT(scanVolume(context), 0);
    const std::size_t walked = context.foundList.size();
    const FoundList normal = context.foundList;
    ASSERT_GT(scanVolume(context, "", {}, kDeep), static_cast<int>(walked));
    // The walk's list comes first, unchanged.
    for (std::size_t i = 0; i < walked; ++i) {
        EXPECT_EQ(context.foundList[i].location, normal[i].location);
        EXPECT_EQ(context.foundList[i].name, normal[i].name);
        EXPECT_EQ(context.foundList[i].folder, normal[i].folder);
    }
    const auto folderOf = [&](const std::string& longPath) {
        const auto found = entriesFor(row(longPath));
        return found.size() == 1 ? found[0].folder : std::string("(not found once)");
    };
    // The scattered folder's first cluster is walked; its later clusters have no "..".
    const std::string scattered = folderOf("/Scattered Folder/Scattered Long Named File 01.txt");
    EXPECT_TRUE(startsWith(scattered, "\\")) << scattered;
    EXPECT_EQ(folderOf("/Scattered Folder/Scattered Long Named File 04.txt"), "<lost folder 48>");
    EXPECT_EQ(folderOf("/Scattered Folder/Scattered Long Named File 12.txt"), "<lost folder 95>");
    // A lost folder's ".." names a walked folder; its name comes from the deleted entry in the
    // scattered folder's later cluster, by its long name.
    EXPECT_EQ(folderOf("/Scattered Folder/Late Subfolder/Inside Late Subfolder.txt"),
              scattered + "\\Late Subfolder");
    // The child whose entry was taken over: under its live parent, its own name not known; the
    // folder inside it is named by its deleted entry there.
    const std::string child = folderOf("/Overwritten Parent/Lost Child Folder/CHILD.TXT");
    EXPECT_TRUE(child == "\\OVERWR~1\\<lost folder 16>" ||
                child == "\\Overwritten Parent\\<lost folder 16>")
        << child;
    EXPECT_EQ(folderOf("/Overwritten Parent/Lost Child Folder/Nested Inside Lost/"
                       "Deeply Nested Notes.txt"),
              child + "\\Nested Inside Lost");
    // A scan of one folder keeps the lost files known to lie in it.
    ASSERT_EQ(scanVolume(context, "/Overwritten Parent", {}, kDeep), 3);
    for (const auto& e : context.foundList)
        EXPECT_TRUE(startsWith(e.folder, "\\Overwritten Parent\\<lost folder 16>")) << e.folder;
}

TEST_F(LostFolderFixture, FindsTheSleuthKitsOrphansButNotItsLookalikeOnes) {
    ASSERT_GT(scanVolume(context, "", {}, kDeep), 0);
    std::ifstream fls(test::fixtureSource("fat/fat16-lost.fls.txt"));
    std::string line;
    int genuine = 0, lookalike = 0;
    while (std::getline(fls, line)) {
        const auto at = line.find("$OrphanFiles/");
        if (at == std::string::npos || (!startsWith(line, "-/r") && !startsWith(line, "r/r")))
            continue;
        const std::string name = line.substr(line.rfind('/') + 1);
        std::string shown;
        if (name.front() == '_') shown = "?" + name.substr(1);
        for (const auto& r : manifest)
            if (r.at("long_path").ends_with("/" + name))
                shown = shownDeletedName(r.at("short_path"));
        const bool listed = std::any_of(context.foundList.begin(), context.foundList.end(),
                                        [&](const DeletedFileEntry& e) { return e.name == shown; });
        if (!shown.empty()) {
            EXPECT_TRUE(listed) << name;
            ++genuine;
        } else {
            // An entry of a copied folder cluster, as the live name it had there.
            EXPECT_TRUE(std::none_of(context.foundList.begin(), context.foundList.end(),
                                     [&](const DeletedFileEntry& e) { return e.name == name; }))
                << name;
            ++lookalike;
        }
    }
    EXPECT_EQ(genuine, 13);
    EXPECT_EQ(lookalike, 6);
}

// A FAT16 volume of 512-byte clusters with a live folder LIVE (cluster 2) and lost folder
// clusters in free space.
class LostFolderVolume : public ::testing::Test {
  protected:
    LostFolderVolume() : b(test::FatBuilder::Type::Fat16, 8192, 1) {
        b.putEntry(1, 0, "LIVE", kAttrFolder, 2, 0);
        b.chain({2});
        b.putEntry(2, 0, ".", kAttrFolder, 2, 0);
        b.putEntry(2, 1, "..", kAttrFolder, 0, 0);
    }
    void lostFirstCluster(std::uint32_t cluster, std::uint32_t parent) {
        b.putEntry(cluster, 0, ".", kAttrFolder, cluster, 0);
        b.putEntry(cluster, 1, "..", kAttrFolder, parent, 0);
    }
    void deletedFile(std::uint32_t folder, std::size_t index, const std::string& name,
                     std::uint32_t cluster) {
        b.putEntry(folder, index, "\xE5" + name, 0x20, cluster, 100);
        b.fillCluster(cluster, 'd');
    }
    std::map<std::string, std::string> scanDeep(std::unique_ptr<test::MemoryDevice> device = {},
                                                std::size_t maxEntries = kMaxLostFolderEntries) {
        if (!device) device = std::make_unique<test::MemoryDevice>(b.bytes());
        EXPECT_EQ(mountVolume(context, std::move(device)), MountStatus::Mounted);
        FatVolume fat = test::fatOf(context).fat();
        FatScanRecord record;
        EXPECT_EQ(scanFat(fat, "", {}, &record), 0);
        std::map<std::string, std::string> folders;  // name -> folder
        stats = findLostFolders(
            fat, record,
            [&](LostFatFile f) {
                EXPECT_TRUE(folders.emplace(f.file.name, f.file.folder).second) << f.file.name;
            },
            {}, maxEntries);
        return folders;
    }

    test::FatBuilder b;
    ScanContext context;
    LostFolderStats stats;
};

TEST_F(LostFolderVolume, LinksLostFoldersToEachOtherAndToKnownOnes) {
    lostFirstCluster(10, 2);
    deletedFile(10, 2, "ILE1   TXT", 20);
    b.putEntry(10, 3, "\xE5UB", kAttrFolder, 11, 0);
    lostFirstCluster(11, 10);
    deletedFile(11, 2, "ILE2   TXT", 21);
    // Two folders whose ".." name each other, and one whose parent is not known.
    lostFirstCluster(12, 13);
    deletedFile(12, 2, "YCLE1  TXT", 22);
    lostFirstCluster(13, 12);
    deletedFile(13, 2, "YCLE2  TXT", 23);
    lostFirstCluster(14, 900);
    deletedFile(14, 2, "RPHAN  TXT", 24);
    const auto folders = scanDeep();
    EXPECT_EQ(folders.at("?ILE1.TXT"), "\\LIVE\\<lost folder 10>");
    EXPECT_EQ(folders.at("?ILE2.TXT"), "\\LIVE\\<lost folder 10>\\?UB");
    EXPECT_EQ(folders.at("?RPHAN.TXT"), "<lost folder 900>\\<lost folder 14>");
    EXPECT_TRUE(folders.at("?YCLE1.TXT").ends_with("<lost folder 12>"));
    EXPECT_TRUE(folders.at("?YCLE2.TXT").ends_with("<lost folder 13>"));
    EXPECT_EQ(folders.size(), 5u);
    EXPECT_EQ(stats.folderClusters, 5u);
}

TEST_F(LostFolderVolume, ANameSplitAcrossClustersJoinsThemIntoOneFolder) {
    // A folder's first cluster ends with the long-name pieces of an entry that opens a later
    // cluster of the folder, as after a quick format that dropped the chain between them.
    lostFirstCluster(10, 2);
    for (std::size_t slot = 2; slot < 13; ++slot)  // a full cluster: empty files
        b.putEntry(10, slot,
                   "EMPTY" + std::to_string(slot / 10) + std::to_string(slot % 10) + " TXT", 0x20,
                   0, 0);
    const std::string shortName = "LONGNA~1TXT";
    std::array<std::uint8_t, 11> name83{};
    std::copy(shortName.begin(), shortName.end(), name83.begin());
    const std::size_t end = b.putLongName(10, 13, u"a file with a longer name.txt");
    ASSERT_EQ(end, 16u);
    for (std::size_t slot = 13; slot < 16; ++slot)
        b.bytes()[b.clusterOffset(10) + slot * 32 + 0x0D] = shortNameChecksum(name83);
    b.putEntry(30, 0, shortName, 0x20, 40, 100);
    b.fillCluster(40, 'd');
    deletedFile(30, 1, "THER   TXT", 41);
    EXPECT_EQ(mountVolume(context, std::make_unique<test::MemoryDevice>(b.bytes())),
              MountStatus::Mounted);
    FatVolume fat = test::fatOf(context).fat();
    FatScanRecord record;
    ASSERT_EQ(scanFat(fat, "", {}, &record), 0);
    std::map<std::string, std::string> found;  // name: long name and folder
    findLostFolders(fat, record, [&](LostFatFile f) {
        found[f.file.name] = f.longName.value_or("") + " in " + f.file.folder;
    });
    EXPECT_EQ(found.at("LONGNA~1.TXT"),
              "a file with a longer name.txt in \\LIVE\\<lost folder 10>");
    EXPECT_EQ(found.at("?THER.TXT"), " in \\LIVE\\<lost folder 10>");
}

TEST_F(LostFolderVolume, KeepsNoMoreThanItsLimitAndCountsWhatItLeftOut) {
    // Free clusters that all read as folder content, as a crafted volume makes every one: what
    // is kept is bounded by the limit, not by the free space.
    for (std::uint32_t k = 0; k < 8; ++k) {
        deletedFile(100 + k, 0, "A" + std::to_string(k) + "     TXT", 200 + 2 * k);
        deletedFile(100 + k, 1, "B" + std::to_string(k) + "     TXT", 201 + 2 * k);
    }
    const auto folders = scanDeep({}, 5);
    EXPECT_EQ(stats.folderClusters, 8u);
    EXPECT_EQ(folders.size(), 5u);
    EXPECT_EQ(stats.entriesLeftOut, 11u);
    EXPECT_EQ(folders.at("?A0.TXT"), "<lost folder 100>");  // kept in disk order
}

TEST_F(LostFolderVolume, SkipsEntriesWhoseDataIsTakenAndGoesOnPastUnreadableClusters) {
    lostFirstCluster(10, 0);
    deletedFile(10, 2, "REE    TXT", 20);
    b.putEntry(10, 3,
               "\xE5"
               "AKEN   TXT",
               0x20, 2, 100);  // cluster 2 is LIVE's
    b.putEntry(40, 0,
               "\xE5"
               "FTER   TXT",
               0x20, 41, 100);  // a later cluster, past the bad one
    auto device = std::make_unique<test::MemoryDevice>(b.bytes());
    device->badSectors.insert(b.firstDataSector() + 30 - 2);  // cluster 30
    const auto folders = scanDeep(std::move(device));
    EXPECT_EQ(folders.at("?REE.TXT"), "\\<lost folder 10>");
    EXPECT_FALSE(folders.contains("?AKEN.TXT"));
    EXPECT_EQ(folders.at("?FTER.TXT"), "<lost folder 40>");
    EXPECT_EQ(stats.unreadableClusters, 1u);
    EXPECT_EQ(context.volume.reader.unreadableSectors(), 1u);
    EXPECT_EQ(stats.freeClusters, test::fatGeometryOf(context).maxCluster() - 2);  // all but LIVE's
}

}  // namespace
}  // namespace rekkon
