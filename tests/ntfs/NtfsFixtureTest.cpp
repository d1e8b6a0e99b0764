// The NTFS reader against volumes made by mkntfs and written by the ntfs-3g driver: every
// stream of every manifest row reads back with its md5, `info` agrees with mkntfs and fsstat,
// and `rekkon-cli cat` gives the same bytes as The Sleuth Kit's icat.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "cli/Cli.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsMount.h"
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

TEST_P(NtfsFixture, EveryStreamReadsBackWithItsMd5) {
    VolumeContext context;
    NtfsVolume ntfs;
    ASSERT_EQ(mountNtfs(context, ntfs, image()), 1);
    int checked = 0;
    for (const auto& row : test::readManifest(source(".manifest.tsv"))) {
        if (row.at("type") != "file") continue;
        const std::string stream = row.at("stream") == "-" ? "" : row.at("stream");
        const std::string label = row.at("state") + " " + row.at("record") + " " + row.at("path") +
                                  ":" + stream + " (" + row.at("flags") + ")";
        MftFile file;
        ASSERT_EQ(openMftFile(file, ntfs, std::stoull(row.at("record"))), kNtfsOk) << label;
        const AttributeDescriptor* data = findAttribute(file, ntfs.typeData, stream);
        ASSERT_NE(data, nullptr) << label;
        EXPECT_EQ(std::to_string(data->dataSize), row.at("size")) << label;
        EXPECT_EQ(readStream(file, ntfs, stream, data->dataSize), row.at("md5")) << label;
        if (row.at("flags").find("attrlist") != std::string::npos) {
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

// What `rekkon-cli cat` writes for the stream of a manifest row ("-": the unnamed one).
std::string catOutput(const std::string& image, const std::string& record,
                      const std::string& stream, int& status) {
    std::string command = std::string(REKKON_CLI_PATH) + " cat " + shellQuote(image) + " " + record;
    if (stream != "-") command += " --stream " + shellQuote(stream);
    return test::runCommand(command, status);
}

TEST_P(NtfsFixture, CatWritesEveryStreamWithItsMd5) {
    int compared = 0;
    for (const auto& row : test::readManifest(source(".manifest.tsv"))) {
        if (row.at("type") != "file") continue;
        int status = 0;
        const std::string got = catOutput(image(), row.at("record"), row.at("stream"), status);
        EXPECT_EQ(status, 0) << row.at("path");
        EXPECT_EQ(test::md5Hex(got), row.at("md5"))
            << row.at("state") << " " << row.at("record") << " " << row.at("path") << ":"
            << row.at("stream");
        ++compared;
    }
    EXPECT_GT(compared, 90);
}

// The icat address of every manifest row is in NAME.icat.tsv.
TEST_P(NtfsFixture, CatGivesTheSameBytesAsIcat) {
    if (!test::commandAvailable("icat")) GTEST_SKIP() << "The Sleuth Kit's icat is not installed";
    int compared = 0;
    for (const auto& row : test::readManifest(source(".icat.tsv"))) {
        const std::string address = row.at("icat_address");
        int icatStatus = 0, catStatus = 0;
        const std::string expected = test::runCommand(
            "icat " + shellQuote(image()) + " " + address + " 2>/dev/null", icatStatus);
        if (icatStatus != 0) continue;  // icat gives nothing to compare with
        const std::string got =
            catOutput(image(), address.substr(0, address.find('-')), row.at("stream"), catStatus);
        EXPECT_EQ(catStatus, 0) << row.at("path");
        EXPECT_EQ(test::md5Hex(got), test::md5Hex(expected))
            << row.at("state") << " " << address << " " << row.at("path") << ":"
            << row.at("stream");
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
