// Files being written stay out of sight until complete and never replace an existing file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "recovery/OutputFile.h"
#include "recovery/OutputName.h"
#include "support/Fixtures.h"

namespace rekkon {
namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& f : std::filesystem::directory_iterator(folder))
        names.push_back(f.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PendingFileTest : public ::testing::TestWithParam<PendingMethod> {};

TEST_P(PendingFileTest, ANameTakenWhileWritingIsNotReplaced) {
    test::TempDir dir;
    int error = 0;
    auto file = PendingFile::create(dir.path(), error, GetParam());
    ASSERT_TRUE(file) << std::strerror(error);
    if (GetParam() == PendingMethod::HiddenName) {
        EXPECT_FALSE(file->unnamed());
    }
    ASSERT_EQ(::write(file->fd(), "new", 3), 3);
    // Until it is published, nothing shows under a name that could pass for the result.
    for (const std::string& name : namesIn(dir.path()))
        EXPECT_EQ(name.rfind(".rekkon-", 0), 0u) << name;
    // Another writer takes the name meanwhile.
    std::ofstream(dir.path() + "/A.TXT") << "theirs";
    std::string path;
    ASSERT_TRUE(file->publish("A.TXT", path, error)) << std::strerror(error);
    EXPECT_EQ(path, dir.path() + "/A(1).TXT");
    EXPECT_EQ(contentOf(dir.path() + "/A.TXT"), "theirs");
    EXPECT_EQ(contentOf(path), "new");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"A(1).TXT", "A.TXT"}));
}

TEST_P(PendingFileTest, AnUnpublishedFileLeavesNothing) {
    test::TempDir dir;
    int error = 0;
    {
        auto file = PendingFile::create(dir.path(), error, GetParam());
        ASSERT_TRUE(file);
        ASSERT_EQ(::write(file->fd(), "partial", 7), 7);
    }
    EXPECT_TRUE(namesIn(dir.path()).empty());
    // Every name taken: publish fails with EEXIST and leaves nothing of its own.
    std::ofstream(dir.path() + "/B") << "x";
    for (int n = 1; n <= kMaxNumberedNames; ++n)
        std::ofstream(dir.path() + "/" + numberedName("B", n)) << "x";
    EXPECT_FALSE(someNameFree(dir.path(), "B"));
    auto file = PendingFile::create(dir.path(), error, GetParam());
    ASSERT_TRUE(file);
    std::string path;
    EXPECT_FALSE(file->publish("B", path, error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(namesIn(dir.path()).size(), 1u + kMaxNumberedNames);
    EXPECT_EQ(contentOf(dir.path() + "/B"), "x");
}

INSTANTIATE_TEST_SUITE_P(Methods, PendingFileTest,
                         ::testing::Values(PendingMethod::Auto, PendingMethod::HiddenName),
                         [](const auto& param) {
                             return param.param == PendingMethod::Auto ? std::string("Auto")
                                                                       : std::string("Hidden");
                         });

TEST(OutputFileTest, AFolderThatCannotTakeFilesIsReported) {
    int error = 0;
    EXPECT_FALSE(PendingFile::create("/nonexistent/folder", error));
    EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace rekkon
