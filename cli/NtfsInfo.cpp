#include "cli/NtfsInfo.h"

#include <ostream>
#include <utility>

#include "cli/PartitionText.h"
#include "ntfs/AttributeLookup.h"

namespace rekkon::cli {

void printNtfsInfo(const NtfsVolume& ntfs, const std::string& path, const std::string& label,
                   std::ostream& out) {
    const AttributeDescriptor* mftData =
        ntfs.mftFile ? findAttribute(*ntfs.mftFile, ntfs.typeData) : nullptr;
    const std::uint64_t records =
        mftData != nullptr && ntfs.mftRecordSize != 0 ? mftData->dataSize / ntfs.mftRecordSize : 0;
    out << "Source: " << path << '\n'
        << "File system: NTFS\n"
        << "Volume label: " << (label.empty() ? "(none)" : labelText(label)) << '\n'
        << "Bytes per sector: " << ntfs.bytesPerSector << '\n'
        << "Cluster size: " << ntfs.bytesPerCluster << '\n'
        << "MFT record size: " << ntfs.mftRecordSize << '\n'
        << "MFT start cluster: " << ntfs.mftStartCluster << '\n'
        << "MFT records: " << records << '\n'
        << "Upcase table length: " << ntfs.upcaseTableLength << '\n';
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
        if (applies) out << "Damage: " << text << '\n';
}

}  // namespace rekkon::cli
