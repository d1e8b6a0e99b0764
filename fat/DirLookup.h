#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

#include "fat/DirEntry.h"
#include "fat/FatGeometry.h"

namespace rekkon {

// A folder holds at most 65,536 entries; no folder is read past this many bytes.
inline constexpr std::uint64_t kMaxFolderBytes = 65536 * kDirEntrySize;

// Compares a short entry with a path component that has been upper-cased (ASCII letters).
// `componentOem` is the component in the volume's code page (nullopt when it has no such form);
// `componentUtf8` is the same component as typed. When the 8.3 form differs, the long name
// assembled before the entry is compared, without regard to ASCII case.
bool matchEntryName(const DirEntry& entry, const std::optional<std::string>& longName,
                    const std::optional<std::string>& componentOem, std::string_view componentUtf8);

// Searches the folder at `folderCluster` (1: the FAT12/16 root area) for one name. A component
// beginning with '?' also matches deleted entries, whose first byte is then shown as '?'.
// Returns 0 with `result` filled, ENOENT or ENOMEM; the code is also left in fat.lastError.
// `shownName`, when given, receives the name the entry is shown under: its long name (for a
// deleted entry the one its pieces verify, marked when cut off) or else its 8.3 form in the
// case its flags give, in UTF-8. Names are compared by their stored bytes, so "docs" and
// "DOCS" both find a folder shown as "docs".
int findDirEntry(FatVolume& fat, std::uint32_t folderCluster, std::string_view component,
                 DirEntry& result, std::string* shownName = nullptr);

// Walks `path` ('\' and '/' separate components) from `startCluster`. Returns 0 with `result`
// holding the last component's entry, ENOENT when a component is missing or a non-folder is
// passed through, EINVAL without a path. `shownPath`, when given, has "\NAME" appended for each
// component, NAME as findDirEntry shows it.
int findPathEntry(FatVolume& fat, std::uint32_t startCluster, const std::string* path,
                  DirEntry& result, std::string* shownPath = nullptr);

}  // namespace rekkon
