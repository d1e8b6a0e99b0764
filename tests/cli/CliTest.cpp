// rekkon-cli as a user runs it: commands, formats and exit statuses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/Cli.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

test::CliRun run(const std::vector<std::string>& args, const std::string& input = "",
                 bool inIsTerminal = false) {
    return test::runCliInProcess(args, input, inIsTerminal);
}

const std::string kFat16 = test::fixtureImage("fat/fat16.img");

TEST(CliTest, InfoFailsClearlyOnMissingAndUnknownSources) {
    auto missing = run({"info", "/nonexistent/card.img"});
    EXPECT_EQ(missing.status, cli::kExitSource);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

    test::TempDir dir;
    const std::string zeros = dir.path() + "/zeros.img";
    std::ofstream(zeros, std::ios::binary) << std::string(1 << 20, '\0');
    auto notFat = run({"info", zeros});
    EXPECT_EQ(notFat.status, cli::kExitSource);
    EXPECT_NE(notFat.err.find("holds no FAT"), std::string::npos);
    // A folder, and an exFAT volume whose boot sectors are damaged, are named for what they are.
    auto folder = run({"list", dir.path()});
    EXPECT_EQ(folder.status, cli::kExitSource);
    EXPECT_NE(folder.err.find("It is a folder, not a device or disk image"), std::string::npos)
        << folder.err;
    std::string exfat(1 << 20, '\0');
    exfat.replace(0, 11,
                  "\xEB\x76\x90"
                  "EXFAT   ");
    exfat[510] = '\x55';
    exfat[511] = '\xAA';
    std::ofstream(dir.path() + "/exfat.img", std::ios::binary) << exfat;
    auto exfatInfo = run({"info", dir.path() + "/exfat.img"});
    EXPECT_EQ(exfatInfo.status, cli::kExitSource);
    EXPECT_NE(
        exfatInfo.err.find("holds an exFAT volume that cannot be read: its boot sector and the "
                           "backup of it are both damaged"),
        std::string::npos)
        << exfatInfo.err;
    EXPECT_EQ(run({"info"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"frobnicate"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"list", kFat16, "--format", "xml"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"list", kFat16, "--bogus"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"list", kFat16, "--only", "12x"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"list", zeros}).status, cli::kExitSource);
    auto help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"--folder", "--format", "--name", "--only", "--to", "--first-char", "--long-names",
          "--allow-same-volume", "--keep-folders", "--report", "--version"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST(CliTest, ListFormats) {
    auto json = run({"list", kFat16, "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto parsed = nlohmann::json::parse(json.out);
    ASSERT_EQ(parsed.size(), 11u);
    const auto& first = parsed[0];
    for (const char* key : {"location", "name", "size", "createTime", "accessTime", "status",
                            "statusText", "type", "attributes"})
        EXPECT_TRUE(first.contains(key)) << key;
    EXPECT_EQ(first["createTime"], "2021-01-01T00:12:00");

    auto table = run({"list", kFat16, "--name", "?EW.TXT"});
    ASSERT_EQ(table.status, 0);
    std::istringstream lines(table.out);
    std::string header, row1, row2, extra;
    std::getline(lines, header);
    std::getline(lines, row1);
    std::getline(lines, row2);
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_EQ(header.rfind("Location  File Name  Long Name  Size (kB)  Create Time", 0), 0u)
        << header;
    for (const char* column : {"Last Access Time", "Estimated Status", "Type"})
        EXPECT_NE(header.find(column), std::string::npos);
    EXPECT_NE(row1.find("?EW.TXT"), std::string::npos);
    EXPECT_NE(row1.find("01/01/2021 at 00:34:00"), std::string::npos);
    EXPECT_NE(row1.find("Good"), std::string::npos);

    auto csv = run({"list", kFat16, "--format", "csv", "--only", "123", "--only", "124"});
    ASSERT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
              "location,name,size,createTime,accessTime,status,statusText,type,attributes,folder,"
              "longName,longNameCut,firstChar,origin,format,check");
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 3);
    // An 8.3 name has neither a long name nor a proven first character.
    EXPECT_NE(csv.out.find("123,?EW.TXT,100,2021-01-01T00:34:00,2021-01-01T00:34:00,255,Good,TXT,"
                           "32,\\LETTERS,,false,,fat-entry,,\r\n"),
              std::string::npos)
        << csv.out;
    auto longName = run({"list", kFat16, "--format", "csv", "--name", "letter to*"});
    EXPECT_NE(longName.out.find(",\\LETTERS,Letter to the Editor.txt,false,L,fat-entry,,\r\n"),
              std::string::npos)
        << longName.out;

    auto folder = run({"list", kFat16, "--folder", "/letters", "--format", "json"});
    EXPECT_EQ(nlohmann::json::parse(folder.out).size(), 3u);
    auto nothing = run({"list", kFat16, "--name", "*.nothing"});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.err, "Could not find deleted files located in \"" + kFat16 + ":\\\"\n");
    EXPECT_EQ(run({"list", kFat16, "--folder", "/NO/SUCH"}).status, cli::kExitUsage);
}

