#include "volume/DriveList.h"

namespace rekkon {

std::optional<FileSystemName> probeDeviceFileSystem(const std::string& /*devicePath*/) {
    return std::nullopt;
}

std::vector<DriveInfo> listDrives(const std::string& /*sysfsRoot*/,
                                  const FileSystemProber& /*probe*/) {
    return {};
}

}  // namespace rekkon
