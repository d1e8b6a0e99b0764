#include "support/Mounted.h"

#include <stdexcept>

namespace rekkon::test {

FatFileSystem& fatOf(ScanContext& context) {
    auto* fat = dynamic_cast<FatFileSystem*>(context.fileSystem.get());
    if (fat == nullptr) throw std::logic_error("the context holds no FAT volume");
    return *fat;
}

NtfsVolume& ntfsOf(ScanContext& context) {
    auto* ntfs = dynamic_cast<NtfsFileSystem*>(context.fileSystem.get());
    if (ntfs == nullptr) throw std::logic_error("the context holds no NTFS volume");
    return ntfs->ntfs();
}

int mountFatInto(ScanContext& context) {
    context.fileSystem = fatFileSystemType().mount(context.volume);
    return context.fileSystem ? 1 : 0;
}

}  // namespace rekkon::test
