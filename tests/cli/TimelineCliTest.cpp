// The list as a body file: The Sleuth Kit's mactime reads it and gives each deleted file the
// times it gives the same file from The Sleuth Kit's own body file (fls -m).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "cli/DfxmlOutput.h"
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

// Names come from the volume: in XML they cannot break the markup, and characters XML cannot
// hold (controls, bytes that are not UTF-8) become U+FFFD.
TEST(TimelineCliTest, NamesAreWrittenAsXmlCanHoldThem) {
    EXPECT_EQ(cli::xmlText("a&b<c>\"d\"\x01\xff\te"),
              "a&amp;b&lt;c&gt;&quot;d&quot;\xEF\xBF\xBD\xEF\xBF\xBD\te");
}

// The list as Digital Forensics XML parses as XML, and its byte runs lead to the deleted files'
// bytes in the image: read there (holes as zeros), each file's md5 is its manifest's.
TEST(TimelineCliTest, DfxmlParsesAndItsByteRunsHoldTheDeletedFilesBytes) {
    if (!test::commandAvailable("python3")) GTEST_SKIP() << "python3 is not installed";
    // A file per line: inode, TAB, md5 of the bytes its runs point at (only complete runs).
    const std::string reader = R"(
import hashlib, sys, xml.etree.ElementTree as ET
ns = {"d": "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML"}
root = ET.parse(sys.argv[1]).getroot()
with open(sys.argv[2], "rb") as image:
    for f in root.iter("{%s}fileobject" % ns["d"]):
        runs = f.find("d:byte_runs", ns)
        if runs is None or runs.get("incomplete"):
            continue
        md5 = hashlib.md5()
        for run in runs.findall("d:byte_run", ns):
            length = int(run.get("len"))
            if run.get("fill") is not None:
                md5.update(bytes(length))
            else:
                image.seek(int(run.get("img_offset")))
                md5.update(image.read(length))
        print(f.find("d:inode", ns).text + "\t" + md5.hexdigest())
)";
    struct Case {
        const char* image;
        const char* manifest;
        const char* inodeColumn;
    };
    for (const Case& c :
         {Case{"fat/fat32.img", "fat/fat32.manifest.tsv", "first_cluster"},
          Case{"ntfs/ntfs-512-4k.img", "ntfs/ntfs-512-4k.manifest.tsv", "record"}}) {
        SCOPED_TRACE(c.image);
        const test::TempDir dir;
        const std::string xml = dir.path() + "/list.xml";
        const std::string script = dir.path() + "/runs.py";
        std::ofstream(script) << reader;
        int status = 0;
        std::string list = REKKON_CLI_PATH;
        list += " list --format dfxml '" + test::fixtureImage(c.image) + "' > " + xml;
        test::runCommand(list, status);
        ASSERT_EQ(status, 0);
        const std::string out = test::runCommand(
            "python3 " + script + " " + xml + " '" + test::fixtureImage(c.image) + "'", status);
        ASSERT_EQ(status, 0) << "not XML, or runs that cannot be followed";
        std::map<std::string, std::set<std::string>> md5sByInode;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            md5sByInode[line.substr(0, line.find('\t'))].insert(line.substr(line.find('\t') + 1));
        int matched = 0;
        for (const test::ManifestRow& row : test::readManifest(test::fixtureSource(c.manifest))) {
            if (row.at("state") != "deleted" || row.at("type") != "file") continue;
            if (row.count("stream") != 0 && row.at("stream") != "-") continue;
            if (row.count("reused") != 0 && row.at("reused") != "no") continue;
            if (row.count("contiguous") != 0 && row.at("contiguous") != "yes") continue;
            const auto found = md5sByInode.find(row.at(c.inodeColumn));
            if (found == md5sByInode.end()) continue;  // held inside its record, say
            EXPECT_TRUE(found->second.contains(row.at("md5"))) << row.at(c.inodeColumn);
            ++matched;
        }
        EXPECT_GE(matched, 3);
    }
}

// recover --report-format dfxml: the files written carry the md5 and sha256 of their bytes.
TEST(TimelineCliTest, RecoveryReportAsDfxmlHoldsTheHashesOfTheFilesWritten) {
    const test::TempDir dir;
    const std::string report = dir.path() + "/report.xml";
    int status = 0;
    std::string recover = REKKON_CLI_PATH;
    recover += " recover '" + test::fixtureImage("ntfs/ntfs-512-4k.img") + "' --to " + dir.path() +
               "/out --report " + report + " --report-format dfxml >/dev/null 2>&1";
    test::runCommand(recover, status);
    ASSERT_EQ(status, 0);
    std::ifstream in(report);
    const std::string xml{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    int checked = 0;
    for (const test::ManifestRow& row :
         test::readManifest(test::fixtureSource("ntfs/ntfs-512-4k.manifest.tsv"))) {
        if (row.at("state") != "deleted" || row.at("type") != "file" || row.at("stream") != "-")
            continue;
        EXPECT_NE(xml.find("<hashdigest type=\"md5\">" + row.at("md5") + "</hashdigest>"),
                  std::string::npos)
            << row.at("path");
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

}  // namespace
}  // namespace rekkon
