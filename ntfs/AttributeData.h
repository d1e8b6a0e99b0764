#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/MftFile.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// Compression method bits of the attribute flags (0x0001 = LZNT1); the sparse (0x8000) and
// encrypted (0x4000) bits do not make data compressed.
inline constexpr std::uint16_t kAttributeCompressionMask = 0x00FF;

inline bool isCompressed(const AttributeDescriptor& d) {
    return !d.isResident && (d.flags & kAttributeCompressionMask) != 0;
}

// Hands `bytes` to the request: copies them to its cursor and advances the cursor.
void putBytes(TransferRequest& request, std::span<const std::uint8_t> bytes);

// Delivers `count` zero bytes at the request's cursor and advances it. Returns 0.
int deliverZeros(TransferRequest& request, std::size_t count);

// Reads request.count bytes of the attribute's data at byte `position` to request.cursor.
// Returns 0 with request.count set to the bytes delivered, -1 on failure, or NTFS_NOT_AVAILABLE
// when no run covers the position.
// - Nothing is delivered at or past the data size; a request reaching past it is shortened.
// - Bytes at or past the initialized size read as zeros. When a request starts below the
//   initialized size and reaches past it, the zeros are delivered after the bytes below it, but
//   request.count counts only the bytes below it (the next request at position + count gets the
//   zeros again).
// - Sparse runs read as zeros; compressed attributes go through readCompressedData.
// - A cluster transfer that fails, or runs that end early, leave a short count and result 0.
int readAttributeData(MftFile& file, const AttributeDescriptor& descriptor, std::uint64_t position,
                      TransferRequest& request);

}  // namespace rekkon
