// A file system of the test's own, registered through the table, works in list, recover and info
// with nothing changed outside the test.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/CliRunner.h"
#include "support/Fixtures.h"
#include "support/ToyFileSystem.h"

namespace rekkon {
namespace {

std::string writeToyImage(const test::TempDir& dir) {
    const std::string path = dir.path() + "/toy.img";
    const std::vector<std::uint8_t> bytes = test::toyVolume();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ToyFileSystemTest, PlugsInThroughTheTable) {
    const test::ToyRegistration toy;
    test::TempDir dir;
    const std::string image = writeToyImage(dir);

    const test::CliRun info = test::runCliInProcess({"info", image});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("File system: TOYFS\nVolume label: toy\nEntries: 3\n"),
              std::string::npos)
        << info.out;

    const test::CliRun list = test::runCliInProcess({"list", image, "--format", "csv"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\r\n1,GONE.TXT,11,"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(",toy-entry,,\r\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("LIVE.TXT"), std::string::npos) << "live files are not listed";

    const std::string out = dir.path() + "/out";
    const test::CliRun recover =
        test::runCliInProcess({"recover", image, "--to", out, "--only", "toy-entry:1"});
    EXPECT_EQ(recover.status, 0) << recover.err;
    EXPECT_EQ(fileText(out + "/GONE.TXT"), "hello, toy\n");
    EXPECT_EQ(fileText(out + "/PHOTO.JPG"), "") << "--only left it out";
}

}  // namespace
}  // namespace rekkon
