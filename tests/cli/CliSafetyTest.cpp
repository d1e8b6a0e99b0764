// rekkon-cli where things go wrong: output that cannot be written, a destination on the scanned
// device, and sources with unreadable sectors handed in through the device factory.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <streambuf>

#include "cli/Cli.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/Mounted.h"

namespace rekkon {
namespace {

const std::string kFat16 = test::fixtureImage("fat/fat16.img");
const std::string kNtfs = test::fixtureImage("ntfs/ntfs-512-4k.img");

// A standard output that takes nothing, like a full disk.
class RefusingBuffer final : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Bytes shared by every source the factory opens, with some sectors unreadable.
class SharedImage final : public SectorDevice {
  public:
    SharedImage(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::set<std::uint64_t> bad)
        : bytes_(std::move(bytes)), bad_(std::move(bad)) {}
    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        std::size_t done = 0;
        while (done + kSectorSize <= buffer.size() && !bad_.count(sector_) &&
               (sector_ + 1) * kSectorSize <= bytes_->size()) {
            std::copy_n(bytes_->begin() + static_cast<std::ptrdiff_t>(sector_ * kSectorSize),
                        kSectorSize, buffer.begin() + static_cast<std::ptrdiff_t>(done));
            done += kSectorSize;
            ++sector_;
        }
        return done;
    }
    std::optional<std::uint64_t> sizeBytes() const override { return bytes_->size(); }

  private:
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
    std::set<std::uint64_t> bad_;
    std::uint64_t sector_ = 0;
};

// A factory that opens every SOURCE as `bytes` in memory, with `bad` sectors unreadable.
SourceOpener memorySource(std::vector<std::uint8_t> bytes, std::set<std::uint64_t> bad = {}) {
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    return [shared, bad = std::move(bad)](const std::string&, int&) {
        return std::unique_ptr<SectorDevice>(std::make_unique<SharedImage>(shared, bad));
    };
}

TEST(CliOutputTest, OutputThatCannotBeWrittenExitsOne) {
    RefusingBuffer refusing;
    test::CliSetup setup;
    setup.out = &refusing;
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"list", kFat16},
                                               {"list", kFat16, "--format", "json"},
                                               {"info", kFat16},
                                               {"cat", kNtfs, "72", "--stream", "beta"},
                                               {"--help"}}) {
        const test::CliRun r = test::runCliInProcess(args, setup);
        EXPECT_EQ(r.status, cli::kExitOutput) << args[0];
        EXPECT_NE(r.err.find("could not write the output"), std::string::npos) << r.err;
    }
    EXPECT_NE(test::runCliInProcess({"--help"}).out.find("1 could not write the output"),
              std::string::npos);
}

TEST(CliOutputTest, TheRealProgramNoticesAFullDisk) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string cli = REKKON_CLI_PATH;
    int status = 0;
    test::runCommand(cli + " list " + kFat16 + " >/dev/full 2>/dev/null", status);
    EXPECT_EQ(status, cli::kExitOutput);
    test::runCommand(cli + " cat " + kNtfs + " 71 >/dev/full 2>/dev/null", status);
    EXPECT_EQ(status, cli::kExitOutput);
    const std::string err = test::runCommand(cli + " info " + kFat16 + " 2>&1 >/dev/full", status);
    EXPECT_EQ(status, cli::kExitOutput);
    EXPECT_NE(err.find("could not write the output"), std::string::npos) << err;
}

