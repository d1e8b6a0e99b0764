// rekkon-cli on a source that fails to read in a stretch: the commands run to the end, say how
// many sectors could not be read, and end with status 4.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli/Cli.h"
#include "fat/FatScan.h"
#include "support/CliRunner.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

// fat16.img: data from sector 100, 4 sectors a cluster; the folder LETTERS at cluster 122.
constexpr std::uint64_t kLettersSector = 100 + (122 - 2) * 4;

std::shared_ptr<std::vector<std::uint8_t>> fat16Bytes() {
    std::ifstream in(test::fixtureImage("fat/fat16.img"), std::ios::binary);
    return std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in),
                                                       std::istreambuf_iterator<char>());
}

test::CliSetup failingLetters() {
    auto bytes = fat16Bytes();
    test::CliSetup setup;
    setup.openSource = [bytes](const std::string&, int&) {
        auto device = std::make_unique<test::MemoryDevice>(*bytes);
        device->badFrom = kLettersSector;
        device->badTo = kLettersSector + 4;
        return std::unique_ptr<SectorDevice>(std::move(device));
    };
    return setup;
}

TEST(UnreadableCli, ListAndRecoverSayHowManySectorsCouldNotBeRead) {
    const test::CliSetup setup = failingLetters();
    const std::string said = "1 sector of \"card.img\" could not be read";

    const auto list = test::runCliInProcess({"list", "card.img", "--format", "csv"}, setup);
    EXPECT_EQ(list.status, cli::kExitSkipped);
    EXPECT_NE(list.err.find(said), std::string::npos) << list.err;
    EXPECT_NE(list.out.find("LDNOTES.TXT"), std::string::npos) << "found before LETTERS";
    EXPECT_NE(list.out.find("ART_B.BIN"), std::string::npos) << "found after LETTERS";
    EXPECT_EQ(list.out.find("ETTER~1.TXT"), std::string::npos);

    test::TempDir out;
    const auto recover = test::runCliInProcess(
        {"recover", "card.img", "--to", out.path(), "--first-char", "_", "--name", "*.BIN"}, setup);
    EXPECT_EQ(recover.status, cli::kExitSkipped);
    EXPECT_NE(recover.err.find(said), std::string::npos) << recover.err;
    EXPECT_NE(recover.out.find("ART_B.BIN"), std::string::npos) << recover.out;

    // A folder inside the unreadable one is not found, and the count tells why it may not be.
    const auto lost =
        test::runCliInProcess({"list", "card.img", "--folder", "/LETTERS/OLD"}, setup);
    EXPECT_EQ(lost.status, cli::kExitUsage);
    EXPECT_NE(lost.err.find(said), std::string::npos) << lost.err;

    // The same source read whole says nothing of the kind.
    const auto whole = test::runCliInProcess({"list", test::fixtureImage("fat/fat16.img")});
    EXPECT_EQ(whole.status, cli::kExitOk);
    EXPECT_EQ(whole.err.find("could not be read"), std::string::npos);
}

TEST(UnreadableCli, ListOfACutShortImageCountsWhatLiesPastItsEnd) {
    // The image ends where LETTERS begins: it and the folders after it (the deleted folder
    // "Old Projects Archive" among them) lie past the end.
    auto bytes = fat16Bytes();
    bytes->resize(kLettersSector * kSectorSize);
    test::CliSetup setup;
    setup.openSource = [bytes](const std::string&, int&) {
        return std::unique_ptr<SectorDevice>(std::make_unique<test::MemoryDevice>(*bytes));
    };
    const auto list = test::runCliInProcess({"list", "card.img", "--format", "csv"}, setup);
    EXPECT_EQ(list.status, cli::kExitSkipped);
    EXPECT_NE(list.err.find("could not be read"), std::string::npos) << list.err;
    EXPECT_NE(list.err.find("all of them lie past the end of \"card.img\""), std::string::npos)
        << list.err;
    EXPECT_NE(list.out.find("LDNOTES.TXT"), std::string::npos) << "found before LETTERS";
}

TEST(UnreadableCli, ListSaysHowManyFoldersWereTooDeepToEnter) {
    // A chain of live folders two levels deeper than the walk goes, a deleted file in each.
    test::FatBuilder b(test::FatBuilder::Type::Fat16, 20'000, 1);
    b.putEntry(1, 0, "DEEP", 0x10, 100, 0);
    for (std::uint32_t d = 0; d < kMaxScanDepth + 2; ++d) {
        b.chain({100 + d});
        b.putEntry(100 + d, 0, "DEEP", 0x10, 101 + d, 0);
        b.putEntry(100 + d, 1, "\xE5ILE    TXT", 0x20, 5000 + d, 1);
    }
    test::CliSetup setup;
    setup.openSource = [&b](const std::string&, int&) {
        return std::unique_ptr<SectorDevice>(std::make_unique<test::MemoryDevice>(b.bytes()));
    };
    const auto list = test::runCliInProcess({"list", "deep.img", "--format", "csv"}, setup);
    EXPECT_EQ(list.status, cli::kExitSkipped);
    EXPECT_NE(list.err.find("1 folder of \"deep.img\" lies deeper than 2048 levels"),
              std::string::npos)
        << list.err;
}

}  // namespace
}  // namespace rekkon
