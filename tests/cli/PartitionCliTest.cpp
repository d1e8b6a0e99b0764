// rekkon-cli on whole disks: partitions chosen, listed and shown as partition tools show them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/Cli.h"
#include "support/CliRunner.h"
#include "support/DiskFixtures.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "volume/PartitionTable.h"

namespace rekkon {
namespace {

using Extents = std::set<std::pair<std::uint64_t, std::uint64_t>>;  // start, length in sectors

test::CliRun run(const std::vector<std::string>& args) {
    return test::runCliInProcess(args);
}

// The partitions (and the DOS extended container) `mmls` lists for `disk`.
Extents mmlsExtents(const std::string& disk) {
    int status = 0;
    const std::string text = test::runCommand("mmls '" + disk + "' 2>/dev/null", status);
    EXPECT_EQ(status, 0) << text;
    static const std::regex row(R"(^\d+:\s+(\S+)\s+(\d+)\s+\d+\s+(\d+)\s+(.*)$)");
    Extents extents;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, row) || m[1] == "-------") continue;
        if (m[1] == "Meta" && m[4].str().find("Extended (") == std::string::npos) continue;
        extents.insert({std::stoull(m[2]), std::stoull(m[3])});
    }
    return extents;
}

// The rows of the table `info` prints before the first geometry.
Extents infoExtents(const std::string& out) {
    static const std::regex row(R"(^\d+\s+(\d+)\s+\d+\s+(\d+)\s.*$)");
    Extents extents;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        std::smatch m;
        if (std::regex_match(line, m, row)) extents.insert({std::stoull(m[1]), std::stoull(m[2])});
    }
    return extents;
}

