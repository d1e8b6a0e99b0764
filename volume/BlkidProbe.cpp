#include "volume/BlkidProbe.h"

#include <blkid/blkid.h>
#include <sys/types.h>

#include <cctype>
#include <memory>

namespace rekkon {

namespace {

struct ProbeFree {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using ProbeHandle = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeFree>;

std::string lookup(blkid_probe probe, const char* key) {
    const char* value = nullptr;
    std::size_t size = 0;
    if (blkid_probe_lookup_value(probe, key, &value, &size) != 0 || value == nullptr) return {};
    return std::string(value);
}

}  // namespace

std::string platformFileSystemName(const std::string& type, const std::string& version) {
    if (type == "vfat" || type == "msdos") return version.empty() ? "FAT" : version;
    if (type == "ntfs") return "NTFS";
    if (type == "exfat") return "exFAT";
    std::string upper = type;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

namespace {

// libblkid's answer when it finds more than one file system's signature.
constexpr int kAmbiguous = -2;

// One superblock probe; with `fatOrNtfsOnly`, signatures of other file systems are not looked
// for. nullopt when libblkid finds no file system, more than one, or fails; `outcome` receives
// libblkid's answer (0 found, 1 none, kAmbiguous, -1 error).
std::optional<FileSystemName> probeOnce(int fd, std::uint64_t offset, std::uint64_t length,
                                        bool fatOrNtfsOnly, int& outcome) {
    outcome = -1;
    ProbeHandle probe(blkid_new_probe());
    if (!probe) return std::nullopt;
    if (blkid_probe_set_device(probe.get(), fd, static_cast<blkid_loff_t>(offset),
                               static_cast<blkid_loff_t>(length)) != 0)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(
        probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION | BLKID_SUBLKS_LABEL);
    blkid_probe_enable_partitions(probe.get(), 0);
    if (fatOrNtfsOnly) {
        char vfat[] = "vfat";
        char ntfs[] = "ntfs";
        char* names[] = {vfat, ntfs, nullptr};
        if (blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, names) != 0)
            return std::nullopt;
    }
    outcome = blkid_do_safeprobe(probe.get());
    if (outcome != 0) return std::nullopt;
    const std::string type = lookup(probe.get(), "TYPE");
    if (type.empty()) return std::nullopt;
    return FileSystemName{platformFileSystemName(type, lookup(probe.get(), "VERSION")),
                          lookup(probe.get(), "LABEL")};
}

}  // namespace

std::optional<FileSystemName> probeFileSystem(int fd, std::uint64_t offset, std::uint64_t length) {
    int outcome = 0;
    if (auto found = probeOnce(fd, offset, length, false, outcome)) return found;
    if (outcome != kAmbiguous) return std::nullopt;
    // Several signatures (an NTFS volume over the leftover superblock of an earlier ext2 or UFS
    // one, say) make libblkid's answer ambiguous: the FAT or NTFS one among them is the volume
    // rekkon can read, so it is looked for alone.
    return probeOnce(fd, offset, length, true, outcome);
}

}  // namespace rekkon
