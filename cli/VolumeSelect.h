#pragma once

#include <optional>
#include <string>
#include <vector>

#include "carve/CarveFormat.h"

#include "cli/Cli.h"
#include "cli/Options.h"
#include "recovery/ScanContext.h"
#include "recovery/SourceSelect.h"

namespace rekkon::cli {

// Reads --partition N and --offset BYTES from `options` into `choice`; false after printing
// why they cannot be used (not numbers, or both given).
bool readSourceChoice(const Options& options, Streams& io, SourceChoice& choice);

// How messages name the volume: "disk.img partition 2", or the source's path.
std::string volumeText(const std::string& path, std::optional<int> partition);

// Prints why `selected` (not Opened) gives no volume and returns the exit status: 2 for a
// partition or offset that does not fit the source, or a disk on which one must be chosen;
// 3 when the source cannot be opened or has no FAT, exFAT or NTFS partition.
int explainSelection(const SelectedSource& selected, const std::string& path,
                     const SourceChoice& choice, Streams& io);

// Opens SOURCE's volume as `choice` says (the partition asked for, the volume at the offset, the
// disk's only FAT, exFAT or NTFS partition, said so on stderr, or the source itself) and mounts it
// into `context`. Returns kExitOk, or the exit status after printing why not; `wanted` names what
// the command reads ("FAT, exFAT or NTFS") and `why` what the mount missed ("no valid boot
// sector"). `volumeOffset`, when given, receives the byte offset of the volume in SOURCE. A search
// by content asked for (--carve, --type, --raw): the formats (empty: all), and whether the whole
// source is searched sector by sector whatever it holds.
struct CarveChoice {
    std::vector<const CarveFormat*> formats;
    bool raw = false;
};
// Reads --carve, --type LIST and --raw (either of the last two implies --carve) into `carve`
// (left empty without them); false after printing why they cannot be used (a type not known).
bool readCarveChoice(const Options& options, Streams& io, std::optional<CarveChoice>& carve);
// With `carve`, the volume's free space is searched by content too; a source that holds no
// volume that can be read (or --raw) is searched whole, said so on stderr.
int openVolume(const std::string& path, const SourceChoice& choice, Streams& io,
               ScanContext& context, const std::string& wanted = "FAT, exFAT or NTFS",
               const std::string& why = "", std::uint64_t* volumeOffset = nullptr,
               const CarveChoice* carve = nullptr);

}  // namespace rekkon::cli
