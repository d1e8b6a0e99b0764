// The recovery writer on an NTFS volume made by mkntfs and ntfs-3g: records are read through
// their data attributes, named streams are written as "file-stream", and no name is asked for.
#include <gtest/gtest.h>

#include "recovery/FileData.h"
#include "recovery/RecoveryWriter.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

struct NeverAsked final : FirstCharAsker {
    std::optional<FirstCharAnswer> ask(const std::string&) override {
        ADD_FAILURE() << "NTFS names are whole";
        return std::nullopt;
    }
};

TEST(NtfsRecoveryTest, RecordsAndStreamsAreWrittenWithTheirBytes) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, test::fixtureImage("ntfs/ntfs-512-4k.img"), error),
              MountStatus::Mounted);
    EXPECT_EQ(context.volume.kind, FileSystemKind::Ntfs);
    EXPECT_EQ(scanVolume(context), kScanNotAvailable);

    std::vector<DeletedFileEntry> entries;
    std::map<std::string, std::string> md5ByOutput;
    for (const auto& row :
         test::readManifest(test::fixtureSource("ntfs/ntfs-512-4k.manifest.tsv"))) {
        const std::string record = row.at("record");
        if (row.at("type") != "file" || (record != "70" && record != "71" && record != "73"))
            continue;
        DeletedFileEntry e;
        e.location = std::stoull(record);
        e.size = std::stoull(row.at("size"));
        e.name = row.at("path") + (row.at("stream") == "-" ? "" : ":" + row.at("stream"));
        entries.push_back(e);
        md5ByOutput[row.at("path") + (row.at("stream") == "-" ? "" : "-" + row.at("stream"))] =
            row.at("md5");
    }
    ASSERT_EQ(entries.size(), 5u);  // fragmented, sparse, and a deleted file with two streams
    std::vector<const DeletedFileEntry*> pointers;
    for (const auto& e : entries)
        pointers.push_back(&e);
    test::TempDir out;
    NeverAsked asker;
    RecoveryOptions options;
    options.destination = out.path();
    options.chunkBytes = 4096;
    for (const auto& o : recoverEntries(context, pointers, options, asker)) {
        ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
        const std::string name = o.outputPath.substr(out.path().size() + 1);
        EXPECT_EQ(test::md5OfFile(o.outputPath), md5ByOutput.at(name)) << name;
    }
    EXPECT_FALSE(openFileData(context, 1ULL << 40, 1)) << "a record past the MFT cannot be opened";
}

}  // namespace
}  // namespace rekkon
