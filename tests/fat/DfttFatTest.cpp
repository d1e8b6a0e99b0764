// DFTT #6, a FAT16 volume made on Windows XP with six deleted files and a published answer table.
#include <gtest/gtest.h>

#include <map>

#include "recovery/RecoveryWriter.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/RecoverAll.h"

namespace rekkon {
namespace {

TEST(DfttFatTest, DeletedFilesMatchThePublishedAnswers) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(
        mountVolume(context, test::fixtureImage("fat/realworld/dftt-06/6-fat-undel.dd"), error),
        MountStatus::Mounted);
    ASSERT_EQ(scanVolume(context), 6);

    // Windows marks only the folder entries of a deleted folder; files inside keep their names.
    // Every entry carries the lower-case flags (byte 0x0C = 0x18), so names and folders are
    // shown in lower case, as the published paths have them.
    const std::map<std::string, std::string> listedAs = {
        {"\\sing.dat", "?ing.dat"},         {"\\mult1.dat", "?ult1.dat"},
        {"\\frag1.dat", "?rag1.dat"},       {"\\frag2.dat", "?rag2.dat"},
        {"\\dir1\\mult2.dat", "mult2.dat"}, {"\\dir1\\dir2\\frag3.dat", "frag3.dat"}};
    test::TempDir out;
    // A letter given for the lost first character follows the case of the rest of the name.
    const auto outcomes = test::recoverAllFound(context, out.path(), "S");

    int checked = 0;
    for (const auto& row : test::readManifest(
             test::fixtureSource("fat/realworld/dftt-06/6-fat-undel.dd.published.tsv"))) {
        if (row.at("md5") == "N/A") continue;
        const std::string name = listedAs.at(row.at("path"));
        const RecoveryOutcome* outcome = nullptr;
        for (const auto& o : outcomes)
            if (o.entry->name == name) outcome = &o;
        ASSERT_NE(outcome, nullptr) << name;
        EXPECT_EQ(outcome->entry->size, std::stoull(row.at("size"))) << name;
        EXPECT_EQ(outcome->entry->status, kStatusGood) << name;
        ASSERT_EQ(outcome->result, RecoveryResult::Written) << describeOutcome(*outcome);
        // Every cluster of this volume's deleted files is free, so a fragmented file comes back
        // as the published "read on from the first cluster" answer.
        const std::string expected = row.at("md5_if_assumed_contiguous") != "-"
                                         ? row.at("md5_if_assumed_contiguous")
                                         : row.at("md5");
        EXPECT_EQ(test::md5OfFile(outcome->outputPath), expected) << name;
        if (name == "?ing.dat") {
            EXPECT_EQ(outcome->outputPath, out.path() + "/sing.dat");
        }
        if (name == "frag3.dat") {
            EXPECT_EQ(outcome->entry->folder, "\\?ir1\\dir2");
        }
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}

}  // namespace
}  // namespace rekkon
