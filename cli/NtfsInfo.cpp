#include "cli/NtfsInfo.h"

#include <ostream>

#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsMount.h"

namespace rekkon::cli {

bool printNtfsInfo(rekkon::VolumeContext& volume, const std::string& path, std::ostream& out) {
    NtfsVolume ntfs;
    if (mountNtfsOnOpenDevice(volume, ntfs) != 1) return false;
    const AttributeDescriptor* mftData = findAttribute(*ntfs.mftFile, ntfs.typeData);
    const std::uint64_t records = mftData != nullptr ? mftData->dataSize / ntfs.mftRecordSize : 0;
    out << "Source: " << path << '\n'
        << "File system: NTFS\n"
        << "Bytes per sector: " << ntfs.bytesPerSector << '\n'
        << "Cluster size: " << ntfs.bytesPerCluster << '\n'
        << "MFT record size: " << ntfs.mftRecordSize << '\n'
        << "MFT start cluster: " << ntfs.mftStartCluster << '\n'
        << "MFT records: " << records << '\n'
        << "Upcase table length: " << ntfs.upcaseTableLength << '\n';
    unmountNtfs(volume, ntfs);
    return true;
}

}  // namespace rekkon::cli
