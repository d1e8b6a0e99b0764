// recover's progress line on a terminal: its text, and when it is drawn and erased.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/RecoverProgress.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"

namespace rekkon::cli {
namespace {

constexpr std::uint64_t kMiB = 1 << 20;

TEST(RecoverProgressTest, TextGivesBytesRateAndTimeLeft) {
    // 12 MiB in 0.266 s: 45.1 MiB/s, and 288 MiB left at that rate take 6.4 s, shown as 0:07.
    EXPECT_EQ(recoverProgressText(12 * kMiB, 300 * kMiB, 12.0 / 45.1),
              "12.0 MiB of 300.0 MiB  45.1 MiB/s  0:07 left");
    // No rate yet: no time left either.
    EXPECT_EQ(recoverProgressText(0, 5000, 3.0), "0 B of 4.9 KiB");
    EXPECT_EQ(recoverProgressText(4096, 5000, 0.0), "4.0 KiB of 4.9 KiB");
    // Hours; a total passed (a file larger than listed) leaves nothing.
    EXPECT_EQ(recoverProgressText(kMiB, 4000 * kMiB, 1.0),
              "1.0 MiB of 3.9 GiB  1.0 MiB/s  1:06:39 left");
    EXPECT_EQ(recoverProgressText(2 * kMiB, kMiB, 1.0), "2.0 MiB of 1.0 MiB  2.0 MiB/s  0:00 left");
    // A unit's edge rounds up into the next unit rather than showing 1024.0.
    EXPECT_EQ(byteSizeText(kMiB - 1), "1.0 MiB");
    EXPECT_EQ(byteSizeText(1023), "1023 B");
    EXPECT_EQ(byteSizeText(~std::uint64_t{0}), "16.0 EiB");
}

TEST(RecoverProgressTest, LineIsRedrawnInPlaceAtMostTenTimesASecondAndErased) {
    std::ostringstream err;
    {
        RecoverProgressLine line(err, 10 * kMiB);
        line.clear();  // nothing shown: nothing to erase
        EXPECT_EQ(err.str(), "");
        line.add(kMiB);
        EXPECT_EQ(err.str().rfind("\r1.0 MiB of 10.0 MiB", 0), 0u) << err.str();
        EXPECT_NE(err.str().find("\x1b[K"), std::string::npos);
        const std::size_t drawn = err.str().size();
        for (int i = 0; i < 1000; ++i)
            line.add(1);  // within 100 ms of the first drawing
        EXPECT_EQ(err.str().size(), drawn);
        line.clear();
        EXPECT_EQ(err.str().substr(drawn), "\r\x1b[K");
        line.add(1);  // drawn again at once after an erase (a question was asked)
        EXPECT_GT(err.str().size(), drawn + 4);
    }
    // Gone at the end.
    EXPECT_EQ(err.str().substr(err.str().size() - 4), "\r\x1b[K");
}

TEST(RecoverProgressTest, RecoverDrawsTheLineOnATerminalAndErasesItBeforeQuestionsAndAtTheEnd) {
    test::TempDir dir;
    test::CliSetup terminal;
    terminal.input = "N\nF\n";
    terminal.inIsTerminal = true;
    terminal.errIsTerminal = true;
    const test::CliRun run =
        test::runCliInProcess({"recover", test::fixtureImage("fat/fat16.img"), "--to", dir.path(),
                               "--folder", "LETTERS", "--first-char", "auto"},
                              terminal);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_search(run.err, std::regex("\r[0-9.]+ (B|KiB) of [0-9.]+ (B|KiB)")))
        << run.err;
    // Each question starts on an erased line, also after a file was copied.
    std::size_t questions = 0;
    for (std::size_t at = run.err.find("Type in"); at != std::string::npos;
         at = run.err.find("Type in", at + 1), ++questions)
        EXPECT_EQ(run.err.substr(at < 4 ? 0 : at - 4, 4), "\r\x1b[K") << run.err;
    EXPECT_EQ(questions, 2u);
    EXPECT_EQ(run.err.substr(run.err.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace rekkon::cli
