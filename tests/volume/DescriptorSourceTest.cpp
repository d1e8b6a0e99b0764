// A source taken over as an open descriptor, as a privileged service hands one over: it must be
// read-only, and it is closed with the source or at once when refused.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <fstream>

#include "support/Fixtures.h"
#include "volume/SectorDevice.h"

namespace rekkon {
namespace {

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(DescriptorSource, ReadsAReadOnlyDescriptorAndClosesIt) {
    test::TempDir dir;
    const std::string path = dir.path() + "/two.img";
    std::string bytes(1024, 'a');
    bytes.replace(512, 512, std::string(512, 'b'));
    std::ofstream(path) << bytes;
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int error = -1;
    auto device = FileSectorDevice::fromDescriptor(fd, error);
    ASSERT_TRUE(device);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(device->descriptor(), fd);
    EXPECT_EQ(device->sizeBytes(), 1024u);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    std::array<std::uint8_t, 512> sector{};
    device->seekSector(1);
    ASSERT_EQ(device->readSectors(sector), 512u);
    EXPECT_EQ(sector[0], 'b');
    device.reset();
    EXPECT_FALSE(isOpen(fd));
}

TEST(DescriptorSource, RefusesADescriptorThatCouldWriteOrIsNotOpen) {
    test::TempDir dir;
    const std::string path = dir.path() + "/card.img";
    std::ofstream(path) << std::string(512, 'x');
    for (const int mode : {O_RDWR, O_WRONLY}) {
        const int fd = ::open(path.c_str(), mode);
        ASSERT_GE(fd, 0);
        int error = 0;
        EXPECT_FALSE(FileSectorDevice::fromDescriptor(fd, error));
        EXPECT_EQ(error, EACCES);
        EXPECT_FALSE(isOpen(fd)) << "a refused descriptor is closed";
    }
    int error = 0;
    EXPECT_FALSE(FileSectorDevice::fromDescriptor(-1, error));
    EXPECT_EQ(error, EBADF);
}

}  // namespace
}  // namespace rekkon
