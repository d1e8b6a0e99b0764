#include <ostream>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/PartitionText.h"
#include "cli/VolumeSelect.h"
#include "recovery/ScanContext.h"

namespace rekkon::cli {

namespace {

constexpr const char* kInfoUsage =
    "usage: rekkon-cli info SOURCE [--partition N | --offset BYTES]\n";

// Prints the geometry of the volume mounted in `context`, read from `shown`.
void printGeometry(std::ostream& out, ScanContext& context, const std::string& shown) {
    FileSystem& fs = *context.fileSystem;
    const std::string label = fs.label();
    out << "Source: " << shown << '\n'
        << "File system: " << fs.name() << '\n'
        << "Volume label: " << (label.empty() ? "(none)" : labelText(label)) << '\n';
    for (const auto& [name, value] : fs.geometry())
        out << name << ": " << value << '\n';
    unmountVolume(context);
}

// A partitioned disk: its table, then the geometry of each FAT, exFAT or NTFS partition in it.
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
                openVolume(path, choice, io, context, "FAT, exFAT or NTFS", "no valid boot sector");
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
               << " partition table with no FAT, exFAT or NTFS partition. Give --partition N to "
                  "try one "
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
            openVolume(path, choice, io, context, "FAT, exFAT or NTFS", "no valid boot sector");
        status != kExitOk)
        return status;
    printGeometry(io.out, context, volumeText(path, choice.partition));
    return kExitOk;
}

}  // namespace rekkon::cli
