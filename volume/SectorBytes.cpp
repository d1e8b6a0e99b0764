#include "volume/SectorBytes.h"

namespace rekkon {

std::optional<std::vector<std::uint8_t>> readDeviceBytes(SectorDevice& device,
                                                         std::uint64_t byteOffset,
                                                         std::size_t length) {
    if (byteOffset % kSectorSize != 0 || length % kSectorSize != 0) return std::nullopt;
    if (const auto size = device.sizeBytes();
        size && (byteOffset > *size || length > *size - byteOffset))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(length);
    device.seekSector(byteOffset / kSectorSize);
    if (device.readSectors(bytes) != length) return std::nullopt;
    return bytes;
}

}  // namespace rekkon
