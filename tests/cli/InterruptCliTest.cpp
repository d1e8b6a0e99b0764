// rekkon-cli stopped by a signal. During recover's copying what it left unfinished is removed,
// and it ends by the signal: the real program runs on an NTFS image whose deleted file holds an
// 8 TiB hole, which a report takes hours to hash. During a scan the scan stops: list prints what
// it found, recover writes nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "ntfs/NtfsBuilder.h"
#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ImageBuilder;

// A deleted record 20, "huge.bin" in the root, with 4 stored clusters and then `hole` bytes of
// hole.
Bytes imageWithHole(std::uint64_t hole) {
    ImageBuilder builder;
    const std::u16string name = u"huge.bin";
    Bytes fileName(0x42 + 2 * name.size(), 0);
    test::put64(fileName, 0x00, 5 | std::uint64_t{5} << 48);  // the root folder
    test::put32(fileName, 0x38, 0x20);
    fileName[0x40] = static_cast<std::uint8_t>(name.size());
    fileName[0x41] = 1;
    for (std::size_t i = 0; i < name.size(); ++i)
        test::put16(fileName, 0x42 + 2 * i, name[i]);
    const std::uint64_t clusters = 4 + hole / ImageBuilder::kCluster;
    const std::uint64_t size = clusters * ImageBuilder::kCluster;
    const test::NonResident sizes{0, clusters - 1, size, size, size, 0};
    Bytes record = test::fileRecord(
        {test::residentAttribute(0x30, u"", fileName),
         test::nonResidentAttribute(0x80, u"", sizes,
                                    test::mappingPairs({{96, 4}, {-1, clusters - 4}}))});
    test::put16(record, 0x10, 2);  // sequence 2, flags 0: deleted
    test::put16(record, 0x16, 0);
    builder.setRecord(20, record);
    return builder.image();
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(InterruptCli, AnInterruptedRecoveryLeavesNoReportAndEndsByTheSignal) {
    test::TempDir dir;
    const std::string image = dir.path() + "/hole.img";
    const Bytes bytes = imageWithHole(8ULL << 40);
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string out = dir.path() + "/out";
    const std::string report = dir.path() + "/report.json";
    const std::string err = dir.path() + "/err.txt";

    for (const int signal : {SIGINT, SIGTERM}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, STDERR_FILENO);
            ::dup2(fd, STDOUT_FILENO);
            ::execl(REKKON_CLI_PATH, REKKON_CLI_PATH, "recover", image.c_str(), "--to", out.c_str(),
                    "--report", report.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // The report is created just before the copy starts.
        const bool started = waitFor([&] { return fs::exists(report); }, std::chrono::seconds(30));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, signal);
        int status = 0;
        const bool ended = waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                                   std::chrono::seconds(30));
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        std::ifstream in(err);
        const std::string said(std::istreambuf_iterator<char>(in), {});
        ASSERT_TRUE(started) << said;
        ASSERT_TRUE(ended) << "still hashing the hole";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << said;
        EXPECT_FALSE(fs::exists(report)) << "an unfinished report blocks the next run";
        EXPECT_TRUE(fs::is_empty(out)) << "nothing is left of the file being copied";
        EXPECT_NE(said.find("interrupted"), std::string::npos) << said;
    }
}

// fat16.img, which raises SIGINT in the reading process when the scan first reads the folder
// LETTERS (cluster 122 at sector 100 + 120 * 4), after the root's other files and \DOCS.
class SignallingImage final : public SectorDevice {
  public:
    explicit SignallingImage(std::vector<std::uint8_t> bytes) : inner_(std::move(bytes)) {}
    void seekSector(std::uint64_t sector) override {
        sector_ = sector;
        inner_.seekSector(sector);
    }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        constexpr std::uint64_t kLetters = 580;
        if (sector_ <= kLetters && kLetters < sector_ + buffer.size() / kSectorSize)
            std::raise(SIGINT);
        return inner_.readSectors(buffer);
    }
    std::optional<std::uint64_t> sizeBytes() const override { return inner_.sizeBytes(); }

  private:
    test::MemoryDevice inner_;
    std::uint64_t sector_ = 0;
};

extern "C" void ignoreInTest(int) {}

TEST(InterruptCli, SigintDuringTheScanEndsListWithWhatItFoundAndRecoverWithNothing) {
    // Should the command not catch the signal, this handler keeps the test process alive.
    struct sigaction quiet {
    }, previous{};
    quiet.sa_handler = ignoreInTest;
    sigemptyset(&quiet.sa_mask);
    sigaction(SIGINT, &quiet, &previous);
    std::ifstream in(test::fixtureImage("fat/fat16.img"), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    test::CliSetup setup;
    setup.openSource = [&bytes](const std::string&, int&) {
        return std::unique_ptr<SectorDevice>(std::make_unique<SignallingImage>(bytes));
    };

    const test::CliRun list =
        test::runCliInProcess({"list", "card.img", "--format", "json"}, setup);
    EXPECT_EQ(list.status, cli::kExitInterrupted) << list.err;
    // A whole JSON document of the files found before the stop: those of the root and \DOCS.
    const auto rows = nlohmann::json::parse(list.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << list.out;
    std::set<std::string> folders;
    for (const auto& row : rows)
        folders.insert(row.at("folder").get<std::string>());
    EXPECT_EQ(folders, (std::set<std::string>{"\\", "\\DOCS", "\\DOCS\\Project Notes 2021"}))
        << list.out;
    EXPECT_NE(list.err.find("interrupted; the list is incomplete (" + std::to_string(rows.size()) +
                            " deleted files found so far)"),
              std::string::npos)
        << list.err;

    test::TempDir dir;
    const std::string out = dir.path() + "/out";
    const test::CliRun recover =
        test::runCliInProcess({"recover", "card.img", "--to", out, "--first-char", "_"}, setup);
    EXPECT_EQ(recover.status, cli::kExitInterrupted) << recover.err;
    EXPECT_FALSE(fs::exists(out)) << "nothing is written after an interrupted scan";
    EXPECT_NE(recover.err.find("nothing was written"), std::string::npos) << recover.err;
    sigaction(SIGINT, &previous, nullptr);
}

}  // namespace
}  // namespace rekkon
