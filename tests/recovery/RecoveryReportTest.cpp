// The report file: written whole or not left behind, and never another file in its place.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "recovery/RecoveryReport.h"
#include "support/Fixtures.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ReportFileTest, AReportNotWrittenWholeIsRemovedButNeverAnotherFile) {
    test::TempDir dir;
    const std::string path = dir.path() + "/report.json";
    int error = 0;
    {
        // Created, then abandoned: the recovery was cancelled, interrupted or failed.
        auto file = ReportFile::create(path, error);
        ASSERT_TRUE(file) << error;
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path)) << "an empty report would block the next run";
    {
        // The name now leads to another file: that one stays.
        auto file = ReportFile::create(path, error);
        ASSERT_TRUE(file);
        fs::rename(path, dir.path() + "/moved.json");
        std::ofstream(path) << "other";
    }
    EXPECT_EQ(contentOf(path), "other");
    fs::remove(path);
    {
        // A write the destination refuses (a file-size limit here) leaves nothing.
        auto file = ReportFile::create(path, error);
        ASSERT_TRUE(file);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = file->write(std::string(4096, ' '), error);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previous);
        EXPECT_FALSE(written);
        EXPECT_EQ(error, EFBIG);
        EXPECT_FALSE(fs::exists(path));
    }
    auto file = ReportFile::create(path, error);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->write("[]\n", error));
    file.reset();
    EXPECT_EQ(contentOf(path), "[]\n") << "a written report stays";
}

}  // namespace
}  // namespace rekkon
