#pragma once

#include "fat/FatFileSystem.h"
#include "ntfs/NtfsFileSystem.h"
#include "recovery/ScanContext.h"

namespace rekkon::test {

// The file-system parts of a context's mounted volume, for tests that look below the interface.
// Each fails the test (and throws) when the context holds another file system.
FatFileSystem& fatOf(ScanContext& context);
NtfsVolume& ntfsOf(ScanContext& context);
inline FatGeometry fatGeometryOf(ScanContext& context) {
    return fatOf(context).fatGeometry();
}

// Mounts the source attached to `context.volume` as FAT only (no other file system tried);
// 1 when mounted.
int mountFatInto(ScanContext& context);

}  // namespace rekkon::test
