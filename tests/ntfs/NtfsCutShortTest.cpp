// The NTFS scan of a copy cut short inside the MFT: the records past the end of the source are
// counted as unreadable sectors, so that the list is known to miss files, and the records before
// the cut are listed as from the whole copy.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "volume/MemorySectorDevice.h"

namespace rekkon {
namespace {

struct Scanned {
    std::set<std::uint64_t> locations;
    std::uint64_t unreadableAfterMount = 0;
    std::uint64_t unreadableAfterScan = 0;
};

Scanned scan(const std::vector<std::uint8_t>& bytes) {
    ScanContext context;
    Scanned s;
    if (mountVolume(context, std::make_unique<MemorySectorDevice>(bytes)) != MountStatus::Mounted) {
        ADD_FAILURE() << "not mounted";
        return s;
    }
    s.unreadableAfterMount = context.volume.reader.unreadableSectors();
    EXPECT_GE(scanVolume(context), 0);
    for (const DeletedFileEntry& e : context.foundList)
        s.locations.insert(e.location);
    s.unreadableAfterScan = context.volume.reader.unreadableSectors();
    return s;
}

TEST(NtfsCutShort, RecordsPastTheEndOfTheSourceCountAsUnreadable) {
    std::ifstream in(test::fixtureImage("ntfs/ntfs-512-4k.img"), std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    const Scanned whole = scan(bytes);
    EXPECT_EQ(whole.unreadableAfterScan, 0u);

    // $MFT at cluster 4 (4096-byte clusters), 125 records of 1024 bytes: the copy ends after
    // record 89 and holds 106 records' worth of bytes. Records 90 to 108 are in use; the deleted
    // files of 109 to 124 lie beyond what the copy can hold.
    bytes.resize(4 * 4096 + 90 * 1024);
    const Scanned cut = scan(bytes);
    std::set<std::uint64_t> before;
    for (const std::uint64_t location : whole.locations)
        if (location < 90) before.insert(location);
    ASSERT_LT(before.size(), whole.locations.size());
    EXPECT_EQ(cut.locations, before);
    EXPECT_GT(cut.unreadableAfterScan, cut.unreadableAfterMount);
}

}  // namespace
}  // namespace rekkon
