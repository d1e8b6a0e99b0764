// The drive list over a made-up /sys tree with made-up probe results, libblkid's names of the
// fixture images, and udev's database as the fallback for devices the user may not read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/Fixtures.h"
#include "volume/DriveList.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;

struct FakeSysfs : ::testing::Test {
    // A block device as a plain folder in class/block.
    fs::path device(const std::string& name, std::uint64_t sectors, bool partition = false,
                    bool removable = false) {
        return fill(root() / "class" / "block" / name, sectors, partition, removable);
    }
    // A block device as sysfs shows it: a link from class/block into the device tree, where a
    // partition's folder lies inside its disk's.
    fs::path linkedDevice(const std::string& treePath, std::uint64_t sectors,
                          bool partition = false, bool removable = false) {
        const fs::path dir = fill(root() / "devices" / treePath, sectors, partition, removable);
        fs::create_directories(root() / "class" / "block");
        fs::create_symlink(dir, root() / "class" / "block" / dir.filename());
        return dir;
    }
    fs::path fill(const fs::path& dir, std::uint64_t sectors, bool partition, bool removable) {
        fs::create_directories(dir);
        std::ofstream(dir / "size") << sectors << "\n";
        std::ofstream(dir / "dev") << "8:0\n";
        if (partition)
            std::ofstream(dir / "partition") << "1\n";
        else
            std::ofstream(dir / "removable") << (removable ? 1 : 0) << "\n";
        return dir;
    }
    void holds(const std::string& name, const std::string& fileSystem,
               const std::string& label = "") {
        fileSystems["/dev/" + name] = FileSystemName{fileSystem, label};
    }
    std::vector<DriveInfo> list() {
        return listDrives(root().string(), [this](const std::string& path) {
            probed.push_back(path);
            const auto it = fileSystems.find(path);
            return it == fileSystems.end() ? std::nullopt : std::optional(it->second);
        });
    }
    static std::vector<std::string> names(const std::vector<DriveInfo>& drives) {
        std::vector<std::string> out;
        for (const DriveInfo& d : drives)
            out.push_back(d.name);
        return out;
    }
    fs::path root() const { return sys.path(); }

    test::TempDir sys;
    std::map<std::string, FileSystemName> fileSystems;
    std::vector<std::string> probed;
};

using Names = std::vector<std::string>;

TEST_F(FakeSysfs, ListsDisksAndPartitionsWithAReadableFileSystemInNameOrder) {
    device("sdb", 2048, false, true);
    device("sdb2", 1024, true);
    device("sdb1", 1000, true);
    device("sda", 4096);
    device("sda1", 4000, true);
    device("nvme0n1", 8192);
    device("nvme0n1p1", 8000, true);
    holds("sdb1", "FAT32", "CARD");
    holds("sdb2", "NTFS");
    holds("sda", "FAT16");  // a volume without a partition table
    holds("sda1", "EXT4");
    holds("nvme0n1p1", "exFAT");  // listed, and read (tests/ui/DriveSelectDialogTest.cpp)
    const auto drives = list();
    EXPECT_EQ(names(drives), (Names{"nvme0n1p1", "sda", "sdb1", "sdb2"}));
    ASSERT_EQ(drives.size(), 4u);
    const DriveInfo& card = drives[2];
    EXPECT_EQ(card.devicePath, "/dev/sdb1");
    EXPECT_EQ(card.fileSystem, "FAT32");
    EXPECT_EQ(card.label, "CARD");
    EXPECT_EQ(card.sizeBytes, 1000u * 512);
    EXPECT_TRUE(card.partition);
    EXPECT_TRUE(card.removable);  // from its disk
    EXPECT_FALSE(drives[1].partition);
    EXPECT_FALSE(drives[1].removable);
    EXPECT_FALSE(drives[0].removable);  // nvme0n1 is fixed
    EXPECT_EQ(drives[0].fileSystem, "exFAT");
}

