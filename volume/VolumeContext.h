#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "volume/SectorReader.h"

namespace rekkon {

// The layout of the file system mounted on a volume, for the readers below the file-system
// interface that need it (FAT's 12/16-bit against 32-bit entries). Nothing above them asks.
enum class FileSystemKind : std::uint8_t { None, Fat12Or16, Fat32, Ntfs };

// The open volume: the cached reader over the source, a (sector, byte) position cursor and the
// kind of file system mounted. Each file system keeps its own geometry beside it.
struct VolumeContext {
    SectorReader reader;
    std::uint64_t sector = 0;        // cursor: absolute 512-byte sector
    std::uint32_t byteInSector = 0;  // cursor: 0..511
    FileSystemKind kind = FileSystemKind::None;
    // Bytes per cluster of the mounted volume; the unit of transferAtCluster.
    std::uint64_t bytesPerCluster = 0;
    // errno of the last openDevice that failed (0 after a successful open).
    int lastOpenError = 0;

    bool isOpen() const { return reader.isOpen(); }
};

// Opens `path` read-only as the volume's source (clearing the cursor and kind, emptying the
// cache). Returns 0 or the errno of the failed open, which is also kept in lastOpenError.
int openDevice(VolumeContext& volume, const std::string& path);
// Takes over an already open source (tests, partitions, other image kinds).
void attachDevice(VolumeContext& volume, std::unique_ptr<SectorDevice> device);
void closeDevice(VolumeContext& volume);

enum class PositionMode { Absolute = 0, Relative = 1 };
// Moves the cursor; returns the resulting sector.
std::uint64_t setPosition(VolumeContext& volume, std::uint64_t sectorDelta, std::uint64_t bytes,
                          PositionMode mode);
// Reads dest.size() bytes at the cursor, up to five attempts. Returns dest.size() and advances
// the cursor on success; 0 (cursor unchanged) on failure.
std::size_t readWithRetry(VolumeContext& volume, std::span<std::uint8_t> dest);

// One transfer between the volume and memory at a cluster of the mounted volume.
struct TransferRequest {
    bool isRead = true;              // anything else is refused: the source is never written
    std::uint8_t* cursor = nullptr;  // next memory position to fill (or drain)
    std::size_t count = 0;           // bytes to transfer
};
// Positions the cursor at cluster × bytesPerCluster + byteOffset and carries out `request`.
// Returns request.count (and advances request.cursor) on success, 0 on failure.
std::size_t transferAtCluster(VolumeContext& volume, std::uint64_t cluster,
                              std::uint64_t byteOffset, TransferRequest& request);

}  // namespace rekkon
