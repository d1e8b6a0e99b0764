#pragma once

#include <span>
#include <string>

#include "fat/FatGeometry.h"

namespace rekkon {

// The label an 11-byte FAT label field holds, in UTF-8 with its trailing spaces removed; empty
// for a field of spaces, of zeros, or "NO NAME" (what formatting writes when none is given).
std::string fatLabelText(std::span<const std::uint8_t> field);

// The volume's label: the root folder's label entry (attribute 0x08, not a long-name piece, not
// deleted) when it has one, else the boot sector's label field (geometry.bootLabel). The root
// is read up to its end-of-folder mark, at most kMaxFolderBytes; a root that cannot be read
// leaves the boot sector's label.
std::string fatVolumeLabel(FatVolume& fat);

}  // namespace rekkon
