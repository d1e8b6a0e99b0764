#include <array>
#include <cstring>
#include <ostream>

#include "cli/Commands.h"
#include "cli/NtfsInfo.h"
#include "cli/SourceOpen.h"
#include "fat/FatMount.h"

namespace rekkon::cli {

namespace {

const char* fatName(const FatGeometry& g) {
    return g.fatBits == 12 ? "FAT12" : g.fatBits == 16 ? "FAT16" : "FAT32";
}

void printFat(std::ostream& out, const std::string& path, const FatGeometry& g) {
    // Counts are shown in the volume's own sectors, as its boot sector states them.
    const std::uint64_t scale = g.bytesPerSector / kSectorSize;
    out << "Source: " << path << '\n'
        << "File system: " << fatName(g) << '\n'
        << "Bytes per sector: " << g.bytesPerSector << '\n'
        << "Total sectors: " << g.totalSectors / scale << '\n'
        << "Sectors per cluster: " << g.sectorsPerCluster / scale << '\n'
        << "Cluster size: " << g.clusterBytes() << '\n'
        << "Reserved sectors: " << g.reservedSectors / scale << '\n'
        << "FAT count: " << unsigned{g.fatCount} << '\n'
        << "Sectors per FAT: " << g.sectorsPerFat / scale << '\n';
    if (g.fatBits == 32)
        out << "Root cluster: " << g.rootCluster << '\n';
    else
        out << "Root cluster: fixed root area (" << g.rootEntryCount << " entries, "
            << g.rootDirSectors / scale << " sectors)\n";
    out << "First data sector: " << g.firstDataSector / scale << '\n'
        << "Data clusters: " << g.clusterCount() << '\n';
}

}  // namespace

int runInfo(const std::vector<std::string>& args, Streams& io) {
    if (args.size() != 1) {
        io.err << "usage: rekkon-cli info SOURCE\n";
        return kExitUsage;
    }
    const std::string& path = args[0];
    VolumeContext volume;
    if (const int error = openDevice(volume, path); error != 0) {
        io.err << openFailureMessage(path, error) << '\n';
        return kExitSource;
    }
    // Try first the mount the boot sector's OEM name suggests; a failed mount closes the
    // device, so the other one opens it again.
    std::array<std::uint8_t, kSectorSize> boot{};
    const bool looksNtfs = volume.reader.readAt(0, 0, boot) == boot.size() &&
                           std::memcmp(boot.data() + 3, "NTFS    ", 8) == 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1 && openDevice(volume, path) != 0) break;
        if ((attempt == 0) == looksNtfs) {
            if (printNtfsInfo(volume, path, io.out)) return kExitOk;
            continue;
        }
        FatGeometry fat;
        if (mountFatOnOpenDevice(volume, fat) == 1) {
            printFat(io.out, path, fat);
            return kExitOk;
        }
    }
    io.err << "rekkon-cli: \"" << path
           << "\" holds no FAT or NTFS volume that can be read (no valid boot sector). Give a partition "
              "(for example /dev/sdb1) or a volume image rather than a whole disk.\n";
    return kExitSource;
}

}  // namespace rekkon::cli
