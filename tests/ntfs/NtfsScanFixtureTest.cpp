// The answer file of the scan volume (ntfs-scan-4k) against the image, through the record
// reader: each row's record header, chosen $FILE_NAME, $STANDARD_INFORMATION times, stream
// sizes, bytes where the clusters are intact and estimates against the cluster bitmap; and the
// records that must not be listed (a nameless deleted file and its extension records).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsEstimate.h"
#include "ntfs/NtfsMount.h"
#include "ntfs/NtfsVolume.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "volume/TextEncoding.h"

namespace rekkon {
namespace {

std::uint64_t le(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = (value << 8) | bytes.at(offset + i);
    return value;
}

// The whole of one attribute's data, read in pieces that start inside clusters and units.
std::vector<std::uint8_t> readWhole(MftFile& file, std::uint32_t type, const std::string& name,
                                    std::uint64_t size) {
    std::vector<std::uint8_t> data, piece(5000);
    while (data.size() < size) {
        TransferRequest request{true, piece.data(), piece.size()};
        if (readAttribute(file, type, name, data.size(), request) != kNtfsOk || request.count == 0)
            break;
        data.insert(data.end(), piece.begin(),
                    piece.begin() + static_cast<std::ptrdiff_t>(request.count));
    }
    data.resize(std::min<std::size_t>(data.size(), size));
    return data;
}

struct FileNameValue {
    std::uint64_t parentRecord = 0;
    std::uint64_t parentSequence = 0;
    unsigned nameSpace = 0;
    std::string name;
    std::size_t units = 0;
};

// The longest of the file's $FILE_NAME values (the first of equal length).
bool longestFileName(const MftFile& file, const NtfsVolume& ntfs, FileNameValue& out) {
    bool found = false;
    for (const AttributeDescriptor& a : file.attributes) {
        if (a.typeCode != ntfs.typeFileName || a.content.size() < 66) continue;
        const std::size_t units = a.content[64];
        if (a.content.size() < 66 + 2 * units || (found && units <= out.units)) continue;
        std::vector<std::uint16_t> name(units);
        for (std::size_t i = 0; i < units; ++i)
            name[i] = static_cast<std::uint16_t>(le(a.content, 66 + 2 * i, 2));
        const std::uint64_t parent = le(a.content, 0, 8);
        out = {parent & kRecordNumberMask, parent >> 48, a.content[65], utf16ToUtf8(name), units};
        found = true;
    }
    return found;
}

std::string baseName(const std::string& name, const std::string& stream) {
    return stream == "-" ? name : name.substr(0, name.size() - stream.size() - 1);
}

TEST(NtfsScanFixture, AnswerFileAgreesWithTheImage) {
    VolumeContext context;
    NtfsVolume ntfs;
    ASSERT_EQ(mountNtfs(context, ntfs, test::fixtureImage("ntfs/ntfs-scan-4k.img")), 1);

    MftFile bitmapFile;
    ASSERT_EQ(openMftFile(bitmapFile, ntfs, 6), kNtfsOk);
    const AttributeDescriptor* bitmapData = findAttribute(bitmapFile, ntfs.typeData);
    ASSERT_NE(bitmapData, nullptr);
    const std::vector<std::uint8_t> bitmap =
        readWhole(bitmapFile, ntfs.typeData, "", bitmapData->dataSize);
    ASSERT_EQ(bitmap.size(), bitmapData->dataSize);

    std::vector<std::uint8_t> record(ntfs.mftRecordSize);
    std::set<std::string> statuses;
    int deletedStreams = 0, unlisted = 0;
    for (const auto& row :
         test::readManifest(test::fixtureSource("ntfs/ntfs-scan-4k.expected.tsv"))) {
        const std::uint64_t number = std::stoull(row.at("record"));
        const std::string label = row.at("state") + " " + row.at("record") + " " + row.at("name");
        ASSERT_EQ(readMftRecord(ntfs, number, record), 0) << label;
        EXPECT_EQ(std::to_string(le(record, 0x10, 2)), row.at("sequence")) << label;
        EXPECT_EQ((le(record, 0x16, 2) & 1) != 0, row.at("state") == "live") << label;
        if (row.at("type") == "extension") {  // flags "extension,base=N"
            const std::string& flags = row.at("flags");
            EXPECT_EQ(std::to_string(le(record, 0x20, 8) & kRecordNumberMask),
                      flags.substr(flags.find('=') + 1))
                << label;
            ++unlisted;
            continue;
        }
        EXPECT_EQ(le(record, 0x20, 8), 0u) << label << ": a base record";

        MftFile file;
        ASSERT_EQ(openMftFile(file, ntfs, number), kNtfsOk) << label;
        FileNameValue fileName;
        const bool named = longestFileName(file, ntfs, fileName);
        if (row.at("state") == "unlisted") {  // a deleted file that lost its name
            EXPECT_FALSE(named) << label;
            EXPECT_NE(findAttribute(file, ntfs.typeData), nullptr) << label;
            ++unlisted;
            continue;
        }
        ASSERT_TRUE(named) << label;
        EXPECT_EQ(fileName.name, baseName(row.at("name"), row.at("stream"))) << label;
        EXPECT_EQ(std::to_string(fileName.parentRecord), row.at("parentRecord")) << label;
        EXPECT_EQ(std::to_string(fileName.parentSequence), row.at("parentSequence")) << label;
        EXPECT_EQ(std::to_string(fileName.nameSpace), row.at("namespace")) << label;
        EXPECT_EQ((le(record, 0x16, 2) & 2) != 0, row.at("type") == "dir") << label;

        const AttributeDescriptor* info = findAttribute(file, ntfs.typeStandardInformation);
        ASSERT_TRUE(info != nullptr && info->content.size() >= 32) << label;
        EXPECT_EQ(std::to_string(le(info->content, 0, 8)), row.at("createFiletime")) << label;
        EXPECT_EQ(std::to_string(le(info->content, 8, 8)), row.at("modifyFiletime")) << label;
        EXPECT_EQ(std::to_string(le(info->content, 16, 8)), row.at("mftModifyFiletime")) << label;
        EXPECT_EQ(std::to_string(le(info->content, 24, 8)), row.at("accessFiletime")) << label;
        if (row.at("type") != "file") continue;

        const std::string stream = row.at("stream") == "-" ? "" : row.at("stream");
        const AttributeDescriptor* data = findAttribute(file, ntfs.typeData, stream);
        ASSERT_NE(data, nullptr) << label;
        EXPECT_EQ(std::to_string(data->dataSize), row.at("size")) << label;
        if (row.at("state") == "deleted") {
            const unsigned estimate =
                data->isResident ? kEstimateGood : estimateFromBitmap(bitmap, data->runs);
            EXPECT_EQ(std::to_string(estimate), row.at("expectedStatus")) << label;
            statuses.insert(row.at("expectedStatus"));
            ++deletedStreams;
        }
        // Clusters a later file took hold that file's bytes now.
        if (row.at("state") == "live" || row.at("expectedStatus") == "255") {
            EXPECT_EQ(test::md5Hex(readWhole(file, ntfs.typeData, stream, data->dataSize)),
                      row.at("md5"))
                << label;
        }
    }
    EXPECT_EQ(deletedStreams, 36);
    EXPECT_EQ(unlisted, 14);
    // Intact, wholly and partly reused clusters are all there.
    EXPECT_TRUE(statuses.count("255") && statuses.count("0") && statuses.size() == 3);
    unmountNtfs(context, ntfs);
}

}  // namespace
}  // namespace rekkon
