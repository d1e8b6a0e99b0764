// rekkon-cli list/recover --deep: the option reaches the scan on FAT and is passed over on NTFS.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/Cli.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

TEST(DeepCli, ListAndRecoverTheFilesOfLostFolders) {
    const std::string image = test::fixtureImage("fat/fat16-lost.img");
    const auto plain = test::runCliInProcess({"list", image, "--format", "csv"});
    const auto deep = test::runCliInProcess({"list", image, "--format", "csv", "--deep"});
    ASSERT_EQ(plain.status, cli::kExitOk) << plain.err;
    ASSERT_EQ(deep.status, cli::kExitOk) << deep.err;
    EXPECT_EQ(plain.out.find("<lost folder"), std::string::npos);
    EXPECT_NE(deep.out.find("98,?CATT~12.TXT,1586,"), std::string::npos) << deep.out;
    EXPECT_NE(deep.out.find("<lost folder 95>"), std::string::npos) << deep.out;

    // File 12 of the scattered folder (first cluster 98) lies in its fourth cluster.
    test::TempDir out;
    const auto recovered = test::runCliInProcess(
        {"recover", image, "--to", out.path(), "--deep", "--only", "98", "--first-char", "S"});
    ASSERT_EQ(recovered.status, cli::kExitOk) << recovered.err;
    EXPECT_EQ(test::md5OfFile(out.path() + "/SCATT~12.TXT"), "4209764ac0f95b96716c95ad7b04612d");
}

TEST(DeepCli, SaysThatNtfsIsScannedAsUsual) {
    const auto run =
        test::runCliInProcess({"list", test::fixtureImage("ntfs/ntfs-512-4k.img"), "--deep"});
    EXPECT_EQ(run.status, cli::kExitOk) << run.err;
    EXPECT_NE(run.err.find("--deep searches free space of FAT and exFAT volumes only"), std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace rekkon
