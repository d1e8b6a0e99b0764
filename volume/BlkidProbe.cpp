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

std::optional<FileSystemName> probeFileSystem(int fd, std::uint64_t offset, std::uint64_t length) {
    ProbeHandle probe(blkid_new_probe());
    if (!probe) return std::nullopt;
    if (blkid_probe_set_device(probe.get(), fd, static_cast<blkid_loff_t>(offset),
                               static_cast<blkid_loff_t>(length)) != 0)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(
        probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION | BLKID_SUBLKS_LABEL);
    blkid_probe_enable_partitions(probe.get(), 0);
    // 0: one file system found; 1: none; -2: ambiguous (more than one signature); -1: error.
    if (blkid_do_safeprobe(probe.get()) != 0) return std::nullopt;
    const std::string type = lookup(probe.get(), "TYPE");
    if (type.empty()) return std::nullopt;
    return FileSystemName{platformFileSystemName(type, lookup(probe.get(), "VERSION")),
                          lookup(probe.get(), "LABEL")};
}

}  // namespace rekkon
