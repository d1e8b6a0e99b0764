// rekkon-cli on evidence file sets (tests/data/ewf): the same entries and recovered files as
// on the images they hold, and clear messages for a set that cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "cli/Cli.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;

const std::string kFat16 = test::fixtureImage("fat/fat16.img");
const std::string kFat16Set = test::fixtureImage("ewf/fat16.E01");

// Every file under `folder` (relative name -> md5).
std::map<std::string, std::string> md5sUnder(const std::string& folder) {
    std::map<std::string, std::string> sums;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            sums[fs::relative(e.path(), folder).string()] = test::md5OfFile(e.path().string());
    return sums;
}

TEST(EwfCli, SetListsAndRecoversWhatTheBareVolumeDoes) {
    for (const char* format : {"table", "json"}) {
        const auto bare = test::runCliInProcess({"list", kFat16, "--format", format});
        const auto set = test::runCliInProcess({"list", kFat16Set, "--format", format});
        ASSERT_EQ(set.status, cli::kExitOk) << set.err;
        EXPECT_EQ(set.out, bare.out);
    }
    test::TempDir dir;
    const auto bare = test::runCliInProcess(
        {"recover", kFat16, "--to", dir.path() + "/bare", "--first-char", "R"});
    const auto set = test::runCliInProcess(
        {"recover", kFat16Set, "--to", dir.path() + "/set", "--first-char", "R"});
    EXPECT_EQ(set.status, bare.status) << set.err;
    const auto expected = md5sUnder(dir.path() + "/bare");
    EXPECT_GE(expected.size(), 5u);
    EXPECT_EQ(md5sUnder(dir.path() + "/set"), expected);
}

TEST(EwfCli, IncompleteOrDamagedSetIsReportedAsSuch) {
    test::TempDir dir;
    const std::string first = dir.path() + "/fat12-split.E01";
    fs::copy_file(test::fixtureImage("ewf/fat12-split.E01"), first);
    auto missing = test::runCliInProcess({"list", first});
    EXPECT_EQ(missing.status, cli::kExitSource);
    EXPECT_EQ(missing.err, "rekkon-cli: cannot open \"" + first +
                               "\": the evidence file set is incomplete: its segment "
                               "\"fat12-split.E02\" is missing (keep all segment files of a set "
                               "together in one folder).\n");
    fs::resize_file(first, 60000);
    auto cut = test::runCliInProcess({"info", first});
    EXPECT_EQ(cut.status, cli::kExitSource);
    EXPECT_NE(cut.err.find("damaged or cut short"), std::string::npos) << cut.err;
}

// The whole-disk set's partitions, chosen with --partition, list as the bare fixtures they hold.
TEST(EwfCli, WholeDiskSetListsEachPartition) {
    const std::string disk = test::fixtureImage("ewf/dos-disk.E01");
    for (const auto& [partition, image] :
         {std::pair{"1", "fat/fat16.img"}, std::pair{"5", "fat/fat12.img"}}) {
        const auto bare = test::runCliInProcess({"list", test::fixtureImage(image)});
        const auto part = test::runCliInProcess({"list", disk, "--partition", partition});
        ASSERT_EQ(part.status, cli::kExitOk) << part.err;
        EXPECT_EQ(part.out, bare.out);
    }
}

}  // namespace
}  // namespace rekkon
