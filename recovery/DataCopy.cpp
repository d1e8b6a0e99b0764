#include "recovery/DataCopy.h"

#include <algorithm>

#include "volume/AlignedBuffer.h"
#include "volume/SectorDevice.h"

namespace rekkon {

namespace {

class CopyLoop {
  public:
    // The buffer is no larger than the data needs: most found files are far smaller than a
    // chunk, and a fresh chunk-sized buffer per file would cost more than the copy. It starts on
    // a page (AlignedBuffer), where the kernel copies into it fastest.
    CopyLoop(FileDataHandle& data, std::uint64_t size, std::size_t chunkBytes, const DataSink& sink,
             const HoleSink& holes, std::uint64_t from)
        : data_(data),
          storage_(bufferBytes(size - from, chunkBytes)),
          buffer_(storage_.bytes().first(bufferBytes(size - from, chunkBytes))),
          sink_(sink),
          holes_(holes),
          position_(from) {}

    CopyStats run(std::uint64_t size) {
        while (position_ < size && !stats_.sinkFailed) {
            if (holes_ && passHole(size)) continue;
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), size - position_));
            const std::size_t got = readAt(want);
            if (got > 0) {
                deliver(got);
                badRun_ = 0;
            } else if (badRun_ >= kMaxProbedBadSectors) {
                deliverZeros(want);
                badRun_ += want / kSectorSize;
            } else {
                probeSectors(position_ + want);
            }
        }
        return stats_;
    }

  private:
    static std::size_t bufferBytes(std::uint64_t size, std::size_t chunkBytes) {
        return static_cast<std::size_t>(
            std::clamp<std::uint64_t>((size + kSectorSize - 1) / kSectorSize * kSectorSize,
                                      kSectorSize, std::max(chunkBytes, kSectorSize)));
    }

    // Hands the hole at the position to the hole sink; false when there is none.
    bool passHole(std::uint64_t size) {
        const std::uint64_t n = std::min(data_.holeBytesAt(position_), size - position_);
        if (n == 0) return false;
        if (!holes_(n)) {
            stats_.sinkFailed = true;
            return true;
        }
        position_ += n;
        stats_.bytesDelivered += n;
        stats_.holeBytes += n;
        return true;
    }

    std::size_t readAt(std::size_t want) {
        // A handle that claims more than it was asked for is not believed beyond the ask.
        return std::min(want, data_.read(position_, buffer_.first(want)));
    }

    void deliver(std::size_t n) {
        if (!sink_(std::span<const std::uint8_t>(buffer_.first(n)))) {
            stats_.sinkFailed = true;
            return;
        }
        position_ += n;
        stats_.bytesDelivered += n;
    }

    void deliverZeros(std::size_t n) {
        std::fill_n(buffer_.begin(), n, std::uint8_t{0});
        const std::uint64_t before = stats_.bytesDelivered;
        deliver(n);
        stats_.unreadableBytes += stats_.bytesDelivered - before;
    }

    // Goes over [position_, end) one sector at a time after a chunk there could not be read.
    void probeSectors(std::uint64_t end) {
        while (position_ < end && !stats_.sinkFailed) {
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>(kSectorSize - position_ % kSectorSize, end - position_));
            std::size_t got = 0;
            for (int attempt = 0; attempt < kSectorReadAttempts && got == 0; ++attempt)
                got = readAt(n);
            if (got > 0) {
                deliver(got);
                badRun_ = 0;
                continue;
            }
            deliverZeros(n);
            if (++badRun_ >= kMaxProbedBadSectors) return;
        }
    }

    FileDataHandle& data_;
    AlignedBuffer storage_;
    std::span<std::uint8_t> buffer_;  // the chunk's bytes in storage_
    const DataSink& sink_;
    const HoleSink& holes_;
    std::uint64_t position_;
    std::uint64_t badRun_ = 0;  // unreadable sectors in a row
    CopyStats stats_;
};

}  // namespace

CopyStats copyFileData(FileDataHandle& data, std::uint64_t size, std::size_t chunkBytes,
                       const DataSink& sink, const HoleSink& holes, std::uint64_t from) {
    from = std::min(from, size);
    return CopyLoop(data, size, chunkBytes, sink, holes, from).run(size);
}

}  // namespace rekkon