TEST(CliRecoverTest, AFileTheDestinationRefusesExitsOne) {
    test::TempDir dir;
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 50;  // writes past 50 bytes fail with EFBIG
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto r = test::runCliInProcess(
        {"recover", kFat16, "--to", dir.path(), "--first-char", "N", "--only", "123"});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(r.status, cli::kExitOutput);
    EXPECT_NE(r.out.find("failed ?EW.TXT: writing"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/NEW.TXT"));
}

TEST(CliRecoverTest, NothingIsCreatedOnTheScannedDevice) {
    test::TempDir dir;
    struct stat here {};
    ASSERT_EQ(::stat(dir.path().c_str(), &here), 0);
    // Pretend the source is the block device the temporary folder lives on.
    DeviceProbe probe;
    probe.stat = [source = kFat16, dev = here.st_dev](const std::string& path, struct stat& out) {
        if (path != source) return ::stat(path.c_str(), &out);
        out = {};
        out.st_mode = S_IFBLK | 0660;
        out.st_rdev = dev;
        return 0;
    };
    test::CliSetup setup;
    setup.deviceProbe = probe;
    const std::string to = dir.path() + "/NEW/SUB";
    const auto refused =
        test::runCliInProcess({"recover", kFat16, "--to", to, "--first-char", "N"}, setup);
    EXPECT_EQ(refused.status, cli::kExitUsage);
    EXPECT_NE(refused.err.find("the device being scanned"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/NEW"));

    const auto allowed = test::runCliInProcess({"recover", kFat16, "--to", to, "--first-char", "N",
                                                "--only", "123", "--allow-same-volume"},
                                               setup);
    EXPECT_EQ(allowed.status, cli::kExitOk) << allowed.err;
    EXPECT_TRUE(std::filesystem::exists(to + "/NEW.TXT"));
}

TEST(CliSourceTest, CommandsRunOverAnOpenedSourceAndReportUnreadableParts) {
    // The factory's source is all the commands read: the path given is not even a file.
    test::CliSetup setup;
    setup.openSource = memorySource(fileBytes(kFat16));
    const auto info = test::runCliInProcess({"info", "memory:fat16"}, setup);
    EXPECT_EQ(info.status, cli::kExitOk) << info.err;
    EXPECT_NE(info.out.find("File system: FAT16"), std::string::npos);

    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, kFat16, error), MountStatus::Mounted);
    const std::uint64_t sector = test::fatGeometryOf(context).clusterSector(123);
    setup.openSource = memorySource(fileBytes(kFat16), {sector});
    test::TempDir dir;
    const auto recovered = test::runCliInProcess(
        {"recover", "memory:fat16", "--to", dir.path(), "--first-char", "N", "--only", "123"},
        setup);
    EXPECT_EQ(recovered.status, cli::kExitSkipped);
    EXPECT_NE(recovered.out.find("100 bytes could not be read"), std::string::npos)
        << recovered.out;
    EXPECT_EQ(std::filesystem::file_size(dir.path() + "/NEW.TXT"), 100u);
}

TEST(CliSourceTest, CatZeroFillsUnreadableSectorsAndSaysHowMany) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, kNtfs, error), MountStatus::Mounted);
    MftFile file;
    ASSERT_EQ(openMftFile(file, test::ntfsOf(context), 72), kNtfsOk);
    const AttributeDescriptor* beta = findAttribute(file, test::ntfsOf(context).typeData, "beta");
    ASSERT_TRUE(beta && !beta->isResident && !beta->runs.empty());
    const std::uint64_t sector = static_cast<std::uint64_t>(beta->runs[0].lcn) *
                                     test::ntfsOf(context).bytesPerCluster / 512 +
                                 2;
    closeMftFile(file);

    test::CliSetup setup;
    setup.openSource = memorySource(fileBytes(kNtfs), {sector});
    const auto cat = test::runCliInProcess({"cat", "memory:ntfs", "72", "--stream", "beta"}, setup);
    EXPECT_EQ(cat.status, cli::kExitSkipped);
    EXPECT_NE(cat.err.find("512 of 8269 bytes could not be read"), std::string::npos) << cat.err;
    ASSERT_EQ(cat.out.size(), 8269u);
    const auto clean = test::runCliInProcess({"cat", kNtfs, "72", "--stream", "beta"});
    ASSERT_EQ(clean.status, cli::kExitOk);
    EXPECT_EQ(cat.out.substr(0, 1024), clean.out.substr(0, 1024));
    EXPECT_EQ(cat.out.substr(1024, 512), std::string(512, '\0'));
    EXPECT_EQ(cat.out.substr(1536), clean.out.substr(1536));
}

}  // namespace
}  // namespace rekkon
