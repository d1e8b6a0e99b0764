// rekkon-cli on NTFS sources: info, list and recover, and cat's output and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "cli/Cli.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "volume/MemorySectorDevice.h"

namespace rekkon {
namespace {

using CatRun = test::CliRun;

CatRun run(const std::vector<std::string>& args) {
    return test::runCliInProcess(args);
}

const std::string kImage = test::fixtureImage("ntfs/ntfs-512-4k.img");

TEST(NtfsCli, CatWritesUnnamedAndNamedStreams) {
    const CatRun unnamed = run({"cat", kImage, "72"});
    EXPECT_EQ(unnamed.status, cli::kExitOk);
    EXPECT_EQ(test::md5Hex(unnamed.out), "6a4454d688be5c371c207a997d56c77f");
    const CatRun named = run({"cat", kImage, "--stream", "BETA", "72"});
    EXPECT_EQ(named.status, cli::kExitOk);
    EXPECT_EQ(test::md5Hex(named.out), "9bc0751504b2d359b4c524db62ffafb4");
    EXPECT_TRUE(named.err.empty());
}

TEST(NtfsCli, CatFailuresAreOneLineWithTheirStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"cat", kImage}, cli::kExitUsage, "usage"},
        {{"cat", kImage, "7x"}, cli::kExitUsage, "usage"},
        {{"cat", kImage, "72", "--stream"}, cli::kExitUsage, "usage"},
        {{"cat", "/nonexistent/disk.img", "0"}, cli::kExitSource, "cannot open"},
        {{"cat", test::fixtureImage("fat/fat16.img"), "0"}, cli::kExitSource, "holds a FAT volume"},
        {{"cat", kImage, "100000"}, cli::kExitSource, "does not exist"},
        {{"cat", kImage, "5"}, cli::kExitSource, "no unnamed data stream"},
        {{"cat", kImage, "72", "--stream", "gamma"},
         cli::kExitSource,
         "no data stream named \"gamma\""},
    };
    for (const Case& c : cases) {
        const CatRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(NtfsCli, InfoTriesNtfsAndFat) {
    const CatRun ntfs = run({"info", kImage});
    EXPECT_EQ(ntfs.status, cli::kExitOk);
    EXPECT_NE(ntfs.out.find("File system: NTFS\n"), std::string::npos);
    const CatRun fat = run({"info", test::fixtureImage("fat/fat16.img")});
    EXPECT_EQ(fat.status, cli::kExitOk);
    EXPECT_NE(fat.out.find("File system: FAT16\n"), std::string::npos);
}

// A volume whose boot sector and system records other than $MFT's are damaged still mounts;
// info says what was damaged and cat still gives the data.
TEST(NtfsCli, InfoNamesTheDamageTheMountWorkedAround) {
    std::ifstream in(kImage, std::ios::binary);
    std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    ASSERT_GT(image.size(), 65536u);
    // $MFT at cluster 4 (4096-byte clusters), 1024-byte records: break the first fixup of
    // records 0, 1, 4, 6 and 10, and blank the boot sector.
    for (const std::size_t record : {0, 1, 4, 6, 10})
        image[4 * 4096 + record * 1024 + 510] ^= 0x5A;
    std::fill_n(image.begin(), 512, 0);
    test::CliSetup setup;
    setup.openSource = [&image](const std::string&, int& error) {
        error = 0;
        return std::make_unique<MemorySectorDevice>(image);
    };
    const CatRun info = test::runCliInProcess({"info", "damaged.img"}, setup);
    ASSERT_EQ(info.status, cli::kExitOk) << info.err;
    for (const char* damage :
         {"Damage: the boot sector is damaged", "Damage: the $MFT record is damaged",
          "Damage: $MFTMirr cannot be read", "Damage: $AttrDef cannot be read",
          "Damage: $UpCase cannot be read", "Damage: $Bitmap cannot be read"})
        EXPECT_NE(info.out.find(damage), std::string::npos) << damage;
    EXPECT_EQ(run({"info", kImage}).out.find("Damage:"), std::string::npos);

    const CatRun cat = test::runCliInProcess({"cat", "damaged.img", "64"}, setup);
    EXPECT_EQ(cat.status, cli::kExitOk) << cat.err;
    EXPECT_EQ(test::md5Hex(cat.out), "764efa883dda1e11db47671c4a3bbd9e");  // tiny.txt
}

// A copy cut short after MFT record 89 ($MFT at cluster 4, 4096-byte clusters, 1024-byte
// records): cat of a record beyond the cut says that it lies past the end of the source.
TEST(NtfsCli, CatOfARecordPastTheEndOfACutShortSource) {
    std::ifstream in(kImage, std::ios::binary);
    std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    image.resize(4 * 4096 + 90 * 1024);
    test::CliSetup setup;
    setup.openSource = [&image](const std::string&, int& error) {
        error = 0;
        return std::make_unique<MemorySectorDevice>(image);
    };
    const CatRun past = test::runCliInProcess({"cat", "cut.img", "110"}, setup);
    EXPECT_EQ(past.status, cli::kExitSource);
    EXPECT_NE(past.err.find("MFT record 110 lies past the end of the source"), std::string::npos)
        << past.err;
    // A record before the cut is read (the mount's reads past the end may be reported).
    const CatRun before = test::runCliInProcess({"cat", "cut.img", "64"}, setup);
    EXPECT_NE(before.status, cli::kExitSource) << before.err;
    EXPECT_EQ(test::md5Hex(before.out), "764efa883dda1e11db47671c4a3bbd9e");  // tiny.txt
}

// list and recover take the same options on NTFS as on FAT: --folder keeps what was deleted in a
// folder and below it (deleted folders included), and streams are written as "file-stream".
TEST(NtfsCli, ListAndRecoverDeletedFiles) {
    const CatRun csv = run({"list", kImage, "--format", "csv", "--folder", "old-project"});
    ASSERT_EQ(csv.status, cli::kExitOk) << csv.err;
    EXPECT_NE(csv.out.find("116,inner.txt,90,"), std::string::npos) << csv.out;
    // NTFS names are whole: no long name, no first character.
    EXPECT_NE(csv.out.find(",\\old-project\\sub,,false,,ntfs-record,,\r\n"), std::string::npos)
        << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 5);  // header and 4 files

    const CatRun none = run({"list", kImage, "--folder", "/docs/a"});
    EXPECT_EQ(none.status, cli::kExitOk);
    EXPECT_NE(none.err.find("Could not find deleted files located in"), std::string::npos);

    test::TempDir out;
    const CatRun recover =
        run({"recover", kImage, "--name", "streams-deleted*", "--to", out.path()});
    ASSERT_EQ(recover.status, cli::kExitOk) << recover.err;
    int status = 0;
    const std::string delta =
        test::runCommand("cat '" + out.path() + "/streams-deleted.txt-delta'", status);
    EXPECT_EQ(test::md5Hex(delta), "87bfabff79d99a04b7ed6255dfe106f1");
}

}  // namespace
}  // namespace rekkon
