#include "recovery/FileData.h"

namespace rekkon {

std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, std::uint64_t location,
                                             std::uint64_t size) {
    if (isNtfsKind(context.volume.kind)) return openNtfsFileData(context, location);
    return openFatFileData(context, location, size);
}

}  // namespace rekkon
