// rekkon-cli recover --keep-folders --report on the fixture images: the deleted tree comes back
// with its relative paths and times, and the report's hashes are those of the manifest and of
// the files written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/Cli.h"
#include "recovery/KeptFolders.h"
#include "recovery/OutputName.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/ZoneGuard.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json readJson(const std::string& path) {
    std::ifstream in(path);
    return json::parse(in);  // throws, failing the test, when it is not valid JSON
}

std::vector<std::string> split(const std::string& path, char separator) {
    std::vector<std::string> out;
    std::stringstream ss(path);
    std::string part;
    while (std::getline(ss, part, separator))
        if (!part.empty()) out.push_back(part);
    return out;
}

// "2021-01-01 00:12:00" as a local wall-clock time.
std::time_t localTime(const std::string& text, bool midnight = false) {
    std::tm tm{};
    std::istringstream(text) >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
    if (midnight) tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// `name` without its first character (UTF-8).
std::string afterFirst(const std::string& name) {
    std::size_t n = 1;
    while (n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
        ++n;
    return name.substr(n);
}

// The report object of the manifest's file `row`: same first cluster, same name after the first
// character.
const json* reportItem(const json& report, const test::ManifestRow& row) {
    const std::string name = split(row.at("short_path"), '/').back();
    for (const json& item : report) {
        const std::string listed = item["name"];
        if (item["location"] == std::stoull(row.at("first_cluster")) &&
            afterFirst(listed) == afterFirst(name))
            return &item;
    }
    return nullptr;
}

class FatKeepFolders : public ::testing::TestWithParam<std::string> {};

TEST_P(FatKeepFolders, TheDeletedTreeComesBackWithItsPathsTimesAndHashes) {
    const test::ZoneGuard zone("RKT-3");  // FAT times are local: not UTC, so a mix-up shows
    const auto manifest =
        test::readManifest(test::fixtureSource("fat/" + GetParam() + ".manifest.tsv"));
    test::TempDir dir;
    const std::string to = dir.path() + "/out";
    const std::string reportPath = dir.path() + "/report.json";
    const auto r =
        test::runCliInProcess({"recover", test::fixtureImage("fat/" + GetParam() + ".img"), "--to",
                               to, "--first-char", "_", "--keep-folders", "--report", reportPath});
    ASSERT_NE(r.status, cli::kExitUsage) << r.err;
    const json report = readJson(reportPath);
    ASSERT_TRUE(report.is_array());

    // The short and long paths of the deleted folders, to tell which components lost a letter.
    std::set<std::string> deletedDirs;
    for (const auto& row : manifest)
        if (row.at("type") == "dir" && row.at("state") != "live") {
            deletedDirs.insert(row.at("short_path"));
            deletedDirs.insert(row.at("long_path"));
        }
    int checked = 0;
    for (const auto& row : manifest) {
        if (row.at("type") != "file" || row.at("state") == "live") continue;
        const json* item = reportItem(report, row);
        // An empty file has no data to list, a reused one's first cluster is taken again.
        if (!item && (row.at("first_cluster") == "0" || row.at("reused") == "yes")) continue;
        ASSERT_NE(item, nullptr) << row.at("short_path");
        const std::string status = (*item)["status"];
        ASSERT_TRUE(status == "written" || status == "not-whole") << row.at("short_path");

        // The folder the entry names agrees with the manifest's, in short or long names, a
        // deleted folder showing '?' for its first letter (or its whole long name).
        const std::vector<std::string> folder = split((*item)["folder"], '\\');
        const auto shortPath = split(row.at("short_path"), '/');
        const auto longPath = split(row.at("long_path"), '/');
        ASSERT_EQ(folder.size() + 1, shortPath.size()) << row.at("short_path");
        std::string prefixShort, prefixLong, expected;
        for (std::size_t i = 0; i < folder.size(); ++i) {
            prefixShort += "/" + shortPath[i];
            prefixLong += "/" + longPath[i];
            const bool deleted = deletedDirs.count(prefixShort) != 0;
            const std::string lostShort = "?" + afterFirst(shortPath[i]);
            EXPECT_TRUE(folder[i] == shortPath[i] || folder[i] == longPath[i] ||
                        (deleted && folder[i] == lostShort))
                << folder[i] << " in " << row.at("short_path");
            // Where the entry's folder is the manifest's short one, the output path is the
            // manifest's, '_' standing for each lost first letter.
            if (folder[i] == shortPath[i] || folder[i] == lostShort) {
                EXPECT_EQ(safeFolderName(folder[i]),
                          deleted ? "_" + afterFirst(shortPath[i]) : shortPath[i]);
            }
            expected += "/" + safeFolderName(folder[i]);
        }
        const std::string fileName = "_" + afterFirst(shortPath.back());
        const std::string output = (*item)["outputPath"];
        EXPECT_TRUE(output == to + expected + "/" + fileName ||
                    output == to + expected + "/" + numberedName(fileName, 1))
            << output;

        // Times: the entry's write time, and its last-access date, as local times.
        struct stat st {};
        ASSERT_EQ(::stat(output.c_str(), &st), 0) << output;
        EXPECT_EQ(st.st_mtim.tv_sec, localTime(row.at("ctime"))) << output;
        EXPECT_EQ(st.st_atim.tv_sec, localTime(row.at("ctime"), true)) << output;

        // Hashes: those of the file written, and the manifest's where the data is intact.
        EXPECT_EQ((*item)["md5"], test::md5OfFile(output)) << output;
        if (row.at("reused") == "no" && row.at("contiguous") == "yes") {
            EXPECT_EQ((*item)["md5"], row.at("md5")) << output;
            EXPECT_EQ((*item)["whole"], true);
        }
        EXPECT_EQ((*item)["source"], test::fixtureImage("fat/" + GetParam() + ".img"));
        EXPECT_EQ((*item)["volumeOffset"], 0);
        EXPECT_EQ((*item)["firstChar"], "_");
        ++checked;
    }
    EXPECT_EQ(checked, 11);  // every deleted file the scan lists
}

INSTANTIATE_TEST_SUITE_P(Images, FatKeepFolders,
                         ::testing::Values("fat12", "fat16", "fat32", "fat32-4k"));

TEST(NtfsKeepFolders, FilesKeepTheirFoldersAndStandardInformationTimes) {
    const std::string image = test::fixtureImage("ntfs/ntfs-scan-4k.img");
    const auto expected = test::readManifest(test::fixtureSource("ntfs/ntfs-scan-4k.expected.tsv"));
    test::TempDir dir;
    const std::string reportPath = dir.path() + "/report.json";
    const auto r = test::runCliInProcess(
        {"recover", image, "--to", dir.path() + "/out", "--keep-folders", "--report", reportPath});
    ASSERT_NE(r.status, cli::kExitUsage) << r.err;
    const json report = readJson(reportPath);
    int checked = 0;
    for (const auto& row : expected) {
        if (row.at("state") != "deleted" || row.at("type") != "file") continue;
        const json* item = nullptr;
        for (const json& i : report)
            if (i["location"] == std::stoull(row.at("record")) && i["name"] == row.at("name"))
                item = &i;
        ASSERT_NE(item, nullptr) << row.at("name");
        std::string folder;
        for (const std::string& c : split(row.at("folder"), '\\'))
            folder += "/" + safeFolderName(c);
        const std::string output = (*item)["outputPath"];
        EXPECT_EQ(output, dir.path() + "/out" + folder + "/" + safeOutputName(row.at("name")));
        struct stat st {};
        ASSERT_EQ(::stat(output.c_str(), &st), 0) << output;
        using Time = std::pair<std::int64_t, long>;
        const auto ticks = [&](const char* column) {
            const std::uint64_t t = std::stoull(row.at(column));
            return Time(static_cast<std::int64_t>(t / 10'000'000) - 11'644'473'600LL,
                        static_cast<long>(t % 10'000'000) * 100);
        };
        EXPECT_EQ(Time(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), ticks("modifyFiletime")) << output;
        EXPECT_EQ(Time(st.st_atim.tv_sec, st.st_atim.tv_nsec), ticks("accessFiletime")) << output;
        // Holes and compressed data count as the bytes they read as.
        const std::string flags = row.at("flags");
        if (flags.find("wholly-reused") == std::string::npos &&
            flags.find("partly-reused") == std::string::npos) {
            EXPECT_EQ((*item)["md5"], row.at("md5")) << output;
        }
        EXPECT_EQ((*item)["md5"], test::md5OfFile(output)) << output;
        ++checked;
    }
    EXPECT_EQ(checked, 77);  // every deleted file and stream row
}

TEST(ReportCli, TheReportIsNewAndOffTheScannedDeviceAndItsSha256IsTheFilesOwn) {
    const std::string image = test::fixtureImage("fat/fat16.img");
    test::TempDir dir;
    const std::string to = dir.path() + "/out";
    const std::string reportPath = dir.path() + "/taken.json";
    std::ofstream(reportPath) << "keep";
    const auto refused = test::runCliInProcess(
        {"recover", image, "--to", to, "--first-char", "N", "--report", reportPath});
    EXPECT_EQ(refused.status, cli::kExitUsage);
    EXPECT_NE(refused.err.find("exists already"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(to)) << "refused before anything was written";
    std::ifstream kept(reportPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");

    // A report on the scanned device is refused like a destination there: the image is
    // taken for a made-up block device, and the report's folder for a folder on it.
    const std::string onDevice = dir.path() + "/ondevice";
    fs::create_directory(onDevice);
    const dev_t device = makedev(250, 7);
    test::CliSetup setup;
    setup.deviceProbe = DeviceProbe{};
    setup.deviceProbe->sysfsRoot = dir.path() + "/no-sysfs";
    setup.deviceProbe->stat = [image, onDevice, device](const std::string& path, struct stat& out) {
        const int result = ::stat(path.c_str(), &out);
        if (path == image) {
            out.st_mode = S_IFBLK | 0660;
            out.st_rdev = device;
        } else if (path == onDevice) {
            out.st_dev = device;
        }
        return result;
    };
    const auto sameVolume = test::runCliInProcess(
        {"recover", image, "--to", to, "--first-char", "N", "--report", onDevice + "/r.json"},
        setup);
    EXPECT_EQ(sameVolume.status, cli::kExitUsage);
    EXPECT_NE(sameVolume.err.find("lies on"), std::string::npos) << sameVolume.err;
    EXPECT_FALSE(fs::exists(to));
    EXPECT_TRUE(fs::is_empty(onDevice));

    // Nothing found: the report says so, as an empty list.
    const std::string empty = dir.path() + "/empty.json";
    const auto nothing = test::runCliInProcess(
        {"recover", image, "--to", to, "--name", "*.nothing", "--report", empty});
    EXPECT_EQ(nothing.status, cli::kExitOk) << nothing.err;
    EXPECT_EQ(readJson(empty), json::array());

    const std::string fresh = dir.path() + "/fresh.json";
    const auto written = test::runCliInProcess(
        {"recover", image, "--to", to, "--first-char", "N", "--only", "123", "--report", fresh});
    ASSERT_EQ(written.status, cli::kExitOk) << written.err;
    const json report = readJson(fresh);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["status"], "written");
    EXPECT_EQ(report[0]["outputPath"], to + "/NEW.TXT");
    EXPECT_TRUE(report[0]["longName"].is_null() || report[0]["longName"].is_string());
    if (test::commandAvailable("sha256sum")) {
        int status = 0;
        const std::string sum = test::runCommand("sha256sum '" + to + "/NEW.TXT'", status);
        EXPECT_EQ(sum.substr(0, 64), report[0]["sha256"]);
    }
}

}  // namespace
}  // namespace rekkon
