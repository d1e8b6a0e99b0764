// Real FAT volumes made by mkfs.fat and mtools (tools/make-fat-fixtures.sh): what rekkon reads
// must agree with what the tools were asked to make and with the manifest of each image.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "fat/FatMount.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/RecoverAll.h"

namespace rekkon {
namespace {

using test::ManifestRow;

std::map<std::string, std::string> readGeometry(const std::string& name) {
    std::ifstream in(test::fixtureSource("fat/" + name + ".geometry.txt"));
    std::map<std::string, std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        const auto colon = line.find(": ");
        if (colon != std::string::npos) out[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return out;
}

// The 8.3 name a scan shows for a deleted entry: '?' and the rest of the stored name.
std::string deletedName(const std::string& shortPath) {
    std::string base = shortPath.substr(shortPath.rfind('/') + 1);
    // The first character is one UTF-8 sequence.
    std::size_t first = 1;
    while (first < base.size() && (static_cast<unsigned char>(base[first]) & 0xC0) == 0x80)
        ++first;
    return "?" + base.substr(first);
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The first character of a UTF-8 text, one whole sequence.
std::string firstCharacter(const std::string& text) {
    std::size_t end = 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return text.substr(0, end);
}

// mtools gave a file long-name pieces when its name is not its 8.3 name.
bool hadLongName(const ManifestRow& row) {
    return baseName(row.at("long_path")) != baseName(row.at("short_path"));
}

// The folder a scan shows for a manifest path: its long names, '\' separated.
std::string longFolder(const std::string& longPath) {
    std::string folder = longPath.substr(0, longPath.rfind('/'));
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder.empty() ? "\\" : folder;
}

class FatFixtureTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        image = test::fixtureImage("fat/" + GetParam() + ".img");
        manifest = test::readManifest(test::fixtureSource("fat/" + GetParam() + ".manifest.tsv"));
        ASSERT_FALSE(manifest.empty());
        int error = 0;
        ASSERT_EQ(mountVolume(context, image, error), MountStatus::Mounted);
    }

    // Files whose entries were deleted (or lie in a deleted folder) and whose first cluster is
    // not held by a live file or folder.
    std::vector<ManifestRow> expectedFound() const {
        const std::uint64_t clusterBytes =
            std::stoull(readGeometry(GetParam()).at("cluster_bytes"));
        std::set<std::uint64_t> liveClusters;
        for (const auto& row : manifest) {
            if (row.at("state") != "live") continue;
            const std::uint64_t first = std::stoull(row.at("first_cluster"));
            const std::uint64_t size = std::stoull(row.at("size"));
            const std::uint64_t count =
                row.at("contiguous") == "yes"
                    ? std::max<std::uint64_t>(1, (size + clusterBytes - 1) / clusterBytes)
                    : 1;
            for (std::uint64_t c = first; c < first + count; ++c)
                liveClusters.insert(c);
        }
        std::vector<ManifestRow> out;
        for (const auto& row : manifest) {
            const std::uint64_t first = std::stoull(row.at("first_cluster"));
            if (row.at("state") != "live" && row.at("type") == "file" && first >= 2 &&
                !liveClusters.count(first))
                out.push_back(row);
        }
        return out;
    }

    std::optional<DeletedFileEntry> findEntry(const ManifestRow& row) const {
        for (const auto& e : context.foundList)
            if (e.location == std::stoull(row.at("first_cluster")) &&
                e.name == deletedName(row.at("short_path")) &&
                e.size == std::stoull(row.at("size")))
                return e;
        return std::nullopt;
    }

    std::string image;
    std::vector<ManifestRow> manifest;
    ScanContext context;
};

TEST_P(FatFixtureTest, InfoShowsWhatMkfsWasAskedFor) {
    const auto geometry = readGeometry(GetParam());
    int status = 0;
    const std::string out =
        test::runCommand(std::string(REKKON_CLI_PATH) + " info " + image, status);
    ASSERT_EQ(status, 0);
    auto expectLine = [&](const std::string& label, const std::string& key) {
        EXPECT_NE(out.find(label + ": " + geometry.at(key) + "\n"), std::string::npos)
            << label << "\n"
            << out;
    };
    expectLine("File system", "fat_type");
    expectLine("Bytes per sector", "bytes_per_sector");
    expectLine("Total sectors", "total_sectors");
    expectLine("Sectors per cluster", "sectors_per_cluster");
    expectLine("Reserved sectors", "reserved_sectors");
    expectLine("FAT count", "fat_count");
    expectLine("Sectors per FAT", "sectors_per_fat");
    expectLine("First data sector", "first_data_sector");
    expectLine("Data clusters", "cluster_count");
    if (geometry.at("fat_type") == "FAT32") expectLine("Root cluster", "root_cluster");
    // The Sleuth Kit's reading of the same image agrees on the kind.
    std::ifstream fsstat(test::fixtureSource("fat/" + GetParam() + ".fsstat.txt"));
    const std::string fsstatText((std::istreambuf_iterator<char>(fsstat)),
                                 std::istreambuf_iterator<char>());
    EXPECT_NE(fsstatText.find("File System Type: " + geometry.at("fat_type")), std::string::npos);
}

TEST_P(FatFixtureTest, InfoAgreesWithTheSleuthKit) {
    if (!test::commandAvailable("fsstat")) GTEST_SKIP() << "The Sleuth Kit is not installed";
    int status = 0;
    const std::string fsstat = test::runCommand("fsstat " + image, status);
    ASSERT_EQ(status, 0);
    const std::string info =
        test::runCommand(std::string(REKKON_CLI_PATH) + " info " + image, status);
    ASSERT_EQ(status, 0);
    auto field = [](const std::string& text, const std::string& label) {
        const auto at = text.find(label);
        if (at == std::string::npos) return std::string("missing ") + label;
        const auto end = text.find('\n', at);
        return text.substr(at + label.size(), end - at - label.size());
    };
    auto number = [](const std::string& text) { return std::stoull(text); };
    EXPECT_EQ(number(field(fsstat, "Sector Size: ")), number(field(info, "Bytes per sector: ")));
    std::string rootLabel = field(fsstat, "Volume Label (Root Directory): ");
    rootLabel.erase(rootLabel.find_last_not_of(' ') + 1);
    EXPECT_EQ(rootLabel, field(info, "Volume label: "));
    EXPECT_EQ(number(field(fsstat, "Cluster Size: ")), number(field(info, "Cluster size: ")));
    // "* FAT 0: 32 - 96": the first table starts after the reserved sectors.
    const std::string fat0 = field(fsstat, "* FAT 0: ");
    EXPECT_EQ(number(fat0), number(field(info, "Reserved sectors: ")));
    EXPECT_EQ(number(fat0.substr(fat0.find("- ") + 2)) - number(fat0) + 1,
              number(field(info, "Sectors per FAT: ")));
    EXPECT_EQ(number(field(fsstat, "** Cluster Area: ")),
              number(field(info, "First data sector: ")));
    const std::string range = field(fsstat, "Total Cluster Range: ");
    EXPECT_EQ(number(range.substr(range.find("- ") + 2)) - 1,
              number(field(info, "Data clusters: ")));
}

TEST_P(FatFixtureTest, ListAsJsonGivesTheScanEntries) {
    int status = 0;
    const std::string out = test::runCommand(
        std::string(REKKON_CLI_PATH) + " list " + image + " --format json", status);
    ASSERT_EQ(status, 0);
    const auto expected = expectedFound();
    std::multiset<std::string> listed, wanted;
    for (const auto& j : nlohmann::json::parse(out))
        listed.insert(std::to_string(j["location"].get<std::uint64_t>()) + " " +
                      j["name"].get<std::string>() + " " +
                      std::to_string(j["size"].get<std::uint64_t>()));
    for (const auto& row : expected)
        wanted.insert(row.at("first_cluster") + " " + deletedName(row.at("short_path")) + " " +
                      row.at("size"));
    EXPECT_EQ(listed, wanted);

    // The long names, first characters and folders are the scan's, null where it has none.
    ASSERT_GE(scanVolume(context), 0);
    const auto json = nlohmann::json::parse(out);
    ASSERT_EQ(json.size(), context.foundList.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        const DeletedFileEntry& e = context.foundList[i];
        const auto text = [](const std::optional<std::string>& v) {
            return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
        };
        EXPECT_EQ(json[i]["longName"], text(e.longName)) << e.name;
        EXPECT_EQ(json[i]["firstChar"], text(e.firstChar)) << e.name;
        EXPECT_EQ(json[i]["folder"], e.folder) << e.name;
    }
}

TEST_P(FatFixtureTest, DeletedFilesShowTheirLongNamesAndProvenFirstCharacters) {
    ASSERT_GE(scanVolume(context), 0);
    int longNamed = 0;
    for (const auto& row : expectedFound()) {
        const auto e = findEntry(row);
        ASSERT_TRUE(e) << row.at("long_path");
        // Live folders by their long names, deleted ones by the names their pieces keep.
        EXPECT_EQ(e->folder, longFolder(row.at("long_path")));
        if (!hadLongName(row)) {
            EXPECT_FALSE(e->longName) << row.at("long_path") << ": " << *e->longName;
            EXPECT_FALSE(e->firstChar) << row.at("long_path");
            continue;
        }
        ++longNamed;
        EXPECT_EQ(e->longName, baseName(row.at("long_path")));
        // The checksum gives back the character deletion overwrote, in the volume's code page.
        EXPECT_EQ(e->firstChar, firstCharacter(baseName(row.at("short_path"))))
            << row.at("long_path");
    }
    EXPECT_GE(longNamed, 5);
}

TEST_P(FatFixtureTest, LongNamesOptionWritesTheOriginalNames) {
    test::TempDir out;
    int status = 0;
    // No terminal: the 8.3-only names get '_'.
    test::runCommand(std::string(REKKON_CLI_PATH) + " recover " + image + " --to " + out.path() +
                         " --long-names --first-char auto </dev/null >/dev/null",
                     status);
    ASSERT_EQ(status, 0);
    std::multiset<std::string> wanted, written;
    for (const auto& row : expectedFound())
        wanted.insert(hadLongName(row) ? baseName(row.at("long_path"))
                                       : "_" + deletedName(row.at("short_path")).substr(1));
    for (const auto& file : std::filesystem::directory_iterator(out.path())) {
        std::string name = file.path().filename().string();
        // A second file of the same name got "(1)" before its extension.
        if (const auto at = name.find("(1)"); at != std::string::npos) name.erase(at, 3);
        written.insert(name);
    }
    EXPECT_EQ(written, wanted);
}

TEST_P(FatFixtureTest, ScanListsExactlyTheDeletedFilesWhoseDataMayRemain) {
    ASSERT_GE(scanVolume(context), 0);
    const auto expected = expectedFound();
    EXPECT_EQ(context.foundList.size(), expected.size());
    EXPECT_EQ(context.foundCount, static_cast<int>(expected.size()));
    for (const auto& row : expected) {
        const auto e = findEntry(row);
        ASSERT_TRUE(e) << row.at("long_path");
        EXPECT_EQ(e->attributes & 0x10, 0u);
        if (row.at("contiguous") == "yes" && row.at("reused") == "no") {
            EXPECT_EQ(e->status, kStatusGood) << row.at("long_path");
        }
    }
}

TEST_P(FatFixtureTest, RecoveredFilesHaveTheOriginalBytes) {
    ASSERT_GE(scanVolume(context), 0);
    test::TempDir out;
    const auto outcomes = test::recoverAllFound(context, out.path(), "X", 1024);
    ASSERT_EQ(outcomes.size(), context.foundList.size());
    std::map<EntryKey, const RecoveryOutcome*> byEntry;
    for (const auto& o : outcomes) {
        EXPECT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
        byEntry[keyOf(*o.entry)] = &o;
    }
    int checked = 0;
    for (const auto& row : expectedFound()) {
        const auto e = findEntry(row);
        ASSERT_TRUE(e);
        const std::string written = byEntry.at(keyOf(*e))->outputPath;
        EXPECT_EQ(written.substr(written.rfind('/') + 1, 1), "X");
        // Clusters that were contiguous and never reused come back whole. So does the log file
        // that filled a gap and went on past a live file: the free-cluster walk steps over it.
        const bool intact = (row.at("contiguous") == "yes" && row.at("reused") == "no") ||
                            row.at("long_path").find("Fragmented Log") != std::string::npos;
        if (!intact) continue;
        EXPECT_EQ(test::md5OfFile(written), row.at("md5")) << row.at("long_path");
        ++checked;
    }
    EXPECT_GE(checked, 8);
    // The two "?EW.TXT" files both became XEW.TXT: the second one got a numbered name.
    EXPECT_TRUE(std::filesystem::exists(out.path() + "/XEW.TXT"));
    EXPECT_TRUE(std::filesystem::exists(out.path() + "/XEW(1).TXT"));
}

TEST_P(FatFixtureTest, ScanOfAFolderCoversItAndItsSubfoldersOnly) {
    ASSERT_GE(scanVolume(context, "/Old Projects Archive"), -1);
    // A deleted folder is named by '?' and its 8.3 name.
    ASSERT_GE(scanVolume(context, "\\?LDPRO~1"), 0);
    EXPECT_EQ(context.foundList.size(), 3u);  // PLAN.TXT, the budget, and NOTES.TXT below
    for (const auto& e : context.foundList)
        EXPECT_EQ(e.folder.rfind("\\Old Projects Archive", 0), 0u) << e.folder;
    ASSERT_EQ(scanVolume(context, "LETTERS"), 3);
    EXPECT_EQ(scanVolume(context, "/NO SUCH FOLDER"), -1);
}

INSTANTIATE_TEST_SUITE_P(Images, FatFixtureTest,
                         ::testing::Values("fat12", "fat16", "fat32", "fat32-4k"),
                         [](const auto& param) {
                             std::string n = param.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

}  // namespace
}  // namespace rekkon
