#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "volume/ClusterRun.h"

namespace rekkon {

struct NtfsVolume;
struct MftFile;
struct AttributeDescriptor;

// Which clusters a volume holds in use, as far as the estimates need to know: bit k (bit k mod 8
// of byte k / 8) is set when cluster k is in use.
class ClusterUse {
  public:
    virtual ~ClusterUse() = default;
    // Clusters the bitmap covers: cluster k exists for k < clusters().
    virtual std::uint64_t clusters() const = 0;
    // Clusters in use among [first, first + count), all of which are covered.
    virtual std::uint64_t countUsed(std::uint64_t first, std::uint64_t count) = 0;
};

// Set bits among bits [first, first + count) of `bitmap`, which holds them.
std::uint64_t countSetBits(std::span<const std::uint8_t> bitmap, std::uint64_t first,
                           std::uint64_t count);

// A bitmap held in memory.
class BitmapInMemory final : public ClusterUse {
  public:
    explicit BitmapInMemory(std::span<const std::uint8_t> bitmap) : bitmap_(bitmap) {}
    std::uint64_t clusters() const override { return std::uint64_t{bitmap_.size()} * 8; }
    std::uint64_t countUsed(std::uint64_t first, std::uint64_t count) override {
        return countSetBits(bitmap_, first, count);
    }

  private:
    std::span<const std::uint8_t> bitmap_;
};

// The volume's cluster bitmap (the unnamed $DATA of $Bitmap), read a page at a time when an
// estimate first asks for one of its clusters and kept for later ones, so that what is held
// grows with the clusters the found files occupy, not with the volume. A part of a page that
// cannot be read (a 512-byte block of it) counts as all in use, so estimates err towards "Poor";
// without a $Bitmap every cluster does.
class ClusterBitmap final : public ClusterUse {
  public:
    static constexpr std::size_t kPageBytes = 4096;  // 32768 clusters
    static constexpr std::size_t kBlockBytes = 512;  // what is read again after a failed read
    // Pages held at once (16 MiB); past it the least recently used page is dropped.
    static constexpr std::size_t kMaxPages = 4096;

    explicit ClusterBitmap(NtfsVolume& volume);

    std::uint64_t clusters() const override { return bytes_ * 8; }
    std::uint64_t countUsed(std::uint64_t first, std::uint64_t count) override;

    // Clusters [first, end) whose bits could not be read.
    using UnknownSink = std::function<void(std::uint64_t first, std::uint64_t end)>;
    // The first run of clear bits (free clusters) that starts in [from, limit), as long as it
    // goes below `limit` (at most clusters()) but no longer than `atMost` clusters; nullopt when
    // there is none. Bits that could not be read are neither clear nor set: no run holds them,
    // and each stretch of them passed before the run is handed to `unknown`.
    std::optional<ClusterRun> nextClearRun(std::uint64_t from, std::uint64_t limit,
                                           std::uint64_t atMost, const UnknownSink& unknown = {});

    std::size_t pagesHeld() const { return pages_.size(); }
    std::uint64_t pagesRead() const { return pagesRead_; }

  private:
    struct Page {
        std::vector<std::uint8_t> bytes;  // unread blocks hold 0xFF
        std::uint8_t unreadBlocks = 0;    // bit k: block k could not be read
        std::list<std::uint64_t>::iterator recency;
    };
    enum class BitState : std::uint8_t { Clear, Set, Unknown };
    struct Stretch {
        BitState state = BitState::Unknown;
        std::uint64_t end = 0;  // the first bit past the stretch
    };
    // Bits from `first` on that share its state, up to `limit` (> first) or the page's end.
    Stretch stretchAt(std::uint64_t first, std::uint64_t limit);
    const Page& page(std::uint64_t index);
    const Page& pageLookup(std::uint64_t index);
    void readPage(std::uint64_t index, Page& page);
    // Reads bitmap bytes at `position`; returns how many from the start are known.
    std::size_t readBytes(std::uint64_t position, std::span<std::uint8_t> dest);

    MftFile* file_ = nullptr;
    const AttributeDescriptor* data_ = nullptr;  // owned by the volume's $Bitmap file
    std::uint64_t bytes_ = 0;
    std::unordered_map<std::uint64_t, Page> pages_;
    std::list<std::uint64_t> recency_;  // most recently used first
    std::uint64_t pagesRead_ = 0;
    const Page* last_ = nullptr;  // the page asked for last
    std::uint64_t lastIndex_ = 0;
};

}  // namespace rekkon