TEST_F(FakeSysfs, PartitionsOfMemoryCardsTakeRemovableFromTheirDisk) {
    device("mmcblk0", 4096, false, true);
    device("mmcblk0p1", 4000, true);
    device("mmcblk0p10", 40, true);
    device("mmcblk01", 40, false, false);  // a disk whose name shares the start, not removable
    device("mmcblk01p1", 40, true);
    holds("mmcblk0p1", "FAT32");
    holds("mmcblk0p10", "FAT12");
    holds("mmcblk01p1", "FAT12");
    const auto drives = list();
    ASSERT_EQ(names(drives), (Names{"mmcblk01p1", "mmcblk0p1", "mmcblk0p10"}));
    EXPECT_FALSE(drives[0].removable);
    EXPECT_TRUE(drives[1].removable);
    EXPECT_TRUE(drives[2].removable);
}

TEST_F(FakeSysfs, FollowsSysfsLinksToFindAPartitionsDisk) {
    // The partition's name does not begin with its disk's: only the device tree tells.
    linkedDevice("pci0/usb1/block/sdc", 4096, false, true);
    linkedDevice("pci0/usb1/block/sdc/card1", 4000, true);
    linkedDevice("pci0/sata/block/sdd", 4096, false, false);
    linkedDevice("pci0/sata/block/sdd/sdd1", 4000, true);
    holds("card1", "FAT16");
    holds("sdd1", "NTFS");
    const auto drives = list();
    ASSERT_EQ(names(drives), (Names{"card1", "sdd1"}));
    EXPECT_TRUE(drives[0].removable);
    EXPECT_FALSE(drives[1].removable);
}

TEST_F(FakeSysfs, DropsOpticalRamEmptyAndUnattachedDevicesWithoutProbingThem) {
    for (const char* name : {"sr0", "ram0", "zram0", "sdc", "loop1"}) {
        device(name, std::string(name) == "sdc" || std::string(name) == "loop1" ? 0 : 2048);
        holds(name, "FAT32");
    }
    // An attached loop device and its partition are listed; one with no file attached is not,
    // even when it reports a size.
    const fs::path loop0 = device("loop0", 2048);
    fs::create_directories(loop0 / "loop");
    std::ofstream(loop0 / "loop" / "backing_file") << "/srv/card.img\n";
    device("loop0p1", 2000, true);
    device("loop2", 2048);
    holds("loop0", "FAT12");
    holds("loop0p1", "FAT16");
    holds("loop2", "FAT16");
    // A size that cannot be read counts as empty.
    const fs::path odd = device("sde", 0);
    std::ofstream(odd / "size") << "many\n";
    holds("sde", "NTFS");
    EXPECT_EQ(names(list()), (Names{"loop0", "loop0p1"}));
    EXPECT_EQ(probed, (Names{"/dev/loop0", "/dev/loop0p1"})) << "only listed devices are opened";
}

TEST_F(FakeSysfs, NoBlockFolderOrNoProbeGivesAnEmptyList) {
    EXPECT_TRUE(list().empty());
    device("sda", 2048);
    holds("sda", "FAT32");
    EXPECT_TRUE(listDrives(root().string(), nullptr).empty());
    EXPECT_EQ(listDrives(root().string(),
                         [](const std::string&) {
                             return std::optional(FileSystemName{"NTFS", "Data"});
                         })
                  .size(),
              1u);
}

TEST(PlatformFileSystemName, NamesFatByItsVersionAndTheOthersByType) {
    EXPECT_EQ(platformFileSystemName("vfat", "FAT12"), "FAT12");
    EXPECT_EQ(platformFileSystemName("vfat", "FAT16"), "FAT16");
    EXPECT_EQ(platformFileSystemName("vfat", "FAT32"), "FAT32");
    EXPECT_EQ(platformFileSystemName("vfat", ""), "FAT");
    EXPECT_EQ(platformFileSystemName("msdos", "FAT16"), "FAT16");
    EXPECT_EQ(platformFileSystemName("ntfs", "3.1"), "NTFS");
    EXPECT_EQ(platformFileSystemName("exfat", "1.0"), "exFAT");
    EXPECT_EQ(platformFileSystemName("ext4", "1.0"), "EXT4");
}

