#include "recovery/SameVolume.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "volume/VolumeContext.h"

namespace rekkon {

namespace {

namespace fs = std::filesystem;

std::string blockDir(const DeviceProbe& probe, dev_t device) {
    return probe.sysfsRoot + "/dev/block/" + std::to_string(major(device)) + ":" +
           std::to_string(minor(device));
}

// A "MAJ:MIN" device file of sysfs.
bool readDevFile(const std::string& path, dev_t& device) {
    std::ifstream in(path);
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (!(in >> maj >> colon >> min) || colon != ':') return false;
    device = makedev(maj, min);
    return true;
}

// The whole-disk device of a partition (sysfs: a "partition" file, the disk's "dev" one level
// up), or the device itself when it is not a partition.
dev_t wholeDisk(const DeviceProbe& probe, dev_t device) {
    const std::string base = blockDir(probe, device);
    std::error_code ec;
    if (!fs::exists(base + "/partition", ec)) return device;
    dev_t disk = device;
    return readDevFile(base + "/../dev", disk) ? disk : device;
}

class StackWalk {
  public:
    StackWalk(const DeviceProbe& probe, dev_t source)
        : probe_(probe), source_(source), sourceDisk_(wholeDisk(probe, source)) {}

    // Whether writing to `device` can write into the source's space.
    bool reaches(dev_t device, int depth) {
        if (overlaps(device)) return true;
        if (depth >= kMaxDeviceStackDepth) return false;
        const dev_t disk = wholeDisk(probe_, device);
        if (stackedOn(device, depth)) return true;
        return disk != device && stackedOn(disk, depth);
    }

  private:
    bool overlaps(dev_t device) const {
        return device == source_ || wholeDisk(probe_, device) == source_ || device == sourceDisk_;
    }

    // Device-mapper slaves and a loop device's backing file.
    bool stackedOn(dev_t device, int depth) {
        const std::string base = blockDir(probe_, device);
        std::error_code ec;
        for (fs::directory_iterator it(base + "/slaves", ec), end; !ec && it != end;
             it.increment(ec)) {
            dev_t slave = 0;
            if (readDevFile(it->path().string() + "/dev", slave) && reaches(slave, depth + 1))
                return true;
        }
        std::ifstream backing(base + "/loop/backing_file");
        std::string file;
        if (!std::getline(backing, file) || file.empty()) return false;
        struct stat st {};
        if (probe_.stat(file, st) != 0) return false;
        // A loop device over a block device reads that device; over a file, its file system's.
        return reaches(S_ISBLK(st.st_mode) ? st.st_rdev : st.st_dev, depth + 1);
    }

    const DeviceProbe& probe_;
    dev_t source_;
    dev_t sourceDisk_;
};

// A mountinfo field with its octal escapes (\040 for a blank, \011, \012, \134) undone.
std::string unescapeField(const std::string& field) {
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) &&
            octal(field[i + 2]) && octal(field[i + 3])) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(field[i]);
    }
    return out;
}

// The mount sources the mount table gives for mounts of device number `device`.
std::vector<std::string> mountSourcesOf(const DeviceProbe& probe, dev_t device) {
    std::vector<std::string> sources;
    std::ifstream in(probe.mountInfo);
    std::string line;
    for (int n = 0; n < kMaxMountInfoLines && std::getline(in, line); ++n) {
        // ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPEROPTIONS
        std::istringstream fields(line);
        std::string id, parent, numbers;
        unsigned maj = 0, min = 0;
        char colon = 0;
        if (!(fields >> id >> parent >> numbers)) continue;
        std::istringstream pair(numbers);
        if (!(pair >> maj >> colon >> min) || colon != ':' || makedev(maj, min) != device) continue;
        std::string field;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        if (field == "-" && fields >> type >> source) sources.push_back(unescapeField(source));
    }
    return sources;
}

// Whether the mount source `mounted` (from the mount table) is the source: by stat, which
// follows links such as /dev/disk/by-label/..., a block device that overlaps the source's
// device, or without a device number the very image file at `imagePath`.
bool namesSource(const std::string& mounted, std::optional<dev_t> sourceDevice,
                 const std::string& imagePath, StackWalk& walk, const DeviceProbe& probe) {
    struct stat st {};
    if (probe.stat(mounted, st) != 0) return false;
    if (sourceDevice) return S_ISBLK(st.st_mode) && walk.reaches(st.st_rdev, 0);
    struct stat image {};
    return S_ISREG(st.st_mode) && probe.stat(imagePath, image) == 0 && st.st_dev == image.st_dev &&
           st.st_ino == image.st_ino;
}

// Whether writing into `folder` writes to the source: the block device `sourceDevice`, or
// without a device number the image file at `imagePath`.
bool onSource(std::optional<dev_t> sourceDevice, const std::string& imagePath,
              const std::string& folder, const DeviceProbe& probe) {
    const std::string existing = nearestExistingFolder(folder, probe);
    struct stat dst {};
    // A destination that cannot be examined at all is taken to be on a source device: refuse.
    if (existing.empty() || probe.stat(existing, dst) != 0) return sourceDevice.has_value();
    StackWalk walk(probe, sourceDevice.value_or(0));
    if (sourceDevice && walk.reaches(dst.st_dev, 0)) return true;
    // A FUSE mount (ntfs-3g) or another anonymous device: what its mount source names.
    for (const std::string& mounted : mountSourcesOf(probe, dst.st_dev))
        if (namesSource(mounted, sourceDevice, imagePath, walk, probe)) return true;
    return false;
}

}  // namespace

std::string nearestExistingFolder(const std::string& path, const DeviceProbe& probe) {
    std::error_code ec;
    fs::path p = fs::absolute(path.empty() ? "." : path, ec).lexically_normal();
    if (ec) return {};
    // Each step removes one component, so the walk ends at the root.
    while (true) {
        struct stat st {};
        if (probe.stat(p.string(), st) == 0) return p.string();
        if (!p.has_relative_path()) return {};
        p = p.has_filename() ? p.parent_path() : p.parent_path().parent_path();
    }
}

bool destinationOnSourceDevice(const std::string& source, const std::string& folder,
                               const DeviceProbe& probe) {
    struct stat src {};
    if (probe.stat(source, src) != 0) return false;
    if (S_ISBLK(src.st_mode)) return onSource(src.st_rdev, {}, folder, probe);
    // An image file is written to only through a mount of that very file (ntfs-3g mounts
    // images too).
    return S_ISREG(src.st_mode) && onSource(std::nullopt, source, folder, probe);
}

bool destinationOnSourceDevice(dev_t sourceDevice, const std::string& folder,
                               const DeviceProbe& probe) {
    return onSource(sourceDevice, {}, folder, probe);
}

std::optional<dev_t> sourceBlockDevice(const VolumeContext& volume, const DeviceProbe& probe) {
    const std::optional<int> fd = volume.reader.sourceDescriptor();
    struct stat st {};
    if (!fd || probe.fstat(*fd, st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return st.st_rdev;
}

}  // namespace rekkon
