// Recovery that keeps folders and times: hostile folder paths never leave the destination, the
// times reach the files, and the hashes are those of the bytes written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "fat/FatMount.h"
#include "recovery/DataDigest.h"
#include "recovery/FileTimes.h"
#include "recovery/KeptFolders.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoveryWriter.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"
#include "support/ZoneGuard.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;
using test::FatBuilder;
using test::ZoneGuard;

class NoAnswer final : public FirstCharAsker {
  public:
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        return FirstCharAnswer{"_", true};
    }
};

// Every file below `root` (links not followed), as paths relative to it.
std::set<std::string> filesBelow(const std::string& root) {
    std::set<std::string> out;
    for (const auto& f : fs::recursive_directory_iterator(root))
        if (fs::is_regular_file(f.symlink_status()))
            out.insert(fs::relative(f.path(), root).string());
    return out;
}

// A FAT16 volume with 512-byte clusters 100..109 holding their own number.
struct KeptFoldersFixture : ::testing::Test {
    KeptFoldersFixture() : b(FatBuilder::Type::Fat16, 20'000, 1) {
        for (std::uint32_t c = 100; c < 110; ++c)
            b.fillCluster(c, static_cast<std::uint8_t>(c));
        attachDevice(context.volume, std::make_unique<test::MemoryDevice>(b.bytes()));
        mounted = test::mountFatInto(context) == 1;
    }
    DeletedFileEntry entry(const std::string& folder, const std::string& name,
                           std::uint64_t cluster = 100, std::uint64_t size = 10) {
        DeletedFileEntry e;
        e.folder = folder;
        e.name = name;
        e.location = cluster;
        e.size = size;
        return e;
    }
    std::vector<RecoveryOutcome> recover(std::vector<DeletedFileEntry>& entries,
                                         RecoveryOptions options = {}) {
        std::vector<const DeletedFileEntry*> pointers;
        for (auto& e : entries)
            pointers.push_back(&e);
        options.destination = dir.path();
        options.keepFolders = true;
        return recoverEntries(context, pointers, options, asker);
    }

    FatBuilder b;
    ScanContext context;
    bool mounted = false;
    test::TempDir dir;
    test::TempDir outside;
    NoAnswer asker;
};