void expectSameList(const std::string& disk, int partition, const std::string& bare) {
    SCOPED_TRACE(disk + " partition " + std::to_string(partition));
    const auto whole = run({"list", bare, "--format", "csv"});
    const auto part =
        run({"list", disk, "--partition", std::to_string(partition), "--format", "csv"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(part.status, 0) << part.err;
    EXPECT_GT(std::count(whole.out.begin(), whole.out.end(), '\n'), 5);
    EXPECT_EQ(part.out, whole.out);
    EXPECT_EQ(part.err, "");
}

std::map<std::string, std::string> md5sIn(const std::string& folder) {
    std::map<std::string, std::string> sums;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            sums[entry.path().filename().string()] = test::md5OfFile(entry.path().string());
    return sums;
}

TEST(PartitionCliTest, EachPartitionListsWhatItsVolumeLists) {
    const std::string dos = test::diskImage("dos.img");
    if (dos.empty()) GTEST_SKIP() << "the disk images were not built";
    expectSameList(dos, 1, test::fixtureImage("fat/fat16.img"));
    expectSameList(dos, 5, test::fixtureImage("ntfs/ntfs-512-4k.img"));
    const std::string gpt = test::diskImage("gpt.img");
    expectSameList(gpt, 1, test::fixtureImage("fat/fat32.img"));
    expectSameList(gpt, 2, test::fixtureImage("ntfs/ntfs-512-4k.img"));
    const std::string wide = test::diskImage("gpt-4k.img");
    expectSameList(wide, 1, test::fixtureImage("ntfs/ntfs-4096-4k.img"));
    expectSameList(wide, 2, test::fixtureImage("fat/fat32-4k.img"));

    // A volume at a known offset, without the table's help.
    const auto atOffset =
        run({"list", dos, "--offset", std::to_string(36864 * 512), "--format", "csv"});
    const auto bare = run({"list", test::fixtureImage("ntfs/ntfs-512-4k.img"), "--format", "csv"});
    EXPECT_EQ(atOffset.status, 0) << atOffset.err;
    EXPECT_EQ(atOffset.out, bare.out);
}

TEST(PartitionCliTest, RecoverFromALogicalPartitionGivesTheVolumesFiles) {
    const std::string dos = test::diskImage("dos.img");
    if (dos.empty()) GTEST_SKIP() << "the disk images were not built";
    test::TempDir out;
    const auto fromDisk = run({"recover", dos, "--partition", "5", "--to", out.path() + "/disk"});
    const auto fromVolume = run(
        {"recover", test::fixtureImage("ntfs/ntfs-512-4k.img"), "--to", out.path() + "/volume"});
    EXPECT_EQ(fromDisk.status, fromVolume.status) << fromDisk.err;
    const auto sums = md5sIn(out.path() + "/disk");
    EXPECT_GT(sums.size(), 5u);
    EXPECT_EQ(sums, md5sIn(out.path() + "/volume"));

    // The disk is what the destination is checked against, whichever partition is read.
    struct stat here {};
    ASSERT_EQ(::stat(out.path().c_str(), &here), 0);
    test::CliSetup setup;
    setup.deviceProbe = DeviceProbe{};
    setup.deviceProbe->stat = [dos, dev = here.st_dev](const std::string& path, struct stat& st) {
        if (path != dos) return ::stat(path.c_str(), &st);
        st = {};
        st.st_mode = S_IFBLK | 0660;
        st.st_rdev = dev;
        return 0;
    };
    const auto refused = test::runCliInProcess(
        {"recover", dos, "--partition", "5", "--to", out.path() + "/again"}, setup);
    EXPECT_EQ(refused.status, cli::kExitUsage);
    EXPECT_NE(refused.err.find("the device being scanned"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(out.path() + "/again"));
}

TEST(PartitionCliTest, ChoosingAPartition) {
    test::TempDir dir;
    // One FAT partition: used without being asked for, and said so.
    const std::string one = test::writeOnePartitionDisk(
        dir.path(), 0x06, test::FatBuilder(test::FatBuilder::Type::Fat16, 8192, 1).bytes());
    const auto single = run({"list", one});
    EXPECT_EQ(single.status, 0) << single.err;
    EXPECT_NE(single.err.find("Using partition 1 (FAT16, 4.0 MiB) of " + one), std::string::npos)
        << single.err;

    // No FAT, exFAT or NTFS partition at all.
    const std::string blank =
        test::writeOnePartitionDisk(dir.path(), 0x83, std::vector<std::uint8_t>(4 << 20));
    const auto none = run({"list", blank});
    EXPECT_EQ(none.status, cli::kExitSource);
    EXPECT_NE(none.err.find("no FAT, exFAT or NTFS partition"), std::string::npos) << none.err;
    const auto noneInfo = run({"info", blank});
    EXPECT_EQ(noneInfo.status, cli::kExitSource);
    EXPECT_NE(noneInfo.err.find("no FAT, exFAT or NTFS partition"), std::string::npos) << noneInfo.err;
    // Asked for anyway, the mount decides.
    const auto forced = run({"list", blank, "--partition", "1"});
    EXPECT_EQ(forced.status, cli::kExitSource);
    EXPECT_NE(forced.err.find(blank + " partition 1\" holds no FAT, exFAT or NTFS volume"),
              std::string::npos)
        << forced.err;

    // Usage mistakes.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", one, "--partition", "0"},
          {"list", one, "--partition", "x"},
          {"list", one, "--partition", "2"},
          {"list", one, "--offset", "1000"},
          {"list", one, "--offset", "512", "--partition", "1"},
          {"cat", one, "5", "--offset", "-1"},
          {"info", one, "--partition", "1", "extra"}})
        EXPECT_EQ(run(args).status, cli::kExitUsage) << args[2] << " " << args.back();

    const std::string dos = test::diskImage("dos.img");
    if (dos.empty()) return;
    // Several volumes: the user must choose, and is told the candidates and the option.
    for (const char* command : {"list", "recover", "cat"}) {
        std::vector<std::string> args = {command, dos};
        if (std::string(command) == "recover") args.insert(args.end(), {"--to", dir.path()});
        if (std::string(command) == "cat") args.push_back("0");
        const auto several = run(args);
        EXPECT_EQ(several.status, cli::kExitUsage) << command;
        EXPECT_NE(several.err.find("--partition N"), std::string::npos) << several.err;
        EXPECT_NE(several.err.find("FAT16"), std::string::npos);
        EXPECT_NE(several.err.find("REKKON16"), std::string::npos);
        EXPECT_NE(several.err.find("NTFS"), std::string::npos);
        EXPECT_EQ(several.err.find("(extended)"), std::string::npos);
    }
    // The extended container is named as such, with the logical partitions it holds.
    const auto extended = run({"list", dos, "--partition", "2"});
    EXPECT_EQ(extended.status, cli::kExitUsage);
    EXPECT_NE(extended.err.find("partition 2 of \"" + dos + "\" is the extended partition"),
              std::string::npos)
        << extended.err;
    EXPECT_NE(extended.err.find("give --partition 5."), std::string::npos) << extended.err;
    const auto cat = run({"cat", dos, "0", "--partition", "5"});
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out.substr(0, 4), "FILE");  // record 0 of $MFT holds $MFT's own record
}

