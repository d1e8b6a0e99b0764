#include "ntfs/NtfsInfo.h"

#include "ntfs/AttributeLookup.h"

namespace rekkon {

std::vector<std::pair<std::string, std::string>> ntfsGeometry(const NtfsVolume& ntfs) {
    const AttributeDescriptor* mftData =
        ntfs.mftFile ? findAttribute(*ntfs.mftFile, ntfs.typeData) : nullptr;
    const std::uint64_t records =
        mftData != nullptr && ntfs.mftRecordSize != 0 ? mftData->dataSize / ntfs.mftRecordSize : 0;
    const auto n = [](std::uint64_t value) { return std::to_string(value); };
    std::vector<std::pair<std::string, std::string>> lines = {
        {"Bytes per sector", n(ntfs.bytesPerSector)},
        {"Cluster size", n(ntfs.bytesPerCluster)},
        {"MFT record size", n(ntfs.mftRecordSize)},
        {"MFT start cluster", n(ntfs.mftStartCluster)},
        {"MFT records", n(records)},
        {"Upcase table length", n(ntfs.upcaseTableLength)},
    };
    // What the mount had to do without: the files still read, but the user should know.
    const std::pair<bool, const char*> notes[] = {
        {ntfs.usedBackupBootSector,
         "the boot sector is damaged; its copy at the end of the volume was used"},
        {ntfs.usedMftMirror, "the $MFT record is damaged; its copy in $MFTMirr was used"},
        {ntfs.mftMirrorUnavailable, "$MFTMirr cannot be read"},
        {ntfs.usedDefaultTypeCodes,
         "$AttrDef cannot be read; the standard attribute type codes are used"},
        {ntfs.usedDefaultUpcase,
         "$UpCase cannot be read; the built-in upper-case table of the first 256 characters is "
         "used"},
        {ntfs.bitmapUnavailable,
         "$Bitmap cannot be read; every cluster counts as in use when data is estimated"},
    };
    for (const auto& [applies, text] : notes)
        if (applies) lines.emplace_back("Damage", text);
    return lines;
}

}  // namespace rekkon
