#include "fuzz/EntryData.h"

#include <algorithm>

#include "fuzz/FuzzBodies.h"

namespace rekkon::fuzz {

std::unique_ptr<FileDataHandle> openEntryData(ScanContext& context, const DeletedFileEntry& entry) {
    return openFileData(context, entry);
}

std::span<const std::uint8_t> imageOf(std::span<const std::uint8_t> data) {
    return data.first(std::min<std::size_t>(data.size(), kFuzzImageBytes));
}

std::uint8_t controlOf(std::span<const std::uint8_t> data) {
    return data.empty() ? 0 : data.back();
}

}  // namespace rekkon::fuzz
