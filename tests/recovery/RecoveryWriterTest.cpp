#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fat/FatMount.h"
#include "fat/FirstChar.h"
#include "recovery/FileData.h"
#include "recovery/OutputName.h"
#include "recovery/RecoveryWriter.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using test::FatBuilder;

class ScriptedAsker final : public FirstCharAsker {
  public:
    std::vector<std::optional<FirstCharAnswer>> answers;
    std::vector<std::string> asked;
    std::optional<FirstCharAnswer> ask(const std::string& name) override {
        asked.push_back(name);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

TEST(FirstCharTest, OneAnswerCanServeTheRestOfTheCommand) {
    ScriptedAsker asker;
    asker.answers = {FirstCharAnswer{"Qxyz", true}};
    FirstCharRule rule(asker);
    EXPECT_EQ(rule.resolve("?A.TXT"), "QA.TXT");  // only the first character typed counts
    EXPECT_EQ(rule.resolve("B.TXT"), "B.TXT");
    EXPECT_EQ(rule.resolve("?C.TXT"), "QC.TXT");
    EXPECT_EQ(asker.asked.size(), 1u);
}

TEST(FirstCharTest, CancelSkipsOnlyThatFile) {
    ScriptedAsker asker;
    asker.answers = {std::nullopt, FirstCharAnswer{"R", false}, FirstCharAnswer{"\u00C9", false}};
    FirstCharRule rule(asker);
    EXPECT_EQ(rule.resolve("?NE.TXT"), std::nullopt);
    EXPECT_EQ(rule.resolve("?WO.TXT"), "RWO.TXT");
    EXPECT_EQ(rule.resolve("?TE.TXT"), "\u00C9TE.TXT");  // UTF-8 names take any character
    EXPECT_EQ(asker.asked.size(), 3u);
}

TEST(FirstCharTest, IllegalCharactersAreRefused) {
    for (const char* bad : {"", " x", "?", "/", "\t", "\x7F"})
        EXPECT_FALSE(legalFirstChar(bad)) << bad;
    EXPECT_EQ(legalFirstChar("Xyz"), "X");
    EXPECT_EQ(legalFirstChar(":"), ":");
    ScriptedAsker asker;
    asker.answers = {FirstCharAnswer{"/", true}, FirstCharAnswer{"K", false}};
    FirstCharRule rule(asker);
    EXPECT_EQ(rule.resolve("?ETC"), std::nullopt);
    EXPECT_EQ(rule.resolve("?ETC"), "KETC");  // the refused answer did not turn on "use for all"
}

TEST(OutputNameTest, NamesAreMadeSafeForTheDestination) {
    EXPECT_EQ(safeOutputName("report.txt"), "report.txt");
    EXPECT_EQ(safeOutputName("a/b"), "a_b");
    EXPECT_EQ(safeOutputName(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(safeOutputName(".."), "_..");
    EXPECT_EQ(safeOutputName("."), "_.");
    EXPECT_EQ(safeOutputName(""), "_");
    EXPECT_EQ(safeOutputName("data.bin:extra"), "data.bin-extra");
    EXPECT_EQ(safeOutputName("a:b:c"), "a-b:c");
    const std::string longName = std::string(300, 'x') + ".jpeg";
    EXPECT_EQ(safeOutputName(longName), std::string(250, 'x') + ".jpeg");
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\u00E9";  // 2 bytes each
    const std::string cut = safeOutputName(accents + ".txt");
    EXPECT_LE(cut.size(), 255u);
    EXPECT_EQ(cut.substr(cut.size() - 4), ".txt");
    EXPECT_EQ((cut.size() - 4) % 2, 0u) << "cut on a character boundary";
    EXPECT_EQ(numberedName("report.txt", 2), "report(2).txt");
    EXPECT_EQ(numberedName("README", 1), "README(1).");
    EXPECT_EQ(numberedName("archive.tar.gz", 3), "archive.tar(3).gz");
    EXPECT_LE(numberedName(std::string(255, 'y'), 499).size(), 255u);
}

// A FAT16 volume with 512-byte clusters holding deleted files of known bytes.
struct WriterFixture : ::testing::Test {
    WriterFixture() : b(FatBuilder::Type::Fat16, 20'000, 1) {
        for (std::uint32_t c = 100; c < 110; ++c)
            b.fillCluster(c, static_cast<std::uint8_t>(c));
        b.setFat(103, 0xFFFF);  // the free walk steps over it
    }
    void mount() {
        attachDevice(context.volume, std::make_unique<test::MemoryDevice>(b.bytes()));
        ASSERT_EQ(mountFatOnOpenDevice(context.volume, context.fatGeometry), 1);
    }
    DeletedFileEntry entry(const std::string& name, std::uint64_t location, std::uint64_t size) {
        DeletedFileEntry e;
        e.name = name;
        e.location = location;
        e.size = size;
        return e;
    }
    std::vector<RecoveryOutcome> recover(std::vector<DeletedFileEntry>& entries,
                                         std::size_t chunk = 1024) {
        std::vector<const DeletedFileEntry*> pointers;
        for (auto& e : entries)
            pointers.push_back(&e);
        RecoveryOptions options;
        options.destination = dir.path();
        options.chunkBytes = chunk;
        return recoverEntries(context, pointers, options, asker);
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir.path() + "/" + name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    FatBuilder b;
    ScanContext context;
    test::TempDir dir;
    ScriptedAsker asker;
};

TEST_F(WriterFixture, CopyLoopReadsChunksAndContinuesThroughFreeClusters) {
    mount();
    auto data = openFileData(context, 100, 3000);
    ASSERT_TRUE(data);
    std::vector<std::uint8_t> chunk(1024);
    std::vector<std::size_t> reads;
    std::string all;
    while (std::size_t n = readFileData(*data, "", chunk)) {
        reads.push_back(n);
        all.append(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
    EXPECT_EQ(reads, (std::vector<std::size_t>{1024, 1024, 952}));
    ASSERT_EQ(all.size(), 3000u);
    EXPECT_EQ(all[0], 100);
    EXPECT_EQ(all[3 * 512], 104);  // 103 is in use
    EXPECT_EQ(all[2999], 106);     // the sixth member: 100, 101, 102, 104, 105, 106
    EXPECT_FALSE(openFileData(context, 0, 10)) << "first cluster 0 has no data to open";

    std::vector<DeletedFileEntry> entries{entry("?ATA.BIN", 100, 3000)};
    asker.answers = {FirstCharAnswer{"D", false}};
    const auto outcomes = recover(entries);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::Written);
    EXPECT_EQ(outcomes[0].bytesWritten, 3000u);
    EXPECT_EQ(read("DATA.BIN"), all);
    EXPECT_EQ(entries[0].name, "?ATA.BIN") << "the list keeps the '?' name";
}

TEST_F(WriterFixture, ExistingFilesAreNeverReplaced) {
    mount();
    std::ofstream(dir.path() + "/REPORT.TXT") << "keep me";
    std::ofstream(dir.path() + "/REPORT(1).TXT") << "keep me too";
    std::vector<DeletedFileEntry> entries{entry("REPORT.TXT", 100, 10), entry("README", 101, 5),
                                          entry("README", 102, 5)};
    const auto outcomes = recover(entries);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].outputPath, dir.path() + "/REPORT(2).TXT");
    EXPECT_EQ(read("REPORT.TXT"), "keep me");
    EXPECT_EQ(read("REPORT(1).TXT"), "keep me too");
    EXPECT_EQ(read("README"), std::string(5, 101));
    EXPECT_EQ(read("README(1)."), std::string(5, 102));
}

TEST_F(WriterFixture, WhenEveryNumberedNameIsTakenTheFileIsSkipped) {
    mount();
    std::ofstream(dir.path() + "/A.TXT") << "x";
    for (int n = 1; n <= kMaxNumberedNames; ++n)
        std::ofstream(dir.path() + "/" + numberedName("A.TXT", n)) << "x";
    std::vector<DeletedFileEntry> entries{entry("A.TXT", 100, 10)};
    const auto outcomes = recover(entries);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::NoFreeName);
    EXPECT_NE(describeOutcome(outcomes[0]).find("499"), std::string::npos);
    EXPECT_EQ(read("A.TXT"), "x");
}

TEST_F(WriterFixture, SkippedAndShortFilesAreReported) {
    mount();
    const std::uint32_t last = context.fatGeometry.maxCluster();
    std::vector<DeletedFileEntry> entries{entry("?KIP.TXT", 100, 10), entry("NODATA", 0, 10),
                                          entry("TAIL.BIN", last, 4 * 512),
                                          entry("../ESCAPE", 101, 3)};
    asker.answers = {std::nullopt};
    const auto outcomes = recover(entries);
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::NoFirstChar);
    EXPECT_EQ(outcomes[1].result, RecoveryResult::CannotOpenData);
    EXPECT_EQ(outcomes[2].result, RecoveryResult::Short);  // the volume ends after one cluster
    EXPECT_EQ(outcomes[2].bytesWritten, 512u);
    EXPECT_EQ(outcomes[3].result, RecoveryResult::Written);
    EXPECT_EQ(read(".._ESCAPE"), std::string(3, 101));
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(dir.path()).parent_path() / "ESCAPE"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(WriterFixture, AFullDestinationStopsTheCommandAndLeavesNoPartialFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    mount();
    auto data = openFileData(context, 100, 3000);
    ASSERT_TRUE(data);
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int error = 0;
    EXPECT_EQ(copyFileData(*data, "", 3000, fd, 1024, error), 0u);
    EXPECT_EQ(error, ENOSPC);
    ::close(fd);
    RecoveryOutcome o;
    DeletedFileEntry e = entry("BIG.BIN", 100, 3000);
    o.entry = &e;
    o.result = RecoveryResult::WriteFailed;
    o.error = ENOSPC;
    EXPECT_NE(describeOutcome(o).find("destination is full"), std::string::npos);
}

}  // namespace
}  // namespace rekkon
