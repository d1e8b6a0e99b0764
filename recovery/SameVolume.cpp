#include "recovery/SameVolume.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <string>

namespace rekkon {

namespace {

// The whole-disk device of a partition (from /sys/dev/block/MAJ:MIN/../dev), or the device
// itself when it is not a partition.
dev_t wholeDisk(dev_t device) {
    const std::string base =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    struct stat partition {};
    if (::stat((base + "/partition").c_str(), &partition) != 0) return device;
    std::ifstream parent(base + "/../dev");
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (parent >> maj >> colon >> min && colon == ':') return makedev(maj, min);
    return device;
}

}  // namespace

bool destinationOnSourceDevice(const std::string& source, const std::string& folder) {
    struct stat src {};
    struct stat dst {};
    if (::stat(source.c_str(), &src) != 0 || !S_ISBLK(src.st_mode)) return false;
    if (::stat(folder.c_str(), &dst) != 0) return false;
    if (dst.st_dev == src.st_rdev) return true;
    // A folder on a partition of the scanned disk writes into the scanned space too.
    return wholeDisk(dst.st_dev) == src.st_rdev;
}

}  // namespace rekkon
