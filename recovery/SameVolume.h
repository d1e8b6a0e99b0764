#pragma once

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

namespace rekkon {

// Where the same-volume check learns about devices: the sysfs tree, the mount table and stat.
// Tests hand in a tree and a mount table of their own and a stat that knows made-up devices.
struct DeviceProbe {
    std::string sysfsRoot = "/sys";
    // The mount table in the kernel's mountinfo form: it names the device behind a mount whose
    // own device number is an anonymous one (FUSE, such as an NTFS volume mounted by ntfs-3g).
    std::string mountInfo = "/proc/self/mountinfo";
    std::function<int(const std::string& path, struct stat& out)> stat =
        [](const std::string& p, struct stat& out) { return ::stat(p.c_str(), &out); };
    std::function<int(int fd, struct stat& out)> fstat = [](int fd, struct stat& out) {
        return ::fstat(fd, &out);
    };
};

struct VolumeContext;

// Device-mapper, LVM and loop devices stacked deeper than this are not followed.
inline constexpr int kMaxDeviceStackDepth = 8;
// Lines of the mount table read at most.
inline constexpr int kMaxMountInfoLines = 100000;

// The nearest folder of `path` that exists (`path` itself when it does); empty when not even
// the root can be examined.
std::string nearestExistingFolder(const std::string& path, const DeviceProbe& probe = {});

// Whether writing into `folder` (or, when it does not exist yet, into the nearest existing
// folder above it) would write to the block device `source`: the same device, a partition of it
// or the disk it is a partition of, or a device-mapper/LVM volume or loop device stacked on one
// of those. A mount whose device number is not the device's own (FUSE and other anonymous
// devices) is known by the mount source the mount table gives it: a device path counts as that
// device. A disk-image source is written to only through a mount of that very file (the mount
// table's source is the image).
bool destinationOnSourceDevice(const std::string& source, const std::string& folder,
                               const DeviceProbe& probe = {});
// The same for the block device numbered `sourceDevice` (a stat's st_rdev), however it was
// opened: by path, or as a descriptor handed over by a privileged service.
bool destinationOnSourceDevice(dev_t sourceDevice, const std::string& folder,
                               const DeviceProbe& probe = {});

// The device number of the block device behind the volume's open source, from its descriptor;
// nullopt for an image file or a source without a descriptor.
std::optional<dev_t> sourceBlockDevice(const VolumeContext& volume, const DeviceProbe& probe = {});

}  // namespace rekkon
