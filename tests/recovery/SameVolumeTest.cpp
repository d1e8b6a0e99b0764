// The same-volume check over a made-up /sys tree and made-up devices: partitions, device-mapper
// stacks, loop devices and folders that do not exist yet.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "recovery/SameVolume.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "volume/VolumeContext.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;

struct FakeDevices : ::testing::Test {
    FakeDevices() {
        disk("sda", "8:0");
        disk("sda/sda1", "8:1", true);
        disk("sdb", "8:16");
        disk("dm-0", "253:0");
        slave("dm-0", "sda/sda1");
        disk("dm-1", "253:1");  // LVM on an encrypted partition: dm-1 -> dm-0 -> sda1
        slave("dm-1", "dm-0");
        disk("dm-2", "253:2");  // a cycle, which only a damaged tree has
        disk("dm-3", "253:3");
        slave("dm-2", "dm-3");
        slave("dm-3", "dm-2");
        disk("loop0", "7:0");
        fs::create_directories(root() + "/devices/loop0/loop");
        std::ofstream(root() + "/devices/loop0/loop/backing_file") << "/srv/disk.img\n";
        probe.sysfsRoot = root();
        probe.mountInfo = root() + "/mountinfo";  // no mounts until a test writes some
        probe.stat = [this](const std::string& path, struct stat& out) {
            const auto it = stats.find(path);
            if (it == stats.end()) return -1;
            out = it->second;
            return 0;
        };
        blockDevice("/dev/sda", makedev(8, 0));
        blockDevice("/dev/sda1", makedev(8, 1));
        blockDevice("/dev/loop0", makedev(7, 0));
    }
    std::string root() const { return sys.path(); }
    void disk(const std::string& path, const std::string& dev, bool partition = false) {
        const std::string dir = root() + "/devices/" + path;
        fs::create_directories(dir);
        std::ofstream(dir + "/dev") << dev << "\n";
        if (partition) std::ofstream(dir + "/partition") << "1\n";
        fs::create_directories(root() + "/dev/block");
        fs::create_symlink(dir, root() + "/dev/block/" + dev);
    }
    void slave(const std::string& holder, const std::string& device) {
        const std::string dir = root() + "/devices/" + holder + "/slaves";
        fs::create_directories(dir);
        fs::create_symlink(root() + "/devices/" + device,
                           dir + "/" + fs::path(device).filename().string());
    }
    void blockDevice(const std::string& path, dev_t rdev) {
        struct stat st {};
        st.st_mode = S_IFBLK | 0660;
        st.st_rdev = rdev;
        stats[path] = st;
    }
    void folderOn(const std::string& path, dev_t dev) {
        struct stat st {};
        st.st_mode = S_IFDIR | 0755;
        st.st_dev = dev;
        stats[path] = st;
        stats["/"] = st;
    }
    bool onSource(const std::string& source, const std::string& folder, dev_t dev) {
        folderOn("/mnt/out", dev);
        return destinationOnSourceDevice(source, folder, probe);
    }

    test::TempDir sys;
    DeviceProbe probe;
    std::map<std::string, struct stat> stats;
};

TEST_F(FakeDevices, PartitionsAndWholeDisksOverlap) {
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(8, 0)));
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(8, 1)));
    EXPECT_TRUE(onSource("/dev/sda1", "/mnt/out", makedev(8, 0)));
    EXPECT_FALSE(onSource("/dev/sda", "/mnt/out", makedev(8, 16)));
}

TEST_F(FakeDevices, AFolderThatDoesNotExistYetIsJudgedByTheNearestExistingOne) {
    folderOn("/mnt/out", makedev(8, 1));
    EXPECT_EQ(nearestExistingFolder("/mnt/out/NEW/SUB/", probe), "/mnt/out");
    EXPECT_TRUE(destinationOnSourceDevice("/dev/sda", "/mnt/out/NEW/SUB", probe));
    EXPECT_TRUE(destinationOnSourceDevice("/dev/sda", "/mnt/out/NEW/../SUB", probe));
    stats.erase("/");
    stats.erase("/mnt/out");
    EXPECT_EQ(nearestExistingFolder("/mnt/out/NEW", probe), "");
    EXPECT_TRUE(destinationOnSourceDevice("/dev/sda", "/mnt/out/NEW", probe))
        << "a destination that cannot be examined is refused";
}

TEST_F(FakeDevices, DeviceMapperStacksAreFollowedToTheirSlaves) {
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(253, 0)));
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(253, 1)));
    EXPECT_TRUE(onSource("/dev/sda1", "/mnt/out", makedev(253, 1)));
    EXPECT_FALSE(onSource("/dev/sdb", "/mnt/out", makedev(253, 1)));
    blockDevice("/dev/sdb", makedev(8, 16));
    EXPECT_FALSE(onSource("/dev/sdb", "/mnt/out", makedev(253, 1)));
    EXPECT_FALSE(onSource("/dev/sda", "/mnt/out", makedev(253, 2))) << "a cycle ends";
}

