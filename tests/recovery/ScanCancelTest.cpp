// Scans stopped through the context's cancel flag: each file system stops at its next check and
// keeps what it found, the outcome says the list is incomplete, and the next scan runs whole.
#include <gtest/gtest.h>

#include <string>

#include "recovery/ScanContext.h"
#include "support/Fixtures.h"

namespace rekkon {
namespace {

struct Case {
    const char* image;
    bool deep;
    // A progress text holding this makes the scan's progress sink request the stop.
    const char* stopAt;
    int foundBeforeStop;  // files listed by then, kept after the stop (-1: those of a plain scan)
};

TEST(ScanCancelTest, ACancelledScanKeepsWhatItFoundAndSaysSo) {
    const Case cases[] = {
        {"fat/fat16.img", false, "Found 2 deleted files", 2},
        {"ntfs/ntfs-512-4k.img", false, "Found 2 deleted files", 2},
        // Stopped as the search of free space begins: the folder walk's files are kept.
        {"fat/fat16-lost.img", true, "Searching free space", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        ScanContext context;
        int error = 0;
        ASSERT_EQ(mountVolume(context, test::fixtureImage(c.image), error), MountStatus::Mounted);
        const int plain = scanVolume(context);
        const ScanOptions options{.deep = c.deep};
        const int whole = scanVolume(context, "", {}, options);
        const int foundBeforeStop = c.foundBeforeStop < 0 ? plain : c.foundBeforeStop;
        ASSERT_GT(whole, foundBeforeStop);
        EXPECT_FALSE(context.lastScan.cancelled);

        const std::string stopAt = c.stopAt;
        context.progress = [&context, &stopAt](const std::string& text) {
            if (text.find(stopAt) != std::string::npos) context.cancel.request();
        };
        EXPECT_EQ(scanVolume(context, "", {}, options), foundBeforeStop);
        EXPECT_TRUE(context.lastScan.cancelled);

        // A flag left set by the stopped scan does not stop the next one.
        context.progress = nullptr;
        EXPECT_EQ(scanVolume(context, "", {}, options), whole);
        EXPECT_FALSE(context.lastScan.cancelled);
    }
}

}  // namespace
}  // namespace rekkon