struct FixtureProbe : ::testing::Test {
    static std::optional<FileSystemName> probeImage(const std::string& relative) {
        const int fd = ::open(test::fixtureImage(relative).c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0) << relative;
        if (fd < 0) return std::nullopt;
        auto name = probeFileSystem(fd);
        ::close(fd);
        return name;
    }
};

TEST_F(FixtureProbe, LibblkidNamesTheFixtureImages) {
    const auto fat32 = probeImage("fat/fat32.img");
    ASSERT_TRUE(fat32);
    EXPECT_EQ(fat32->name, "FAT32");
    const auto fat16 = probeImage("fat/fat16.img");
    ASSERT_TRUE(fat16);
    EXPECT_EQ(fat16->name, "FAT16");
    const auto ntfs = probeImage("ntfs/ntfs-512-4k.img");
    ASSERT_TRUE(ntfs);
    EXPECT_EQ(ntfs->name, "NTFS");
}

TEST_F(FixtureProbe, ProbingADevicePathOpensItAndFailsQuietly) {
    const auto fat12 = probeDeviceFileSystem(test::fixtureImage("fat/fat12.img"));
    ASSERT_TRUE(fat12);
    EXPECT_EQ(fat12->name, "FAT12");
    test::TempDir dir;
    EXPECT_FALSE(probeDeviceFileSystem(dir.path() + "/missing"));
    // A file holding no file system.
    std::ofstream(dir.path() + "/zeros") << std::string(64 * 1024, '\0');
    EXPECT_FALSE(probeDeviceFileSystemWithUdev(dir.path() + "/zeros", dir.path()));
}

TEST(UdevData, NamesTheFileSystemFromTheDeviceEntries) {
    std::istringstream card(
        "S:disk/by-label/MY_CARD\n"
        "E:ID_FS_LABEL=MY_CARD\n"
        "E:ID_FS_LABEL_ENC=MY\\x20CARD\n"
        "E:ID_FS_VERSION=FAT32\n"
        "E:ID_FS_TYPE=vfat\n"
        "E:ID_FS_USAGE=filesystem\n");
    auto name = parseUdevFileSystem(card);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "FAT32");
    EXPECT_EQ(name->label, "MY CARD");

    std::istringstream ntfs("E:ID_FS_TYPE=ntfs\nE:ID_FS_LABEL=Data\n");
    name = parseUdevFileSystem(ntfs);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "NTFS");
    EXPECT_EQ(name->label, "Data");

    // A bad escape stays as written; a key that only starts like ID_FS_TYPE is another key.
    std::istringstream odd(
        "E:ID_FS_TYPE_OLD=ext4\nE:ID_FS_TYPE=vfat\nE:ID_FS_LABEL_ENC=A\\xZZ\\x4\n");
    name = parseUdevFileSystem(odd);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "FAT");
    EXPECT_EQ(name->label, "A\\xZZ\\x4");

    std::istringstream none("E:ID_PART_TABLE_TYPE=dos\nE:ID_FS_TYPE=\n");
    EXPECT_FALSE(parseUdevFileSystem(none));
}

TEST(UdevData, LooksUpTheDeviceByItsNumber) {
    test::TempDir udev;
    std::ofstream(udev.path() + "/b8:17") << "E:ID_FS_TYPE=vfat\nE:ID_FS_VERSION=FAT16\n";
    const auto name = udevFileSystem(makedev(8, 17), udev.path());
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "FAT16");
    EXPECT_FALSE(udevFileSystem(makedev(8, 18), udev.path()));
}

}  // namespace
}  // namespace rekkon
