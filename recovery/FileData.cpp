#include "recovery/FileData.h"

namespace rekkon {

std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, std::uint64_t location,
                                             std::uint64_t size, const std::string& streamName,
                                             DataOpenError* why) {
    DataOpenError error = DataOpenError::None;
    std::unique_ptr<FileDataHandle> data;
    if (isNtfsKind(context.volume.kind)) {
        data = openNtfsFileData(context, location, streamName, error);
    } else {
        data = openFatFileData(context, location, size);
        if (!data) error = DataOpenError::CannotLocate;
    }
    if (why != nullptr) *why = error;
    return data;
}

}  // namespace rekkon
