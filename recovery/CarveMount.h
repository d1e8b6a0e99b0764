#pragma once

#include <memory>
#include <vector>

#include "carve/CarveFormat.h"
#include "recovery/ScanContext.h"

namespace rekkon {

// Mounts the volume `source` holds as mountVolume does, with a search by content of its free
// space added to every scan (`formats`: empty for every format). Where no file system mounts, or
// with `raw`, the whole source is searched sector by sector instead. Returns whether a file
// system mounted beneath the search (false: the source is searched raw); the context has a
// file system either way, unless `source` is null.
bool mountForCarving(ScanContext& context, std::unique_ptr<SectorDevice> source, MountOrder order,
                     std::vector<const CarveFormat*> formats, bool raw = false);

// Adds a search by content of the free space to every later scan of the volume mounted in
// `context` (every format); nothing when it has one already or nothing is mounted.
void searchContentToo(ScanContext& context);
// Whether the context's source is searched by content alone, no file system having mounted.
bool searchedRawOnly(const ScanContext& context);

}  // namespace rekkon
