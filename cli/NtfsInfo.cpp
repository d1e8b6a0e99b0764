#include "cli/NtfsInfo.h"

#include <ostream>

#include "ntfs/AttributeLookup.h"

namespace rekkon::cli {

void printNtfsInfo(const NtfsVolume& ntfs, const std::string& path, std::ostream& out) {
    const AttributeDescriptor* mftData =
        ntfs.mftFile ? findAttribute(*ntfs.mftFile, ntfs.typeData) : nullptr;
    const std::uint64_t records =
        mftData != nullptr && ntfs.mftRecordSize != 0 ? mftData->dataSize / ntfs.mftRecordSize : 0;
    out << "Source: " << path << '\n'
        << "File system: NTFS\n"
        << "Bytes per sector: " << ntfs.bytesPerSector << '\n'
        << "Cluster size: " << ntfs.bytesPerCluster << '\n'
        << "MFT record size: " << ntfs.mftRecordSize << '\n'
        << "MFT start cluster: " << ntfs.mftStartCluster << '\n'
        << "MFT records: " << records << '\n'
        << "Upcase table length: " << ntfs.upcaseTableLength << '\n';
}

}  // namespace rekkon::cli
