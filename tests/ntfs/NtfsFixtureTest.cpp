// The NTFS reader against volumes made by mkntfs and written by the ntfs-3g driver: `rekkon-cli
// cat` writes every stream of every manifest row with its md5, `info` agrees with mkntfs and
// fsstat, and The Sleuth Kit's icat agrees with the manifest.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "cli/Cli.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsMount.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

// "key: value" lines of a text, split at the first ':'.
std::map<std::string, std::string> keyValues(const std::string& text) {
    std::istringstream in(text);
    std::map<std::string, std::string> out;
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const auto value = line.find_first_not_of(' ', colon + 1);
        out[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
    }
    return out;
}

std::map<std::string, std::string> keyValuesOfFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return keyValues(text.str());
}

std::string firstNumber(const std::string& text) {
    const auto start = text.find_first_of("0123456789");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_first_not_of("0123456789", start) - start);
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class NtfsFixture : public ::testing::TestWithParam<std::string> {
  protected:
    std::string image() const { return test::fixtureImage("ntfs/" + GetParam() + ".img"); }
    std::string source(const std::string& suffix) const {
        return test::fixtureSource("ntfs/" + GetParam() + suffix);
    }
};

// Reads the whole stream in pieces of an odd size, so pieces start inside clusters and units.
std::string readStream(MftFile& file, const NtfsVolume& ntfs, const std::string& stream,
                       std::uint64_t size) {
    std::vector<std::uint8_t> data, piece(5000);
    while (data.size() < size) {
        TransferRequest request{true, piece.data(), piece.size()};
        if (readAttribute(file, ntfs.typeData, stream, data.size(), request) != kNtfsOk ||
            request.count == 0)
            break;
        data.insert(data.end(), piece.begin(),
                    piece.begin() + static_cast<std::ptrdiff_t>(request.count));
    }
    return test::md5Hex(data);
}

// Every stream of every manifest row, live and deleted, as `rekkon-cli cat` writes it: the
// manifest's md5 (the bytes the ntfs-3g driver wrote) and size.
TEST_P(NtfsFixture, CatWritesEveryStreamWithItsMd5) {
    VolumeContext context;
    NtfsVolume ntfs;
    ASSERT_EQ(mountNtfs(context, ntfs, image()), 1);
    int checked = 0;
    for (const auto& row : test::readManifest(source(".manifest.tsv"))) {
        if (row.at("type") != "file") continue;
        const std::string label = row.at("state") + " " + row.at("record") + " " + row.at("path") +
                                  ":" + row.at("stream") + " (" + row.at("flags") + ")";
        std::vector<std::string> args = {"cat", image(), row.at("record")};
        if (row.at("stream") != "-") args.insert(args.end(), {"--stream", row.at("stream")});
        const test::CliRun run = test::runCliInProcess(args);
        EXPECT_EQ(run.status, cli::kExitOk) << label << ": " << run.err;
        EXPECT_EQ(std::to_string(run.out.size()), row.at("size")) << label;
        EXPECT_EQ(test::md5Hex(run.out), row.at("md5")) << label;
        if (row.at("flags").find("attrlist") != std::string::npos) {
            // The streams spread over extension records were gathered through the list.
            MftFile file;
            ASSERT_EQ(openMftFile(file, ntfs, std::stoull(row.at("record"))), kNtfsOk) << label;
            EXPECT_GT(file.loadedRecords.size(), 1u) << label;
            EXPECT_EQ(file.loadedRecords.front(), file.recordNumber) << label;
        }
        ++checked;
    }
    EXPECT_GT(checked, 90);
    unmountNtfs(context, ntfs);
}