TEST(KeptFolderNameTest, ComponentsAreSplitAndMadeSafe) {
    EXPECT_EQ(folderComponents("\\"), std::vector<std::string>{});
    EXPECT_EQ(folderComponents(""), std::vector<std::string>{});
    EXPECT_EQ(folderComponents("\\A\\\\B\\"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(folderComponents("<unknown 64>\\sub"),
              (std::vector<std::string>{"<unknown 64>", "sub"}));
    EXPECT_EQ(safeFolderName("?LDPRO~1"), "_LDPRO~1");
    EXPECT_EQ(safeFolderName(".."), "_..");
    EXPECT_EQ(safeFolderName("."), "_.");
    EXPECT_EQ(safeFolderName("a/b"), "a_b");
    EXPECT_EQ(safeFolderName(std::string("x\0y\x1b\x7f", 5)), "x_y__");
    EXPECT_EQ(safeFolderName("<unknown 64>"), "<unknown 64>");
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\u00E9";
    const std::string cut = safeFolderName(accents);
    EXPECT_EQ(cut.size(), 254u) << "cut to 255 bytes on a character boundary";
    // A path nested deeper than any real one is not created one folder per component.
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "\\d";
    EXPECT_EQ(folderComponents(deep).size(), 64u);
}

TEST_F(KeptFoldersFixture, HostileFolderPathsNeverLeaveTheDestination) {
    ASSERT_TRUE(mounted);
    // Planted in the destination: a link to a folder outside it, and a file where a folder
    // would go.
    ASSERT_EQ(::symlink(outside.path().c_str(), (dir.path() + "/LINK").c_str()), 0);
    std::ofstream(dir.path() + "/FILE") << "mine";
    std::vector<DeletedFileEntry> entries{
        entry("\\..\\..\\ESCAPE", "A.TXT"),
        entry("\\a/b\\c", "B.TXT"),
        entry(std::string("\\\x01\x1b[2J\\\x7f\0z", 10), "C.TXT"),
        entry("\\LINK", "D.TXT"),
        entry("\\LINK\\deeper", "E.TXT"),
        entry("\\FILE", "F.TXT"),
        entry("\\.\\?UB", "../G.TXT"),
        entry("\\", "ROOT.TXT"),
    };
    const auto outcomes = recover(entries);
    ASSERT_EQ(outcomes.size(), entries.size());
    for (const auto& o : outcomes) {
        EXPECT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
        EXPECT_EQ(o.outputPath.rfind(dir.path() + "/", 0), 0u) << o.outputPath;
    }
    EXPECT_TRUE(fs::is_empty(outside.path())) << "nothing went through the planted link";
    EXPECT_EQ(filesBelow(dir.path()),
              (std::set<std::string>{"_../_../ESCAPE/A.TXT", "a_b/c/B.TXT", "__[2J/__z/C.TXT",
                                     "LINK(1)/D.TXT", "LINK(1)/deeper/E.TXT", "FILE(1)/F.TXT",
                                     "_./_UB/.._G.TXT", "ROOT.TXT", "FILE"}));
    EXPECT_TRUE(fs::is_symlink(dir.path() + "/LINK"));
    EXPECT_EQ(outcomes[4].outputPath, dir.path() + "/LINK(1)/deeper/E.TXT");
}

TEST_F(KeptFoldersFixture, AFolderSwappedForALinkDuringTheRecoveryIsNotFollowed) {
    ASSERT_TRUE(mounted);
    std::vector<DeletedFileEntry> entries{entry("\\KEEP", "ONE.TXT", 100, 700),
                                          entry("\\KEEP", "TWO.TXT", 101, 10),
                                          entry("\\KEEP\\SUB", "THREE.TXT", 102, 10)};
    RecoveryOptions options;
    options.chunkBytes = 512;
    bool swapped = false;
    // While the first file is copied, its folder is moved away and a link put in its place.
    options.copied = [&](std::uint64_t) {
        if (swapped) return;
        swapped = true;
        fs::rename(dir.path() + "/KEEP", dir.path() + "/MOVED");
        fs::create_directory_symlink(outside.path(), dir.path() + "/KEEP");
    };
    const auto outcomes = recover(entries, options);
    ASSERT_EQ(outcomes.size(), 3u);
    // The first file was being written through its open folder: it lands where that went.
    EXPECT_EQ(outcomes[0].result, RecoveryResult::Written);
    EXPECT_TRUE(fs::exists(dir.path() + "/MOVED/ONE.TXT"));
    EXPECT_EQ(outcomes[1].result, RecoveryResult::CannotCreate);
    EXPECT_EQ(outcomes[2].result, RecoveryResult::CannotCreate);
    EXPECT_TRUE(fs::is_empty(outside.path()));
}

TEST_F(KeptFoldersFixture, FilesGetTheVolumesTimesAndHashesOfWhatWasWritten) {
    ASSERT_TRUE(mounted);
    const ZoneGuard zone("RKT-3");  // three hours east of UTC, no summer time
    // 2021-06-15 10:20:30 and 2021-06-16 00:00 as the FAT entry stores them (wall clock).
    const std::uint64_t kWrite = (13'268'226'030ULL) * 10'000'000ULL;
    const std::uint64_t kAccess = (13'268'275'200ULL) * 10'000'000ULL;
    std::vector<DeletedFileEntry> entries{entry("\\", "TIMED.BIN", 100, 1500),
                                          entry("\\", "UNTIMED.BIN", 104, 20)};
    entries[0].writeTime = kWrite;
    entries[0].lastAccessTime = kAccess;
    RecoveryOptions options;
    options.hashes = true;
    const std::time_t before = std::time(nullptr);
    const auto outcomes = recover(entries, options);
    ASSERT_EQ(outcomes.size(), 2u);
    struct stat st {};
    ASSERT_EQ(::stat(outcomes[0].outputPath.c_str(), &st), 0);
    // The wall-clock time in UTC+3 is three hours earlier in UTC: 2021-06-15T07:20:30Z.
    EXPECT_EQ(st.st_mtim.tv_sec, 1'623'741'630);
    EXPECT_EQ(st.st_atim.tv_sec, 1'623'790'800);  // 2021-06-15T21:00:00Z
    ASSERT_EQ(::stat(outcomes[1].outputPath.c_str(), &st), 0);
    EXPECT_GE(st.st_mtim.tv_sec, before) << "a time the volume does not store is not set";

    EXPECT_EQ(outcomes[0].md5, test::md5OfFile(outcomes[0].outputPath));
    EXPECT_EQ(outcomes[1].md5, test::md5OfFile(outcomes[1].outputPath));
    EXPECT_EQ(outcomes[0].sha256.size(), 64u);
    EXPECT_NE(outcomes[0].sha256, outcomes[1].sha256);
}

TEST_F(KeptFoldersFixture, TheReportCoversEveryEntryEvenAfterACancel) {
    ASSERT_TRUE(mounted);
    std::vector<DeletedFileEntry> entries{entry("\\", "?KIP.TXT"), entry("\\A", "ONE.TXT"),
                                          entry("\\A", "BIG.BIN", 100, 3000),
                                          entry("\\A", "LATER.TXT")};
    entries[1].longName = "One long name.txt";
    struct Skipper final : FirstCharAsker {
        std::optional<FirstCharAnswer> ask(const std::string&,
                                           const std::optional<std::string>&) override {
            return std::nullopt;
        }
    } skipper;
    std::vector<const DeletedFileEntry*> pointers;
    for (auto& e : entries)
        pointers.push_back(&e);
    RecoveryOptions options;
    options.destination = dir.path();
    options.keepFolders = true;
    options.hashes = true;
    options.chunkBytes = 1024;
    std::uint64_t copied = 0;
    options.copied = [&](std::uint64_t bytes) { copied += bytes; };
    options.cancelled = [&] { return copied > 10; };  // during BIG.BIN
    const auto outcomes = recoverEntries(context, pointers, options, skipper);
    ASSERT_EQ(outcomes.size(), 3u);
    const auto report = nlohmann::json::parse(recoveryReportJson(
        {"card.img", 1048576}, outcomes, std::span(pointers).subspan(outcomes.size())));
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0]["status"], "skipped-no-first-char");
    EXPECT_TRUE(report[0]["md5"].is_null() && report[0]["outputPath"].is_null());
    EXPECT_EQ(report[1]["status"], "written");
    EXPECT_EQ(report[1]["longName"], "One long name.txt");
    EXPECT_EQ(report[1]["outputPath"], dir.path() + "/A/ONE.TXT");
    EXPECT_EQ(report[1]["md5"], test::md5OfFile(dir.path() + "/A/ONE.TXT"));
    EXPECT_EQ(report[1]["volumeOffset"], 1048576);
    EXPECT_EQ(report[1]["whole"], true);
    EXPECT_EQ(report[2]["status"], "cancelled");
    EXPECT_EQ(report[2]["bytesWritten"], 0);
    EXPECT_EQ(report[3]["status"], "not-tried");
    EXPECT_EQ(report[3]["name"], "LATER.TXT");
    EXPECT_TRUE(report[3]["sha256"].is_null());
}

TEST(FileTimesTest, UtcTimesKeepTheirTicksAndUnknownTimesStayUnknown) {
    const ZoneGuard zone("RKT-3");
    // 2024-03-09T17:45:00Z and 1.2345678 s later.
    const auto t = unixTimeOf(133'544'799'012'345'678ULL, false);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->tv_sec, 1'710'006'301);
    EXPECT_EQ(t->tv_nsec, 234'567'800);
    EXPECT_FALSE(unixTimeOf(0, false));
    EXPECT_FALSE(unixTimeOf(0, true));
    EXPECT_EQ(unixTimeOf(133'544'799'000'000'000ULL, true)->tv_sec, 1'710'006'300 - 3 * 3600);
}

TEST(DataDigestTest, DigestsMatchKnownValuesAndHolesCountAsZeros) {
    DataDigest abc;
    ASSERT_TRUE(abc.ready());
    const std::string text = "abc";
    abc.add(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    const auto hex = abc.finish();
    EXPECT_EQ(hex.md5, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    DataDigest holes;
    const std::vector<std::uint8_t> one{1};
    holes.add(one);
    holes.addZeros(200'000);  // more than one pass of the zero buffer
    std::vector<std::uint8_t> expected(200'001, 0);
    expected[0] = 1;
    EXPECT_EQ(holes.finish().md5, test::md5Hex(expected));
}

}  // namespace
}  // namespace rekkon
