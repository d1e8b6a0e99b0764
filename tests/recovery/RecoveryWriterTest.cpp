#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <fstream>

#include "fat/FatMount.h"
#include "recovery/FileData.h"
#include "recovery/FirstChar.h"
#include "recovery/OutputName.h"
#include "recovery/RecoveryWriter.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"

namespace rekkon {
namespace {

using test::FatBuilder;

class ScriptedAsker final : public FirstCharAsker {
  public:
    std::vector<std::optional<FirstCharAnswer>> answers;
    std::vector<std::string> asked;
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>&) override {
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
    EXPECT_EQ(rule.resolve("?A.TXT", std::nullopt),
              "QA.TXT");  // only the first character typed counts
    EXPECT_EQ(rule.resolve("B.TXT", std::nullopt), "B.TXT");
    EXPECT_EQ(rule.resolve("?C.TXT", std::nullopt), "QC.TXT");
    EXPECT_EQ(asker.asked.size(), 1u);
}

TEST(FirstCharTest, CancelSkipsOnlyThatFile) {
    ScriptedAsker asker;
    asker.answers = {std::nullopt, FirstCharAnswer{"R", false}, FirstCharAnswer{"\u00C9", false}};
    FirstCharRule rule(asker);
    EXPECT_EQ(rule.resolve("?NE.TXT", std::nullopt), std::nullopt);
    EXPECT_EQ(rule.resolve("?WO.TXT", std::nullopt), "RWO.TXT");
    EXPECT_EQ(rule.resolve("?TE.TXT", std::nullopt),
              "\u00C9TE.TXT");  // UTF-8 names take any character
    EXPECT_EQ(asker.asked.size(), 3u);
}

TEST(FirstCharTest, AProvenCharacterIsNeverAskedForNorPassedOn) {
    ScriptedAsker asker;
    asker.answers = {FirstCharAnswer{"X", true}};
    FirstCharRule rule(asker);
    // A proven character is used without a question, before and after an answer for all.
    EXPECT_EQ(rule.resolve("?RGERU~1.TXT", "\u00C4"), "\u00C4RGERU~1.TXT");
    EXPECT_TRUE(asker.asked.empty());
    EXPECT_EQ(rule.resolve("?LDNOTES.TXT", std::nullopt), "XLDNOTES.TXT");
    EXPECT_EQ(rule.resolve("?UDGET~1.TXT", "B"), "BUDGET~1.TXT");
    EXPECT_EQ(rule.resolve("?EW.TXT", std::nullopt), "XEW.TXT");
    EXPECT_EQ(rule.resolve("?EW.TXT", "/"), "XEW.TXT");  // an unusable proven one is unknown
    EXPECT_EQ(asker.asked, std::vector<std::string>{"?LDNOTES.TXT"});
    // An asker that answers for every name (one character given beforehand) replaces it.
    struct Everything final : FirstCharAsker {
        std::optional<FirstCharAnswer> ask(const std::string&,
                                           const std::optional<std::string>&) override {
            return FirstCharAnswer{"_", false};
        }
        bool answersProvenNames() const override { return true; }
    } everything;
    FirstCharRule fixed(everything);
    EXPECT_EQ(fixed.resolve("?UDGET~1.TXT", "B"), "_UDGET~1.TXT");
}

TEST(FirstCharTest, IllegalCharactersAreRefused) {
    for (const char* bad : {"", " x", "?", "/", "\t", "\x7F"})
        EXPECT_FALSE(legalFirstChar(bad)) << bad;
    EXPECT_EQ(legalFirstChar("Xyz"), "X");
    EXPECT_EQ(legalFirstChar(":"), ":");
    ScriptedAsker asker;
    asker.answers = {FirstCharAnswer{"/", true}, FirstCharAnswer{"K", false}};
    FirstCharRule rule(asker);
    EXPECT_EQ(rule.resolve("?ETC", std::nullopt), std::nullopt);
    EXPECT_EQ(rule.resolve("?ETC", std::nullopt),
              "KETC");  // the refused answer did not turn on "use for all"
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
        ASSERT_EQ(test::mountFatInto(context), 1);
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
    EXPECT_EQ(data->size(), 3000u);
    std::vector<std::uint8_t> chunk(1024);
    std::vector<std::size_t> reads;
    std::string all;
    while (std::size_t n = data->read(all.size(), chunk)) {
        reads.push_back(n);
        all.append(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
    EXPECT_EQ(reads, (std::vector<std::size_t>{1024, 1024, 952}));
    // Reads are positional: going back re-reads the same bytes.
    ASSERT_EQ(data->read(3 * 512 - 1, std::span(chunk).first(2)), 2u);
    EXPECT_EQ(chunk[0], 102);
    EXPECT_EQ(chunk[1], 104);
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

TEST_F(WriterFixture, SkippedAndNotWholeFilesAreReported) {
    mount();
    const std::uint32_t last = test::fatGeometryOf(context).maxCluster();
    std::vector<DeletedFileEntry> entries{entry("?KIP.TXT", 100, 10), entry("NODATA", 0, 10),
                                          entry("TAIL.BIN", last, 4 * 512),
                                          entry("../ESCAPE", 101, 3)};
    asker.answers = {std::nullopt};
    const auto outcomes = recover(entries);
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::NoFirstChar);
    EXPECT_EQ(outcomes[1].result, RecoveryResult::CannotOpenData);
    // The volume ends after one cluster: the rest has no place and is counted as missing.
    EXPECT_EQ(outcomes[2].result, RecoveryResult::NotWhole);
    EXPECT_EQ(outcomes[2].bytesWritten, 512u);
    EXPECT_EQ(outcomes[2].missingBytes, 3u * 512);
    EXPECT_NE(describeOutcome(outcomes[2]).find("not whole"), std::string::npos);
    EXPECT_EQ(outcomes[3].result, RecoveryResult::Written);
    EXPECT_EQ(read(".._ESCAPE"), std::string(3, 101));
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(dir.path()).parent_path() / "ESCAPE"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// Writes past this many bytes fail with EFBIG while it lives (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(WriterFixture, AFailedCopyLeavesNothingUnderTheName) {
    mount();
    for (PendingMethod method : {PendingMethod::Auto, PendingMethod::HiddenName}) {
        test::TempDir out;
        std::vector<DeletedFileEntry> entries{entry("BIG.BIN", 100, 3000),
                                              entry("SMALL.BIN", 101, 100)};
        std::vector<const DeletedFileEntry*> pointers{&entries[0], &entries[1]};
        RecoveryOptions options;
        options.destination = out.path();
        options.chunkBytes = 1024;
        options.method = method;
        std::vector<RecoveryOutcome> outcomes;
        {
            FileSizeLimit limit(2000);
            outcomes = recoverEntries(context, pointers, options, asker);
        }
        ASSERT_EQ(outcomes.size(), 2u);
        EXPECT_EQ(outcomes[0].result, RecoveryResult::WriteFailed);
        EXPECT_EQ(outcomes[0].error, EFBIG);
        EXPECT_TRUE(outputFailed(outcomes[0]));
        EXPECT_NE(describeOutcome(outcomes[0]).find("nothing was left"), std::string::npos);
        EXPECT_EQ(outcomes[1].result, RecoveryResult::Written);
        // Only the complete file is there: no partial BIG.BIN, no hidden leftover.
        std::vector<std::string> names;
        for (const auto& f : std::filesystem::directory_iterator(out.path()))
            names.push_back(f.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"SMALL.BIN"}) << int(method);
    }
}

TEST_F(WriterFixture, ACancelDuringAFileLeavesNothingOfItAndStopsTheRest) {
    mount();
    for (PendingMethod method : {PendingMethod::Auto, PendingMethod::HiddenName}) {
        test::TempDir out;
        std::vector<DeletedFileEntry> entries{entry("SMALL.BIN", 101, 100),
                                              entry("BIG.BIN", 100, 3000),
                                              entry("LATER.BIN", 102, 100)};
        std::vector<const DeletedFileEntry*> pointers{&entries[0], &entries[1], &entries[2]};
        RecoveryOptions options;
        options.destination = out.path();
        options.chunkBytes = 1024;
        options.method = method;
        std::uint64_t copied = 0;
        // Cancelled once the big file has one chunk written.
        options.copied = [&](std::uint64_t bytes) { copied += bytes; };
        options.cancelled = [&] { return copied >= 100 + 1024; };
        const auto outcomes = recoverEntries(context, pointers, options, asker);
        ASSERT_EQ(outcomes.size(), 2u) << "nothing after the cancelled file is tried";
        EXPECT_EQ(outcomes[0].result, RecoveryResult::Written);
        EXPECT_EQ(outcomes[1].result, RecoveryResult::Cancelled);
        EXPECT_FALSE(outputFailed(outcomes[1])) << "a cancel is not a full destination";
        EXPECT_EQ(copied, 100u + 1024);
        EXPECT_NE(describeOutcome(outcomes[1]).find("cancelled BIG.BIN"), std::string::npos);
        std::vector<std::string> names;
        for (const auto& f : std::filesystem::directory_iterator(out.path()))
            names.push_back(f.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"SMALL.BIN"}) << int(method);
    }
}

TEST_F(WriterFixture, UnreadableSectorsAreZerosCountedAndTheRestIsKept) {
    // Cluster 101 is the file's second 512 bytes; 105 its fifth (103 is in use).
    auto device = std::make_unique<test::MemoryDevice>(b.bytes());
    const std::uint64_t first = b.clusterOffset(101) / 512;
    const std::uint64_t fifth = b.clusterOffset(105) / 512;
    device->badSectors = {first, fifth};
    attachDevice(context.volume, std::move(device));
    ASSERT_EQ(test::mountFatInto(context), 1);
    std::vector<DeletedFileEntry> entries{entry("DATA.BIN", 100, 3000)};
    const auto outcomes = recover(entries, 2048);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::NotWhole);
    EXPECT_EQ(outcomes[0].bytesWritten, 3000u);
    EXPECT_EQ(outcomes[0].unreadableBytes, 1024u);
    EXPECT_NE(describeOutcome(outcomes[0]).find("1024 bytes could not be read"), std::string::npos);
    std::string expected;
    for (std::uint8_t c : {100, 0, 102, 104, 0, 106})
        expected += std::string(512, static_cast<char>(c));
    EXPECT_EQ(read("DATA.BIN"), expected.substr(0, 3000));
}

}  // namespace
}  // namespace rekkon