TEST(PartitionCliTest, InfoShowsTheTableAsMmlsDoes) {
    const std::string dos = test::diskImage("dos.img");
    if (dos.empty()) GTEST_SKIP() << "the disk images were not built";
    const auto info = run({"info", dos});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Partition table: DOS, 512-byte sectors"), std::string::npos);
    EXPECT_NE(info.out.find("Source: " + dos + " partition 1\nFile system: FAT16"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Source: " + dos + " partition 5\nFile system: NTFS"),
              std::string::npos);
    const auto wide = run({"info", test::diskImage("gpt-4k.img")});
    ASSERT_EQ(wide.status, 0) << wide.err;
    EXPECT_NE(wide.out.find("GPT, 4096-byte sectors"), std::string::npos);
    EXPECT_NE(wide.out.find("Bytes per sector: 4096"), std::string::npos);

    const auto one = run({"info", dos, "--partition", "5"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.rfind("Source: " + dos + " partition 5\nFile system: NTFS", 0), 0u)
        << one.out;
    EXPECT_EQ(one.out.find("Partition table"), std::string::npos);

    if (!test::commandAvailable("mmls")) GTEST_SKIP() << "mmls (sleuthkit) is not installed";
    for (const std::string& disk :
         {dos, test::diskImage("gpt.img"), test::diskImage("gpt-4k.img")}) {
        const auto shown = run({"info", disk});
        const Extents ours = infoExtents(shown.out);
        EXPECT_EQ(ours, mmlsExtents(disk)) << shown.out;
        EXPECT_GE(ours.size(), 2u);
    }
}

// A sparse 3 TiB disk whose second partition starts past 2.5 TiB (sector numbers past 2^32).
class HugeDiskTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { disk_ = test::makeHugeDisk(why_); }
    static void TearDownTestSuite() { test::removeHugeDisk(); }
    void SetUp() override {
        if (!disk_) GTEST_SKIP() << why_;
    }
    static inline std::optional<std::string> disk_;
    static inline std::string why_;
};

TEST_F(HugeDiskTest, PartitionPastTwoAndAHalfTebibytesReadsRight) {
    int error = 0;
    auto device = FileSectorDevice::open(*disk_, error);
    ASSERT_TRUE(device);
    const auto table = findPartitions(*device);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->partitions.size(), 2u);
    EXPECT_EQ(table->partitions[1].offset, test::kHugeSecondStart * 512);
    EXPECT_EQ(table->partitions[1].fileSystem, "NTFS");

    expectSameList(*disk_, 2, test::fixtureImage("ntfs/ntfs-512-4k.img"));
    expectSameList(*disk_, 1, test::fixtureImage("fat/fat16.img"));
    const auto info = run({"info", *disk_});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(infoExtents(info.out).count({test::kHugeSecondStart, 24576})) << info.out;
    if (test::commandAvailable("mmls")) {
        EXPECT_EQ(infoExtents(info.out), mmlsExtents(*disk_));
    }
}

}  // namespace
}  // namespace rekkon
