#include "fuzz/NtfsStreams.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon::fuzz {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
// Attributes other than $DATA (indexes, bitmaps, lists) are read only this far.
constexpr std::uint64_t kOtherAttributeBudget = 64 * 1024;

// Reads through `readAt(position, request)` from byte 0 until a read fails or comes back empty,
// `limit` bytes are read, or `budget` runs out.
template <typename ReadAt>
void readFromStart(std::uint64_t dataSize, std::uint64_t limit, std::uint64_t& budget,
                   std::vector<std::uint8_t>& chunk, ReadAt readAt) {
    std::uint64_t position = 0;
    while (budget > 0 && position < limit) {
        const std::size_t want = static_cast<std::size_t>(
            std::min({budget, limit - position, std::uint64_t{chunk.size()}}));
        TransferRequest request{true, chunk.data(), want};
        const int result = readAt(position, request);
        fuzzCheck(request.count <= want, "an NTFS read delivered more than asked");
        if (result != kNtfsOk || request.count == 0) break;
        fuzzCheck(position + request.count <= dataSize, "an NTFS read went past the data size");
        position += request.count;
        budget -= request.count;
    }
}

}  // namespace

void readAllStreams(MftFile& file, std::uint64_t& budget) {
    if (!file.isOpen() || file.volume == nullptr) return;
    const std::uint32_t typeData = file.volume->typeData;
    // One buffer for every file and input: it is only ever written before it is read.
    static std::vector<std::uint8_t> chunk(kChunkBytes);
    for (std::size_t i = 0; i < file.attributes.size() && budget > 0; ++i) {
        const AttributeDescriptor& d = file.attributes[i];
        const std::uint64_t dataSize = d.dataSize;
        if (d.typeCode == typeData) {
            const std::string name = d.nameUtf8();
            readFromStart(dataSize, std::min(dataSize, kFuzzStreamBudget), budget, chunk,
                          [&](std::uint64_t position, TransferRequest& request) {
                              return readAttribute(file, typeData, name, position, request);
                          });
            // The tail past the data size, as a recovery that fills to the allocation asks.
            TransferRequest tail{true, chunk.data(), std::min<std::size_t>(chunk.size(), 4096)};
            readAttributeZeroFilled(file, typeData, name, dataSize, tail);
            fuzzCheck(tail.count <= 4096, "a zero-filled read delivered more than asked");
        } else {
            readFromStart(dataSize, std::min(dataSize, kOtherAttributeBudget), budget, chunk,
                          [&](std::uint64_t position, TransferRequest& request) {
                              return readAttributeData(file, file.attributes[i], position, request);
                          });
        }
    }
}

}  // namespace rekkon::fuzz
