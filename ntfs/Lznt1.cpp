#include "ntfs/Lznt1.h"

#include <algorithm>

#include "volume/LeReader.h"

namespace rekkon {

namespace {

struct ChunkResult {
    std::size_t produced = 0;
    bool damaged = false;  // decompression cannot go on past this chunk
};

// A back-reference token holds a displacement in its high bits and a length - 3 in its low bits;
// the split moves with the position q in the block: 4 displacement bits while q <= 16, one more
// each time q passes the next power of two, up to 12 bits from q = 2049 on.
void splitToken(std::uint16_t token, std::size_t q, std::size_t& displacement,
                std::size_t& length) {
    unsigned shift = 12;
    std::uint16_t mask = 0x0FFF;
    for (std::size_t e = q - 1; e >= 16; e >>= 1) {
        --shift;
        mask >>= 1;
    }
    length = static_cast<std::size_t>(token & mask) + 3;
    displacement = static_cast<std::size_t>(token >> shift) + 1;
}

ChunkResult decompressChunk(std::span<std::uint8_t> block, std::span<const std::uint8_t> data) {
    const LeReader r(data);
    ChunkResult result;
    std::size_t& q = result.produced;
    std::size_t i = 0;
    while (i < data.size()) {
        const std::uint8_t flags = data[i++];
        for (int bit = 0; bit < 8 && i < data.size(); ++bit) {
            if ((flags >> bit & 1) == 0) {
                if (q >= block.size()) return {q, true};
                block[q++] = data[i++];
                continue;
            }
            const auto token = r.u16(i);
            if (!token) return result;  // a token cut off by the end of the chunk
            i += 2;
            std::size_t displacement = 0;
            std::size_t length = 0;
            if (q == 0) return {q, true};
            splitToken(*token, q, displacement, length);
            if (displacement > q) return {q, true};
            for (std::size_t k = 0; k < length; ++k) {
                if (q >= block.size()) return {q, true};
                // One byte at a time: an overlapping copy repeats the pattern.
                block[q] = block[q - displacement];
                ++q;
            }
        }
    }
    return result;
}

}  // namespace

std::size_t decompressLznt1(std::span<std::uint8_t> out, std::span<const std::uint8_t> in) {
    const LeReader r(in);
    std::size_t inPos = 0;
    std::size_t blockStart = 0;
    std::size_t end = 0;
    while (blockStart < out.size()) {
        const auto header = r.u16(inPos);
        if (!header || (*header & 0x0FFF) == 0) break;
        const std::size_t dataBytes = (*header & 0x0FFFu) + 1;
        const std::size_t dataStart = inPos + 2;
        const std::span<const std::uint8_t> data =
            in.subspan(dataStart, std::min(dataBytes, in.size() - dataStart));
        const std::span<std::uint8_t> block =
            out.subspan(blockStart, std::min(kLznt1BlockBytes, out.size() - blockStart));

        ChunkResult chunk;
        if ((*header & 0x8000) == 0) {
            chunk.produced = std::min(data.size(), block.size());
            std::copy_n(data.begin(), chunk.produced, block.begin());
        } else {
            chunk = decompressChunk(block, data);
        }
        if (chunk.produced > 0) end = blockStart + chunk.produced;
        if (chunk.damaged) break;
        blockStart += kLznt1BlockBytes;
        inPos = dataStart + dataBytes;
    }
    return end;
}

}  // namespace rekkon
