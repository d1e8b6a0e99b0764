// The one copy loop: positional reads, short reads, unreadable sectors and a refusing sink.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "recovery/DataCopy.h"

namespace rekkon {
namespace {

// Data whose byte k is k % 251; reads of more than `maxRead` bytes come back short, and
// sectors in `bad` (or at and past `readableEnd`) cannot be read.
class ScriptedData final : public FileDataHandle {
  public:
    explicit ScriptedData(std::uint64_t size) : size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        ++calls;
        if (reinterpret_cast<std::uintptr_t>(buffer.data()) % 4096 != 0) ++offPage;
        std::size_t n = std::min<std::size_t>(buffer.size(), maxRead);
        std::size_t got = 0;
        while (got < n && position + got < size_) {
            const std::uint64_t at = position + got;
            if (bad.count(at / 512) || at >= readableEnd) break;
            buffer[got++] = static_cast<std::uint8_t>(at % 251);
        }
        return got;
    }
    std::set<std::uint64_t> bad;
    std::uint64_t readableEnd = ~std::uint64_t{0};
    std::size_t maxRead = ~std::size_t{0};
    int calls = 0;
    int offPage = 0;  // reads into a buffer that does not start on a 4096-byte page

  private:
    std::uint64_t size_;
};

struct Collected {
    std::vector<std::uint8_t> bytes;
    DataSink sink() {
        return [this](std::span<const std::uint8_t> b) {
            bytes.insert(bytes.end(), b.begin(), b.end());
            return true;
        };
    }
};

TEST(DataCopyTest, AShortReadIsNotTheEnd) {
    ScriptedData data(10'000);
    data.maxRead = 700;  // like NTFS at its initialized size: fewer bytes, then more
    Collected out;
    const CopyStats stats = copyFileData(data, 10'000, 4096, out.sink());
    EXPECT_EQ(stats.bytesDelivered, 10'000u);
    EXPECT_EQ(stats.unreadableBytes, 0u);
    ASSERT_EQ(out.bytes.size(), 10'000u);
    for (std::size_t k = 0; k < out.bytes.size(); ++k)
        ASSERT_EQ(out.bytes[k], k % 251) << k;
}

// The kernel copies from the page cache several times slower into a buffer off a page boundary.
TEST(DataCopyTest, EveryReadLandsOnAPage) {
    for (const std::uint64_t size : {100ULL, 3ULL << 20}) {
        ScriptedData data(size);
        const CopyStats stats = copyFileData(data, size, 1 << 20, [](auto) { return true; });
        EXPECT_EQ(stats.bytesDelivered, size);
        EXPECT_EQ(data.offPage, 0) << size;
    }
}

TEST(DataCopyTest, UnreadableSectorsBecomeCountedZerosAndTheirNeighboursAreKept) {
    ScriptedData data(8 * 512 + 100);
    data.bad = {1, 6, 8};  // sector 8 is the partial last one
    Collected out;
    const CopyStats stats = copyFileData(data, 8 * 512 + 100, 4 * 512, out.sink());
    EXPECT_EQ(stats.bytesDelivered, 8u * 512 + 100);
    EXPECT_EQ(stats.unreadableBytes, 2u * 512 + 100);
    ASSERT_EQ(out.bytes.size(), 8u * 512 + 100);
    for (std::size_t k = 0; k < out.bytes.size(); ++k) {
        const bool zero = data.bad.count(k / 512) != 0;
        ASSERT_EQ(out.bytes[k], zero ? 0 : k % 251) << k;
    }
}

TEST(DataCopyTest, DataThatCannotBeReadAtAllEndsWithBoundedWork) {
    const std::uint64_t size = 64ULL << 20;  // 64 MiB, none of it readable past 1000 bytes
    ScriptedData data(size);
    data.readableEnd = 1000;
    std::uint64_t delivered = 0;
    const CopyStats stats = copyFileData(data, size, 1 << 20, [&](std::span<const std::uint8_t> b) {
        delivered += b.size();
        return true;
    });
    EXPECT_EQ(stats.bytesDelivered, size);
    EXPECT_EQ(delivered, size);
    EXPECT_EQ(stats.unreadableBytes, size - 1000);
    // Sector by sector only until the dead stretch is known, then one read per chunk.
    EXPECT_LE(data.calls,
              kSectorReadAttempts * static_cast<int>(kMaxProbedBadSectors) + 2 * 64 + 8);
}

TEST(DataCopyTest, ARefusingSinkStopsTheCopy) {
    ScriptedData data(100'000);
    int accepted = 0;
    const CopyStats stats = copyFileData(
        data, 100'000, 1024, [&](std::span<const std::uint8_t>) { return ++accepted < 3; });
    EXPECT_TRUE(stats.sinkFailed);
    EXPECT_EQ(stats.bytesDelivered, 2048u);
    EXPECT_EQ(data.calls, 3);
}

// Data with holes: [start, end) ranges that read as zeros; a read ends where a hole starts or
// ends. Bytes read inside a hole are counted.
class HoleyData final : public FileDataHandle {
  public:
    HoleyData(std::uint64_t size, std::vector<std::pair<std::uint64_t, std::uint64_t>> holes)
        : size_(size), holes_(std::move(holes)) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        std::size_t got = 0;
        for (; got < buffer.size() && position + got < size_; ++got) {
            const std::uint64_t at = position + got;
            if (got > 0 && inHole(at) != inHole(at - 1)) break;
            if (inHole(at)) ++holeReads;
            buffer[got] = inHole(at) ? 0 : static_cast<std::uint8_t>(at % 251 + 1);
        }
        return got;
    }
    std::uint64_t holeBytesAt(std::uint64_t position) const override {
        for (const auto& [start, end] : holes_)
            if (position >= start && position < end) return end - position;
        return 0;
    }
    std::uint64_t holeReads = 0;

  private:
    bool inHole(std::uint64_t at) const { return holeBytesAt(at) != 0; }
    std::uint64_t size_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> holes_;
};

// Collects the copy with holes as zeros, and the holes handed over.
struct CollectedWithHoles : Collected {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> holes;  // (at, bytes)
    HoleSink holeSink() {
        return [this](std::uint64_t n) {
            holes.emplace_back(bytes.size(), n);
            bytes.resize(bytes.size() + n, 0);
            return true;
        };
    }
};

TEST(DataCopyTest, HolesArePassedWholeAndTheBytesStayTheSame) {
    // A hole inside a chunk, one across chunks, a one-byte hole, and one reaching past the size.
    const std::uint64_t size = 40'000;
    HoleyData data(size, {{1000, 5000}, {7000, 7001}, {9000, 30'000}, {39'000, 50'000}});
    Collected plain;
    const CopyStats without = copyFileData(data, size, 4096, plain.sink());
    EXPECT_EQ(without.holeBytes, 0u);
    ASSERT_EQ(plain.bytes.size(), size);

    data.holeReads = 0;
    CollectedWithHoles out;
    const CopyStats with = copyFileData(data, size, 4096, out.sink(), out.holeSink());
    EXPECT_EQ(out.bytes, plain.bytes);
    EXPECT_EQ(with.bytesDelivered, size);
    EXPECT_EQ(with.unreadableBytes, 0u);
    EXPECT_EQ(with.holeBytes, 4000u + 1 + 21'000 + 1000);
    using Hole = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(out.holes,
              (std::vector<Hole>{{1000, 4000}, {7000, 1}, {9000, 21'000}, {39'000, 1000}}));
    EXPECT_EQ(data.holeReads, 0u) << "no hole is read";
}

TEST(DataCopyTest, ARefusedHoleStopsTheCopy) {
    HoleyData data(10'000, {{2000, 9000}});
    Collected out;
    const CopyStats stats =
        copyFileData(data, 10'000, 4096, out.sink(), [](std::uint64_t) { return false; });
    EXPECT_TRUE(stats.sinkFailed);
    EXPECT_EQ(stats.bytesDelivered, 2000u);
    EXPECT_EQ(stats.holeBytes, 0u);
}

}  // namespace
}  // namespace rekkon
