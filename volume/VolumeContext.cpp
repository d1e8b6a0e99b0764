#include "volume/VolumeContext.h"

namespace rekkon {

namespace {
constexpr int kAttempts = 5;

void resetCommon(VolumeContext& volume) {
    volume.sector = 0;
    volume.byteInSector = 0;
    volume.kind = FileSystemKind::None;
    volume.bytesPerCluster = 0;
}
}  // namespace

int openDevice(VolumeContext& volume, const std::string& path) {
    int error = 0;
    auto device = FileSectorDevice::open(path, error);
    volume.lastOpenError = error;
    if (!device) {
        closeDevice(volume);
        return error;
    }
    attachDevice(volume, std::move(device));
    return 0;
}

void attachDevice(VolumeContext& volume, std::unique_ptr<SectorDevice> device) {
    resetCommon(volume);
    volume.reader.attach(std::move(device));
    volume.lastOpenError = 0;
}

void closeDevice(VolumeContext& volume) {
    volume.reader.close();
    resetCommon(volume);
}

std::uint64_t setPosition(VolumeContext& volume, std::uint64_t sectorDelta, std::uint64_t bytes,
                          PositionMode mode) {
    if (mode == PositionMode::Absolute) {
        volume.byteInSector = static_cast<std::uint32_t>(bytes % kSectorSize);
        volume.sector = sectorDelta + bytes / kSectorSize;
    } else {
        const std::uint64_t t = volume.byteInSector + bytes;
        volume.sector = volume.sector + sectorDelta + t / kSectorSize;
        volume.byteInSector = static_cast<std::uint32_t>(t % kSectorSize);
    }
    return volume.sector;
}

std::size_t readWithRetry(VolumeContext& volume, std::span<std::uint8_t> dest) {
    if (dest.empty()) return 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (volume.reader.readAt(volume.sector, volume.byteInSector, dest) == dest.size()) {
            setPosition(volume, 0, dest.size(), PositionMode::Relative);
            return dest.size();
        }
    }
    return 0;
}

std::size_t transferAtCluster(VolumeContext& volume, std::uint64_t cluster,
                              std::uint64_t byteOffset, TransferRequest& request) {
    const std::uint64_t bpc = volume.bytesPerCluster;
    if (bpc != 0 && cluster > (UINT64_MAX - byteOffset) / bpc) return 0;
    const std::uint64_t position = cluster * bpc + byteOffset;
    setPosition(volume, 0, position, PositionMode::Absolute);
    // The source is open read-only and never written: only reads are carried out.
    if (!request.isRead || request.count == 0) return 0;
    if (readWithRetry(volume, std::span<std::uint8_t>(request.cursor, request.count)) !=
        request.count)
        return 0;
    request.cursor += request.count;
    return request.count;
}

}  // namespace rekkon