TEST_F(FakeDevices, ALoopDeviceLiesWhereItsBackingFileLies) {
    struct stat image {};
    image.st_mode = S_IFREG | 0644;
    image.st_dev = makedev(253, 1);
    stats["/srv/disk.img"] = image;
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(7, 0)));
    stats["/srv/disk.img"].st_dev = makedev(8, 16);
    EXPECT_FALSE(onSource("/dev/sda", "/mnt/out", makedev(7, 0)));
    // A loop device over a block device reads that device.
    std::ofstream(root() + "/devices/loop0/loop/backing_file") << "/dev/sda1\n";
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(7, 0)));
    // Scanning the loop device itself, a folder on it is on the source.
    EXPECT_TRUE(onSource("/dev/loop0", "/mnt/out", makedev(7, 0)));
}

TEST_F(FakeDevices, ASourceKnownOnlyByItsDeviceNumberIsCheckedTheSameWay) {
    // No path of the source is stat'ed: a descriptor handed over by a service has none.
    stats.erase("/dev/sda");
    stats.erase("/dev/sda1");
    folderOn("/mnt/out", makedev(8, 1));
    EXPECT_TRUE(destinationOnSourceDevice(makedev(8, 0), "/mnt/out", probe));
    EXPECT_TRUE(destinationOnSourceDevice(makedev(8, 1), "/mnt/out/NEW", probe));
    folderOn("/mnt/out", makedev(253, 1));
    EXPECT_TRUE(destinationOnSourceDevice(makedev(8, 1), "/mnt/out", probe));
    folderOn("/mnt/out", makedev(8, 16));
    EXPECT_FALSE(destinationOnSourceDevice(makedev(8, 0), "/mnt/out", probe));
}

TEST_F(FakeDevices, TheSourcesDeviceNumberComesFromItsDescriptor) {
    VolumeContext volume;
    EXPECT_FALSE(sourceBlockDevice(volume, probe)) << "nothing open";
    volume.reader.attach(std::make_unique<test::MemoryDevice>(std::vector<std::uint8_t>(512)));
    EXPECT_FALSE(sourceBlockDevice(volume, probe)) << "no descriptor";

    int error = 0;
    volume.reader.attach(FileSectorDevice::open(test::fixtureImage("fat/fat12.img"), error));
    ASSERT_EQ(error, 0);
    EXPECT_FALSE(sourceBlockDevice(volume)) << "an image file is no block device";
    const int fd = *volume.reader.sourceDescriptor();
    probe.fstat = [fd](int asked, struct stat& out) {
        if (asked != fd) return -1;
        out = {};
        out.st_mode = S_IFBLK | 0660;
        out.st_rdev = makedev(8, 1);
        return 0;
    };
    EXPECT_EQ(sourceBlockDevice(volume, probe), makedev(8, 1));
}

TEST_F(FakeDevices, AFuseMountIsKnownByTheSourceItsMountTableGives) {
    // ntfs-3g mounts through FUSE: the mount's device number is an anonymous one of its own.
    std::ofstream(probe.mountInfo)
        << "25 1 8:16 / / rw,relatime shared:1 - ext4 /dev/sdb rw\n"
           "36 25 0:52 / /mnt/out rw,nosuid,nodev,relatime shared:7 - fuseblk /dev/sda1 "
           "rw,user_id=0,group_id=0,allow_other,blksize=4096\n"
           "37 25 0:53 / /mnt/label rw,relatime - fuseblk /dev/disk/by-label/my\\040disk rw\n"
           "38 25 0:54 / /mnt/image rw,relatime - fuseblk /srv/disk.img rw\n";
    EXPECT_TRUE(onSource("/dev/sda1", "/mnt/out/NEW", makedev(0, 52)));
    EXPECT_TRUE(onSource("/dev/sda", "/mnt/out", makedev(0, 52))) << "the partition's disk";
    EXPECT_TRUE(destinationOnSourceDevice(makedev(8, 1), "/mnt/out", probe));
    blockDevice("/dev/sdb", makedev(8, 16));
    EXPECT_FALSE(onSource("/dev/sdb", "/mnt/out", makedev(0, 52)));
    // A source with a blank in its path (escaped in the table), found by its device number.
    blockDevice("/dev/disk/by-label/my disk", makedev(8, 1));
    EXPECT_TRUE(onSource("/dev/sda1", "/mnt/out", makedev(0, 53)));
    // An image file mounted through FUSE is the image being scanned.
    struct stat image {};
    image.st_mode = S_IFREG | 0644;
    image.st_dev = makedev(8, 16);
    image.st_ino = 12;
    stats["/srv/disk.img"] = image;
    EXPECT_TRUE(onSource("/srv/disk.img", "/mnt/out", makedev(0, 54)));
    EXPECT_FALSE(onSource("/srv/disk.img", "/mnt/out", makedev(0, 52)));
    EXPECT_FALSE(onSource("/dev/sda1", "/mnt/out", makedev(0, 99))) << "a mount not in the table";
}

TEST(SameVolumeTest, AnImageSourceIsNeverTheDestinationsDevice) {
    test::TempDir dir;
    const std::string image = dir.path() + "/card.img";
    std::ofstream(image) << "x";
    EXPECT_FALSE(destinationOnSourceDevice(image, dir.path() + "/NEW/SUB"));
}

}  // namespace
}  // namespace rekkon
