#pragma once

#include <span>
#include <string>

#include "ntfs/NtfsVolume.h"

namespace rekkon {

// The one test of whether a boot sector names NTFS: its OEM name (offset 3) begins with "NTFS".
bool hasNtfsSignature(std::span<const std::uint8_t> bootSector);

// Opens `path` read-only and mounts it as NTFS. Returns 1 with `ntfs` filled, `volume.kind`
// FileSystemKind::Ntfs and `volume.bytesPerCluster` the cluster size; 0 otherwise, with the
// device closed and nothing held (a failed open leaves `volume` untouched).
// Only the boot sector and MFT record 0 are needed: a damaged boot sector is read from its copy
// in the source's last sector, a damaged record 0 from $MFTMirr; the other system records fall
// back to defaults (openSystemFiles). The flags of NtfsVolume tell what was used.
int mountNtfs(VolumeContext& volume, NtfsVolume& ntfs, const std::string& path);
// The same on a source that is already attached to `volume`.
int mountNtfsOnOpenDevice(VolumeContext& volume, NtfsVolume& ntfs);

// Releases the NTFS part and closes the device.
void unmountNtfs(VolumeContext& volume, NtfsVolume& ntfs);

// Steps of the mount, each on a volume whose geometry and record 0 are in place.
// Opens records 0, 1 and 6 as the volume's system files, loads the upcase table from record 10
// and checks the attribute definitions of record 4. Only record 0 must open (else -1): without
// record 1 mftMirrFile stays null, without record 6 (or its data) volumeBitmapFile does, an
// unreadable upcase table gives the built-in one, and attribute definitions that cannot be read
// or disagree with the standard codes give the standard codes; each sets its flag.
int openSystemFiles(NtfsVolume& ntfs);
// Reads the first 256 entries of the upcase table (the unnamed $DATA of `upcaseFile`).
void loadUpcaseTable(NtfsVolume& ntfs, MftFile& upcaseFile);
// Confirms the attribute type-code slots from the attribute definition table (the unnamed $DATA
// of `attrDefFile`): 0, or -1 when the table cannot be read or gives one of the fixed types
// another code.
int checkAttributeDefinitions(NtfsVolume& ntfs, MftFile& attrDefFile);

}  // namespace rekkon
