// Recovered NTFS data keeps its holes: the output holds the same bytes, takes little space on a
// file system with holes, and keeps its length when it ends in a hole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "ntfs/NtfsBuilder.h"
#include "recovery/DataCopy.h"
#include "recovery/FileData.h"
#include "recovery/RecoveryWriter.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::ImageBuilder;

constexpr std::uint64_t kCs = ImageBuilder::kCluster;
constexpr std::uint64_t kMiB = 1 << 20;

struct NeverAsked final : FirstCharAsker {
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        return std::nullopt;
    }
};

// Whether files in `folder` can have holes: a file made long by its length alone takes no space.
bool holesSupported(const std::string& folder) {
    const std::string path = folder + "/.hole-probe";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    struct stat st {};
    const bool sparse = ::ftruncate(fd, kMiB) == 0 && ::fstat(fd, &st) == 0 &&
                        static_cast<std::uint64_t>(st.st_blocks) * 512 < kMiB;
    ::close(fd);
    ::unlink(path.c_str());
    return sparse;
}

struct FileSpace {
    std::uint64_t length = 0;
    std::uint64_t allocated = 0;
};
FileSpace spaceOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {static_cast<std::uint64_t>(st.st_size), static_cast<std::uint64_t>(st.st_blocks) * 512};
}

Bytes pread(const std::string& path, std::uint64_t at, std::size_t n) {
    Bytes bytes(n);
    const int fd = ::open(path.c_str(), O_RDONLY);
    const ssize_t got = fd < 0 ? -1 : ::pread(fd, bytes.data(), n, static_cast<off_t>(at));
    if (fd >= 0) ::close(fd);
    bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return bytes;
}

// A volume whose record 20 holds `runs` (clusters from kFirstDataCluster on hold a pattern).
struct SparseVolume {
    SparseVolume(const std::vector<test::Run>& runs, std::uint64_t dataSize,
                 std::uint64_t initialized) {
        ImageBuilder builder;
        Bytes pattern((ImageBuilder::kAttrDefCluster - ImageBuilder::kFirstDataCluster) * kCs);
        for (std::size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = static_cast<std::uint8_t>(i * 7 + i / 509 + 1);
        builder.put(ImageBuilder::kFirstDataCluster, pattern);
        std::uint64_t clusters = 0;
        for (const test::Run& r : runs)
            clusters += r.length;
        const test::NonResident sizes{0, clusters - 1, clusters * kCs, dataSize, initialized, 0};
        builder.setRecord(20, test::fileRecord({test::nonResidentAttribute(
                                  0x80, u"", sizes, test::mappingPairs(runs))}));
        mounted = mountVolume(context, std::make_unique<test::MemoryDevice>(builder.image())) ==
                  MountStatus::Mounted;
        entry.location = 20;
        entry.size = dataSize;
        entry.name = "sparse.bin";
    }
    ~SparseVolume() { unmountVolume(context); }

    RecoveryOutcome recover(const std::string& folder, PendingMethod method = PendingMethod::Auto) {
        RecoveryOptions options;
        options.method = method;
        return recover(folder, options);
    }
    RecoveryOutcome recover(const std::string& folder, RecoveryOptions options) {
        NeverAsked asker;
        options.destination = folder;
        const auto outcomes = recoverEntries(context, {&entry}, options, asker);
        return outcomes.empty() ? RecoveryOutcome{} : outcomes[0];
    }
    // The first `size` bytes as the copy gives them without passing over holes.
    std::string bytesAtStart(std::uint64_t size) {
        std::string bytes;
        auto data = openFileData(context, 20, 0);
        if (!data) return bytes;
        copyFileData(*data, std::min(size, data->size()), kMiB,
                     [&](std::span<const std::uint8_t> b) {
                         bytes.append(b.begin(), b.end());
                         return true;
                     });
        return bytes;
    }

    ScanContext context;
    DeletedFileEntry entry;
    bool mounted = false;
};

class SparseRecovery : public ::testing::TestWithParam<PendingMethod> {};

TEST_P(SparseRecovery, HolesStayHolesAndTheBytesAndLengthAreKept) {
    // Stored, hole, stored, then a hole at the end that is not a whole number of clusters.
    const std::uint64_t dataSize = (8 + 16384 + 4 + 4096) * kCs - 300;
    SparseVolume volume({{96, 8}, {-1, 16384}, {104, 4}, {-1, 4096}}, dataSize, dataSize);
    ASSERT_TRUE(volume.mounted);
    const std::string expected = volume.bytesAtStart(dataSize);
    ASSERT_EQ(expected.size(), dataSize);

    test::TempDir out;
    const RecoveryOutcome o = volume.recover(out.path(), GetParam());
    ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
    EXPECT_EQ(o.bytesWritten, dataSize);
    EXPECT_EQ(test::md5OfFile(o.outputPath), test::md5Hex(expected));
    const FileSpace space = spaceOf(o.outputPath);
    EXPECT_EQ(space.length, dataSize);
    if (holesSupported(out.path())) {
        EXPECT_LT(space.allocated, kMiB) << "of " << dataSize << " bytes";
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1)
        << "only the recovered file is left";
}

INSTANTIATE_TEST_SUITE_P(Methods, SparseRecovery,
                         ::testing::Values(PendingMethod::Auto, PendingMethod::HiddenName),
                         [](const auto& param) {
                             return param.param == PendingMethod::Auto ? std::string("Auto")
                                                                       : std::string("Hidden");
                         });

TEST(SparseRecoveryTest, AGibibyteHoleTakesNoSpace) {
    // 4 stored clusters of which 1000 bytes are initialized, then 1 GiB of sparse clusters.
    const std::uint64_t dataSize = 4 * kCs + (1ULL << 30);
    SparseVolume volume({{96, 4}, {-1, (1ULL << 30) / kCs}}, dataSize, 1000);
    ASSERT_TRUE(volume.mounted);
    test::TempDir out;
    const RecoveryOutcome o = volume.recover(out.path());
    ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
    const FileSpace space = spaceOf(o.outputPath);
    EXPECT_EQ(space.length, dataSize);
    if (holesSupported(out.path())) {
        EXPECT_LT(space.allocated, kMiB);
    }
    const Bytes head = pread(o.outputPath, 0, 4 * kCs);
    const std::string stored = volume.bytesAtStart(1000);
    ASSERT_EQ(head.size(), 4 * kCs);
    EXPECT_EQ(std::string(head.begin(), head.begin() + 1000), stored);
    EXPECT_EQ(Bytes(head.begin() + 1000, head.end()), Bytes(4 * kCs - 1000, 0));
    EXPECT_EQ(pread(o.outputPath, dataSize - 4096, 8192), Bytes(4096, 0));
}

TEST(SparseRecoveryTest, AHoleIsHashedInPiecesThatACancelCanStop) {
    // 16 MiB of hole after 4 stored clusters: hashed as its zeros, progress told piece by piece.
    const std::uint64_t dataSize = 4 * kCs + 16 * kMiB;
    SparseVolume volume({{96, 4}, {-1, 16 * kMiB / kCs}}, dataSize, dataSize);
    ASSERT_TRUE(volume.mounted);
    test::TempDir out;
    RecoveryOptions options;
    options.hashes = true;
    int steps = 0;
    options.copied = [&steps](std::uint64_t) { ++steps; };
    const RecoveryOutcome o = volume.recover(out.path(), options);
    ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
    EXPECT_EQ(o.md5, test::md5OfFile(o.outputPath));
    EXPECT_GE(steps, 16);

    // 8 TiB of hole, which takes hours to hash: a cancel stops it within a few pieces.
    const std::uint64_t hugeSize = 4 * kCs + (8ULL << 40);
    SparseVolume huge({{96, 4}, {-1, (8ULL << 40) / kCs}}, hugeSize, hugeSize);
    ASSERT_TRUE(huge.mounted);
    test::TempDir hugeOut;
    int asked = 0;
    options.cancelled = [&asked] { return ++asked > 40; };
    const RecoveryOutcome stopped = huge.recover(hugeOut.path(), options);
    EXPECT_EQ(stopped.result, RecoveryResult::Cancelled) << describeOutcome(stopped);
    EXPECT_TRUE(std::filesystem::is_empty(hugeOut.path()));
}

// Restricts the size of files this process may make, as a destination with a size limit would.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::uint64_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousSignal_ = ::signal(SIGXFSZ, SIG_IGN);  // report EFBIG instead of ending
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previousSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    sighandler_t previousSignal_ = SIG_DFL;
};