TEST(CliTest, RecoverWritesFilesAndReportsEachOne) {
    test::TempDir dir;
    const std::string to = dir.path() + "/out";
    // Without --first-char and without a terminal nothing is written.
    auto refused = run({"recover", kFat16, "--to", to});
    EXPECT_EQ(refused.status, cli::kExitUsage);
    EXPECT_NE(refused.err.find("--first-char"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(to));
    EXPECT_EQ(run({"recover", kFat16}).status, cli::kExitUsage);
    EXPECT_EQ(run({"recover", kFat16, "--to", to, "--first-char", "?"}).status, cli::kExitUsage);

    auto done = run({"recover", kFat16, "--to", to, "--first-char", "N", "--only", "123"});
    ASSERT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out, "recovered ?EW.TXT -> " + to + "/NEW.TXT (100 bytes)\n");
    EXPECT_EQ(test::md5OfFile(to + "/NEW.TXT"), "ad5153499412d20a45adf7bb9e786145");
    // Again: the existing file is kept and a numbered name is used.
    auto again = run({"recover", kFat16, "--to", to, "--first-char", "N", "--only", "123"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find(to + "/NEW(1).TXT"), std::string::npos);

    // Asked on the terminal: the first answer applies to the rest when it ends with '!' (a
    // first character the long name proves still goes with its own file); an empty line skips
    // a file, which makes the exit status 4.
    auto asked = run({"recover", kFat16, "--to", dir.path() + "/asked", "--folder", "LETTERS"},
                     "\n ?\nF!\n", true);
    EXPECT_EQ(asked.status, cli::kExitSkipped);
    EXPECT_NE(asked.err.find("You need to type in any legal character"), std::string::npos);
    EXPECT_NE(asked.out.find("skipped ?EW.TXT"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/asked/FEW.TXT"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/asked/LETTER~1.TXT"));

    // A proven character is never asked for: nothing needs a terminal or --first-char here.
    auto proven = run({"recover", kFat16, "--to", dir.path() + "/proven", "--only", "127"});
    EXPECT_EQ(proven.status, 0) << proven.err;
    EXPECT_EQ(proven.err.find("Type in"), std::string::npos) << proven.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/proven/LETTER~1.TXT"));

    // --first-char C is used for every name, proven or not.
    auto fixed = run({"recover", kFat16, "--to", dir.path() + "/fixed", "--folder", "LETTERS",
                      "--first-char", "Q"});
    EXPECT_EQ(fixed.status, 0) << fixed.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/fixed/QETTER~1.TXT"));
}

TEST(CliTest, FirstCharAutoAsksOnlyForUnprovenNames) {
    test::TempDir dir;
    // On a terminal only the two 8.3 names are asked about.
    auto asked = run({"recover", kFat16, "--to", dir.path() + "/asked", "--folder", "LETTERS",
                      "--first-char", "auto"},
                     "N\nF\n", true);
    EXPECT_EQ(asked.status, 0) << asked.err;
    std::size_t prompts = 0;
    for (std::size_t at = asked.err.find("Type in"); at != std::string::npos;
         at = asked.err.find("Type in", at + 1))
        ++prompts;
    EXPECT_EQ(prompts, 2u) << asked.err;
    for (const char* name : {"NEW.TXT", "FEW.TXT", "LETTER~1.TXT"})
        EXPECT_TRUE(std::filesystem::exists(dir.path() + "/asked/" + name)) << name;
    // Without a terminal they get '_'.
    auto quiet = run({"recover", kFat16, "--to", dir.path() + "/quiet", "--folder", "LETTERS",
                      "--first-char", "auto"});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    for (const char* name : {"_EW.TXT", "_EW(1).TXT", "LETTER~1.TXT"})
        EXPECT_TRUE(std::filesystem::exists(dir.path() + "/quiet/" + name)) << name;
}

TEST(CliTest, TheRealProgramRunsWithoutATerminal) {
    int status = 0;
    const std::string out = test::runCommand(
        std::string(REKKON_CLI_PATH) + " list " + kFat16 + " --format json 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(nlohmann::json::parse(out).size(), 11u);
    test::runCommand(std::string(REKKON_CLI_PATH) + " info /nonexistent 2>/dev/null", status);
    EXPECT_EQ(status, cli::kExitSource);
    // recover draws no progress line when stderr is not a terminal.
    test::TempDir dir;
    const std::string err =
        test::runCommand(std::string(REKKON_CLI_PATH) + " recover " + kFat16 + " --to " +
                             dir.path() + "/out --first-char _ " + "2>&1 >/dev/null",
                         status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err, "");
    EXPECT_TRUE(
        std::regex_match(test::runCommand(std::string(REKKON_CLI_PATH) + " --version", status),
                         std::regex("rekkon-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")));
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace rekkon
