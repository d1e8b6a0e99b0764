// The NTFS scan and recovery end to end on volumes made by mkntfs and the ntfs-3g driver, and on
// DFTT #7 (made on Windows): exactly the deleted files and streams are listed, with their names,
// sizes and folders, and every one is written back with the md5 of what was deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/RecoverAll.h"

namespace rekkon {
namespace {

struct Expected {
    std::string folder;
    std::uint64_t size = 0;
    std::string md5;
    int status = kStatusGood;
    std::optional<std::uint64_t> createTime, accessTime;  // FILETIME, where known
};

// "location name" -> what the scan must show and recovery must write.
using ExpectedEntries = std::map<std::string, Expected>;

std::string key(std::uint64_t location, const std::string& name) {
    return std::to_string(location) + " " + name;
}

std::string fileMd5(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return test::md5Hex(bytes.str());
}

// Scans `image`, checks the list against `expected`, recovers every entry and checks the md5s.
void scanAndRecover(const std::string& image, const ExpectedEntries& expected) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, image, error), MountStatus::Mounted);
    const int files = scanVolume(context);
    std::set<std::string> seen;
    std::set<std::uint64_t> records;
    for (const DeletedFileEntry& e : context.foundList) {
        const std::string k = key(e.location, e.name);
        records.insert(e.location);
        EXPECT_TRUE(seen.insert(k).second) << "listed twice: " << k;
        const auto it = expected.find(k);
        if (it == expected.end()) {
            ADD_FAILURE() << "not a deleted file: " << k;
            continue;
        }
        EXPECT_EQ(e.folder, it->second.folder) << k;
        EXPECT_EQ(e.size, it->second.size) << k;
        EXPECT_EQ(e.status, it->second.status) << k;
        EXPECT_EQ(e.createTime, it->second.createTime.value_or(e.createTime)) << k;
        EXPECT_EQ(e.accessTime, it->second.accessTime.value_or(e.accessTime)) << k;
    }
    EXPECT_EQ(seen.size(), expected.size());
    EXPECT_EQ(files, static_cast<int>(records.size()));  // streams do not count as files

    test::TempDir out;
    for (const RecoveryOutcome& o : test::recoverAllFound(context, out.path(), "_")) {
        ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
        const Expected& want = expected.at(key(o.entry->location, o.entry->name));
        // Clusters a later file took hold that file's bytes now.
        if (want.status == kStatusGood) {
            EXPECT_EQ(fileMd5(o.outputPath), want.md5) << o.entry->name;
        }
    }
}

class NtfsScanFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(NtfsScanFixture, ListsAndRecoversExactlyTheDeletedFiles) {
    ExpectedEntries expected;
    for (const auto& row :
         test::readManifest(test::fixtureSource("ntfs/" + GetParam() + ".manifest.tsv"))) {
        if (row.at("state") != "deleted" || row.at("type") != "file") continue;
        const std::string& path = row.at("path");
        const auto slash = path.rfind('/');
        std::string folder = "\\" + (slash == std::string::npos ? "" : path.substr(0, slash));
        std::replace(folder.begin(), folder.end(), '/', '\\');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (row.at("stream") != "-") name += ":" + row.at("stream");
        expected[key(std::stoull(row.at("record")), name)] = {
            folder, std::stoull(row.at("size")), row.at("md5"), kStatusGood, {}, {}};
    }
    ASSERT_GE(expected.size(), 11u);
    scanAndRecover(test::fixtureImage("ntfs/" + GetParam() + ".img"), expected);
}

// The volume made for the scan: deleted trees four folders deep, folders whose records were
// given to a new file or folder since (and one deleted a second time), clusters a later file took
// wholly or partly, streams, sparse and compressed files, non-ASCII names with surrogate pairs,
// and a deleted file that lost its name whose extension records are free too (listed by its
// record number, every stream recovered).
TEST(NtfsScanVolume, ListsAndRecoversWhatTheAnswerFileSays) {
    ExpectedEntries expected;
    std::set<int> statuses;
    for (const auto& row :
         test::readManifest(test::fixtureSource("ntfs/ntfs-scan-4k.expected.tsv"))) {
        const std::uint64_t record = std::stoull(row.at("record"));
        // Live files, deleted folders and extension records are not listed: scanAndRecover
        // fails on any entry the rows do not expect. The file that lost its name is listed as
        // "<record 107>" with its 40 streams.
        if (row.at("state") != "deleted" || row.at("type") != "file") continue;
        std::string folder = row.at("folder");
        if (folder.back() == '>') folder += '\\';  // "<unknown N>": the folder N itself
        Expected& e = expected[key(record, row.at("name"))];
        e = {folder,
             std::stoull(row.at("size")),
             row.at("md5"),
             std::stoi(row.at("expectedStatus")),
             std::stoull(row.at("createFiletime")),
             std::stoull(row.at("accessFiletime"))};
        statuses.insert(e.status);
    }
    ASSERT_EQ(expected.size(), 77u);
    EXPECT_EQ(statuses, (std::set<int>{0, 57, 255}));  // intact, wholly and partly reused
    scanAndRecover(test::fixtureImage("ntfs/ntfs-scan-4k.img"), expected);
}

INSTANTIATE_TEST_SUITE_P(Ntfs, NtfsScanFixture,
                         ::testing::Values("ntfs-512-4k", "ntfs-4096-4k", "ntfs-512-64k"));

// DFTT #7's published answers: eight deleted files and one stream, in deleted folders too, and
// sing2.dat, whose folder's record was given to res1.dat since.
TEST(NtfsScanDftt, MatchesThePublishedAnswers) {
    ExpectedEntries expected;
    std::ifstream in(test::fixtureSource("ntfs/realworld/dftt-07/7-ntfs-undel.dd.published.tsv"));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line.rfind("num\t", 0) == 0) continue;
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            f.push_back(cell);
        if (f.size() < 5 || f[4] == "N/A") continue;  // folders
        const std::string& path = f[2];
        const auto slash = path.rfind('\\');
        std::string folder = slash == 0 ? "\\" : path.substr(0, slash);
        if (folder == "\\dir3") folder = "<unknown 37>\\";
        expected[key(std::stoull(f[1]), path.substr(slash + 1))] = {
            folder, std::stoull(f[3]), f[4], kStatusGood, {}, {}};
    }
    ASSERT_EQ(expected.size(), 9u);
    scanAndRecover(test::fixtureImage("ntfs/realworld/dftt-07/7-ntfs-undel.dd"), expected);
}

}  // namespace
}  // namespace rekkon