TEST(SparseRecoveryTest, ALengthTheDestinationRefusesIsAWriteFailure) {
    // Data, then a hole to the end: the hole is passed over, and the length is set last.
    const std::uint64_t dataSize = (8 + 8192) * kCs;
    SparseVolume volume({{96, 8}, {-1, 8192}}, dataSize, dataSize);
    ASSERT_TRUE(volume.mounted);
    test::TempDir out;
    RecoveryOutcome o;
    {
        FileSizeLimit limit(kMiB);
        o = volume.recover(out.path());
    }
    EXPECT_EQ(o.result, RecoveryResult::WriteFailed) << describeOutcome(o);
    EXPECT_EQ(o.error, EFBIG);
    EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "nothing is left under the name";
}

TEST(SparseRecoveryTest, TheFixtureSparseFileIsSparseOnDisk) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, test::fixtureImage("ntfs/ntfs-512-4k.img"), error),
              MountStatus::Mounted);
    DeletedFileEntry entry;
    entry.location = 71;
    entry.size = kMiB;
    entry.name = "sparse.bin";
    test::TempDir out;
    NeverAsked asker;
    RecoveryOptions options;
    options.destination = out.path();
    const auto outcomes = recoverEntries(context, {&entry}, options, asker);
    ASSERT_EQ(outcomes.size(), 1u);
    const RecoveryOutcome& o = outcomes[0];
    ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
    EXPECT_EQ(test::md5OfFile(o.outputPath), "fa6590cdd23c93682b6c9710b6a888f9");
    const FileSpace space = spaceOf(o.outputPath);
    EXPECT_EQ(space.length, kMiB);
    if (holesSupported(out.path())) {
        EXPECT_LT(space.allocated, kMiB / 2);
    }
    unmountVolume(context);
}

}  // namespace
}  // namespace rekkon
