#include <ostream>

#include "cli/Commands.h"
#include "cli/NtfsInfo.h"
#include "cli/Options.h"
#include "cli/PartitionText.h"
#include "cli/VolumeSelect.h"
#include "recovery/ScanContext.h"

namespace rekkon::cli {

namespace {

const char* fatName(const FatGeometry& g) {
    return g.fatBits == 12 ? "FAT12" : g.fatBits == 16 ? "FAT16" : "FAT32";
}

void printFat(std::ostream& out, const std::string& path, const FatGeometry& g,
              const std::string& label) {
    // Counts are shown in the volume's own sectors, as its boot sector states them.
    const std::uint64_t scale = g.bytesPerSector / kSectorSize;
    out << "Source: " << path << '\n'
        << "File system: " << fatName(g) << '\n'
        << "Volume label: " << (label.empty() ? "(none)" : labelText(label)) << '\n'
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

namespace {

constexpr const char* kInfoUsage =
    "usage: rekkon-cli info SOURCE [--partition N | --offset BYTES]\n";

// Prints the geometry of the volume mounted in `context`, read from `shown`.
void printGeometry(std::ostream& out, ScanContext& context, const std::string& shown) {
    const std::string label = volumeLabel(context);
    if (isNtfsKind(context.volume.kind))
        printNtfsInfo(*context.ntfs, shown, label, out);
    else
        printFat(out, shown, context.fatGeometry, label);
    unmountVolume(context);
}

// A partitioned disk: its table, then the geometry of each FAT/NTFS partition in it.
int printDisk(const std::string& path, const PartitionTable& table, Streams& io) {
    io.out << "Source: " << path << '\n'
           << "Partition table: " << schemeText(table.scheme) << ", " << table.sectorSize
           << "-byte sectors\n";
    printPartitionRows(io.out, table, false);
    int status = kExitOk;
    int shown = 0;
    for (const PartitionInfo& p : table.partitions) {
        if (p.extended || !isVolumeFileSystemName(p.fileSystem)) continue;
        SourceChoice choice;
        choice.partition = p.number;
        ScanContext context;
        io.out << '\n';
        if (const int opened =
                openVolume(path, choice, io, context, "FAT or NTFS", "no valid boot sector");
            opened != kExitOk) {
            status = opened;
            continue;
        }
        printGeometry(io.out, context, volumeText(path, p.number));
        ++shown;
    }
    if (shown == 0 && status == kExitOk) {
        // Nothing on the disk can be read: as `list` does, say so and fail.
        io.err << "rekkon-cli: \"" << path << "\" holds a " << schemeText(table.scheme)
               << " partition table with no FAT or NTFS partition. Give --partition N to try one "
                  "anyway.\n";
        return kExitSource;
    }
    return status;
}

}  // namespace

int runInfo(const std::vector<std::string>& args, Streams& io) {
    std::string error;
    const auto options = parseOptions(args, {"partition", "offset"}, {}, {}, error);
    if (!options || options->positional.size() != 1) {
        io.err << kInfoUsage;
        return kExitUsage;
    }
    SourceChoice choice;
    if (!readSourceChoice(*options, io, choice)) return kExitUsage;
    const std::string& path = options->positional[0];
    if (!choice.partition && !choice.offset) {
        // A disk with a table is shown whole, whatever partitions it holds.
        const SelectedSource selected = selectSource(path, choice, io.openSource);
        if (selected.table) return printDisk(path, *selected.table, io);
        if (selected.status == SourceStatus::CannotOpen)
            return explainSelection(selected, path, choice, io);
    }
    ScanContext context;
    if (const int status =
            openVolume(path, choice, io, context, "FAT or NTFS", "no valid boot sector");
        status != kExitOk)
        return status;
    printGeometry(io.out, context, volumeText(path, choice.partition));
    return kExitOk;
}

}  // namespace rekkon::cli
