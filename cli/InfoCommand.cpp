#include <ostream>

#include "cli/Commands.h"
#include "cli/NtfsInfo.h"
#include "cli/SourceOpen.h"
#include "recovery/ScanContext.h"

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
    ScanContext context;
    int openError = 0;
    switch (mountVolume(context, path, openError, io.openSource)) {
        case MountStatus::CannotOpen:
            io.err << openFailureMessage(path, openError) << '\n';
            return kExitSource;
        case MountStatus::NotRecognised:
            io.err << "rekkon-cli: \"" << path
                   << "\" holds no FAT or NTFS volume that can be read (no valid boot sector). "
                      "Give a partition (for example /dev/sdb1) or a volume image rather than a "
                      "whole disk.\n";
            return kExitSource;
        case MountStatus::Mounted:
            break;
    }
    if (isNtfsKind(context.volume.kind))
        printNtfsInfo(*context.ntfs, path, io.out);
    else
        printFat(io.out, path, context.fatGeometry);
    unmountVolume(context);
    return kExitOk;
}

}  // namespace rekkon::cli
