// The list as a body file: The Sleuth Kit's mactime reads it and gives each deleted file the
// times it gives the same file from The Sleuth Kit's own body file (fls -m).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/Fixtures.h"

namespace rekkon {
namespace {

// mactime -d: Date,Size,Type,Mode,UID,GID,Meta,File Name; an empty date repeats the one above.
// Per file (its name without folder, lower-cased, a lost first character as '_', and its size):
// the times and what each is (macb).
using Timeline = std::map<std::string, std::set<std::string>>;

Timeline readTimeline(const std::string& csv) {
    Timeline timeline;
    std::istringstream lines(csv);
    std::string line;
    std::string date;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (int i = 0; i < 7; ++i) {
            const std::size_t comma = line.find(',', start);
            if (comma == std::string::npos) break;
            fields.push_back(line.substr(start, comma - start));
            start = comma + 1;
        }
        if (fields.size() != 7) continue;
        if (!fields[0].empty()) date = fields[0];
        std::string name = line.substr(start);
        if (name.size() >= 2 && name.front() == '"') name = name.substr(1, name.size() - 2);
        if (name.find("($FILE_NAME)") != std::string::npos) continue;
        const std::size_t slash = name.rfind('/');
        std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
        for (char& c : base)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (!base.empty() && base.front() == '?') base.front() = '_';
        timeline[base + "|" + fields[1]].insert(date + " " + fields[2]);
    }
    return timeline;
}

TEST(TimelineCliTest, MactimeGivesTheDeletedFilesTheTimesOfTheSleuthKitsOwnBodyFile) {
    if (!test::commandAvailable("fls") || !test::commandAvailable("mactime"))
        GTEST_SKIP() << "The Sleuth Kit (fls, mactime) is not installed";
    for (const char* fixture : {"fat/fat32.img", "ntfs/ntfs-512-4k.img"}) {
        SCOPED_TRACE(fixture);
        const test::TempDir dir;
        const std::string image = test::fixtureImage(fixture);
        const std::string ours = dir.path() + "/ours.body";
        const std::string theirs = dir.path() + "/theirs.body";
        int status = 0;
        std::string list = REKKON_CLI_PATH;
        list += " list --format bodyfile '" + image + "' > " + ours;
        test::runCommand(list, status);
        ASSERT_EQ(status, 0);
        // FAT times are wall-clock times: read in UTC on both sides.
        test::runCommand("TZ=UTC fls -r -d -m / '" + image + "' > " + theirs, status);
        ASSERT_EQ(status, 0);
        const auto timeline = [&](const std::string& body) {
            int s = 0;
            return readTimeline(test::runCommand("TZ=UTC mactime -d -z UTC -b " + body, s));
        };
        const Timeline mine = timeline(ours);
        const Timeline reference = timeline(theirs);
        ASSERT_FALSE(mine.empty());
        int matched = 0;
        for (const auto& [file, times] : mine) {
            const auto found = reference.find(file);
            if (found == reference.end()) continue;  // named otherwise (a lost folder, say)
            ++matched;
            EXPECT_EQ(times, found->second) << file;
        }
        EXPECT_GE(matched * 4, static_cast<int>(mine.size()) * 3) << matched << " matched";
    }
}

}  // namespace
}  // namespace rekkon