TEST_P(NtfsFixture, InfoAgreesWithMkntfsAndFsstat) {
    std::ostringstream out, err;
    std::istringstream in;
    cli::Streams io{out, err, in, false, false};
    ASSERT_EQ(cli::runCli({"info", image()}, io), cli::kExitOk) << err.str();
    const auto info = keyValues(out.str());
    const auto mkntfs = keyValuesOfFile(source(".mkntfs.txt"));
    const auto fsstat = keyValuesOfFile(source(".fsstat.txt"));
    EXPECT_EQ(info.at("File system"), "NTFS");
    EXPECT_EQ(info.at("Volume label"), fsstat.at("Volume Name"));
    EXPECT_EQ(info.at("Bytes per sector"), mkntfs.at("bytes_per_sector"));
    EXPECT_EQ(info.at("Cluster size"), mkntfs.at("cluster_size"));
    EXPECT_EQ(info.at("MFT record size"), mkntfs.at("mft_record_size"));
    EXPECT_EQ(info.at("MFT start cluster"), mkntfs.at("mft_start_cluster"));
    EXPECT_EQ(info.at("Bytes per sector"), fsstat.at("Sector Size"));
    EXPECT_EQ(info.at("Cluster size"), fsstat.at("Cluster Size"));
    EXPECT_EQ(info.at("MFT record size"), firstNumber(fsstat.at("Size of MFT Entries")));
    EXPECT_EQ(info.at("MFT start cluster"), fsstat.at("First Cluster of MFT"));
    // fsstat's inode range ends one past the last record: it adds a virtual orphan folder.
    const std::string range = fsstat.at("Range");
    EXPECT_EQ(info.at("MFT records"), range.substr(range.find('-') + 2));
    EXPECT_EQ(info.at("Upcase table length"), "512");
}

// The oracle, on one image: The Sleuth Kit's icat gives the manifest's bytes for every row (its
// address for each is in NAME.icat.tsv), so what cat writes is what icat reads.
TEST(NtfsOracle, IcatAgreesWithTheManifest) {
    if (!test::commandAvailable("icat")) GTEST_SKIP() << "The Sleuth Kit's icat is not installed";
    const std::string image = test::fixtureImage("ntfs/ntfs-512-4k.img");
    std::map<std::string, std::string> md5ByStream;
    for (const auto& row : test::readManifest(test::fixtureSource("ntfs/ntfs-512-4k.manifest.tsv")))
        md5ByStream[row.at("record") + ":" + row.at("stream")] = row.at("md5");
    int compared = 0;
    for (const auto& row : test::readManifest(test::fixtureSource("ntfs/ntfs-512-4k.icat.tsv"))) {
        const std::string address = row.at("icat_address");
        int status = 0;
        const std::string bytes =
            test::runCommand("icat " + shellQuote(image) + " " + address + " 2>/dev/null", status);
        if (status != 0) continue;  // icat gives nothing to compare with
        const std::string key = address.substr(0, address.find('-')) + ":" + row.at("stream");
        ASSERT_TRUE(md5ByStream.count(key)) << key;
        EXPECT_EQ(test::md5Hex(bytes), md5ByStream.at(key)) << address << " " << row.at("path");
        ++compared;
    }
    EXPECT_GT(compared, 90);
}

// A volume written by Windows XP: every deleted file of the published answers reads back.
TEST(NtfsRealWorld, Dftt07PublishedDeletedFilesReadBack) {
    VolumeContext context;
    NtfsVolume ntfs;
    ASSERT_EQ(
        mountNtfs(context, ntfs, test::fixtureImage("ntfs/realworld/dftt-07/7-ntfs-undel.dd")), 1);
    int checked = 0;
    for (const auto& row : test::readManifest(
             test::fixtureSource("ntfs/realworld/dftt-07/7-ntfs-undel.dd.published.tsv"))) {
        if (row.at("md5") == "N/A") continue;
        const std::string& path = row.at("path");
        const auto colon = path.find(':');
        const std::string stream = colon == std::string::npos ? "" : path.substr(colon + 1);
        MftFile file;
        ASSERT_EQ(openMftFile(file, ntfs, std::stoull(row.at("mft_entry"))), kNtfsOk) << path;
        const AttributeDescriptor* data = findAttribute(file, ntfs.typeData, stream);
        ASSERT_NE(data, nullptr) << path;
        EXPECT_EQ(std::to_string(data->dataSize), row.at("size")) << path;
        EXPECT_EQ(readStream(file, ntfs, stream, data->dataSize), row.at("md5")) << path;
        ++checked;
    }
    EXPECT_EQ(checked, 9);
}

INSTANTIATE_TEST_SUITE_P(Ntfs, NtfsFixture,
                         ::testing::Values("ntfs-512-4k", "ntfs-4096-4k", "ntfs-512-64k"),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                             std::string name = p.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
}  // namespace rekkon
