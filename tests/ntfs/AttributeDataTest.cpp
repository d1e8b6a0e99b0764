#include <gtest/gtest.h>

#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsBuilder.h"

namespace rekkon {
namespace {

using test::Bytes;

std::uint8_t patternAt(std::uint64_t x) {
    return static_cast<std::uint8_t>(x * 7 + x / 512 + x / 65536);
}

// A source of any size whose byte at position x is patternAt(x).
class PatternDevice final : public SectorDevice {
  public:
    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        for (std::size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = patternAt(sector_ * 512 + i);
        sector_ += buffer.size() / 512;
        return buffer.size() / 512 * 512;
    }

  private:
    std::uint64_t sector_ = 0;
};

// The volume's bytes for the attribute bytes [position, position + count) of `runs`.
Bytes expected(const std::vector<DataRun>& runs, std::uint64_t cs, std::uint64_t position,
               std::size_t count) {
    Bytes out;
    for (std::uint64_t p = position; p < position + count; ++p) {
        std::uint64_t vcn = p / cs, start = 0;
        for (const DataRun& r : runs) {
            if (vcn < start + r.length) {
                out.push_back(r.isSparse() ? 0 : patternAt((r.lcn + vcn - start) * cs + p % cs));
                break;
            }
            start += r.length;
        }
    }
    return out;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t n) {
    return {b.begin() + from, b.begin() + from + n};
}

struct AttributeDataFixture : ::testing::Test {
    explicit AttributeDataFixture(std::uint64_t cs = 512) {
        attachDevice(context, std::make_unique<PatternDevice>());
        context.bytesPerCluster = cs;
        volume.context = &context;
        volume.bytesPerCluster = cs;
        file.volume = &volume;
        d.isResident = false;
        d.typeCode = 0x80;
    }
    void sizes(std::uint64_t data, std::uint64_t initialized, std::uint64_t allocated) {
        d.dataSize = data;
        d.initializedSize = initialized;
        d.allocatedSize = allocated;
    }
    VolumeContext context;
    NtfsVolume volume;
    MftFile file;
    AttributeDescriptor d;
};

TEST_F(AttributeDataFixture, ResidentValueUpToItsSize) {
    d.isResident = true;
    for (int i = 0; i < 120; ++i)
        d.content.push_back(static_cast<std::uint8_t>(i));
    d.dataSize = 120;
    auto o = test::readData(file, d, 50, 100);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 70u);
    EXPECT_EQ(slice(o.bytes, 0, 70), slice(d.content, 50, 70));
    EXPECT_EQ(o.bytes[70], 0xEE);
    EXPECT_EQ(test::readData(file, d, 120, 10).count, 0u);
}

TEST_F(AttributeDataFixture, ReadsAcrossRunsAndSparseRuns) {
    d.runs = {{10, 2}, {-1, 1}, {40, 3}, {7, 1}};
    sizes(7 * 512 - 100, 7 * 512 - 100, 7 * 512);
    for (const auto& [position, count] : std::vector<std::pair<std::uint64_t, std::size_t>>{
             {600, 1000}, {0, 7 * 512 - 100}, {1023, 2}, {3 * 512, 512}, {6 * 512 + 5, 50}}) {
        auto o = test::readData(file, d, position, count);
        EXPECT_EQ(o.result, 0);
        ASSERT_EQ(o.count, count) << position;
        EXPECT_EQ(o.bytes, expected(d.runs, 512, position, count)) << position;
    }
}

TEST_F(AttributeDataFixture, StopsAtDataSizeAndOutsideTheRuns) {
    d.runs = {{10, 2}};
    sizes(10 * 512, 10 * 512, 10 * 512);
    EXPECT_EQ(test::readData(file, d, 10 * 512, 4).count, 0u);
    auto past = test::readData(file, d, 10 * 512 - 3, 10);
    EXPECT_EQ(past.result, NTFS_NOT_AVAILABLE);  // shortened to 3 bytes, none of them in a run
    EXPECT_EQ(test::readData(file, d, 3 * 512, 4).result, NTFS_NOT_AVAILABLE);
    auto shortRead = test::readData(file, d, 768, 1024);  // the runs end after 256 bytes
    EXPECT_EQ(shortRead.result, 0);
    EXPECT_EQ(shortRead.count, 256u);
    EXPECT_EQ(slice(shortRead.bytes, 0, 256), expected(d.runs, 512, 768, 256));
}

TEST_F(AttributeDataFixture, ZerosBeyondInitializedSizeAreDeliveredNotCounted) {
    d.runs = {{20, 8}};
    sizes(4096, 1000, 4096);
    auto first = test::readData(file, d, 0, 4096);
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(first.count, 1000u);
    EXPECT_EQ(slice(first.bytes, 0, 1000), expected(d.runs, 512, 0, 1000));
    EXPECT_EQ(slice(first.bytes, 1000, 3096), Bytes(3096, 0));
    auto next = test::readData(file, d, 1000, 4096);
    EXPECT_EQ(next.count, 3096u);
    EXPECT_EQ(slice(next.bytes, 0, 3096), Bytes(3096, 0));
}

TEST_F(AttributeDataFixture, FailedTransferGivesShortCount) {
    auto memory = std::make_unique<test::MemoryDevice>(Bytes(64 * 512, 0x5A));
    memory->badSectors = {12};
    attachDevice(context, std::move(memory));
    context.bytesPerCluster = 512;
    d.runs = {{10, 2}, {12, 2}};
    sizes(4 * 512, 4 * 512, 4 * 512);
    auto o = test::readData(file, d, 0, 4 * 512);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 1024u);
    EXPECT_EQ(slice(o.bytes, 0, 1024), Bytes(1024, 0x5A));
}

// Reading a 10,000-run stream chunk after chunk walks its runs once, not once per chunk.
TEST_F(AttributeDataFixture, SuccessiveReadsContinueInTheRuns) {
    constexpr std::size_t kRuns = 10000;
    for (std::size_t i = 0; i < kRuns; ++i)
        d.runs.push_back({static_cast<std::int64_t>(1000 + 3 * i), 1});
    sizes(kRuns * 512, kRuns * 512, kRuns * 512);
    for (std::uint64_t position = 0; position < kRuns * 512; position += 700) {
        auto o = test::readData(file, d, position, 700);
        ASSERT_EQ(o.count, std::min<std::uint64_t>(700, kRuns * 512 - position));
        if (position % 70000 == 0) {
            EXPECT_EQ(o.bytes, expected(d.runs, 512, position, 700));
        }
    }
    EXPECT_LE(d.runSteps, kRuns);  // one step per run; a walk from VCN 0 each time: ~36 million
    // A read further back starts again from the first run, and is still right.
    const std::uint64_t before = d.runSteps;
    EXPECT_EQ(test::readData(file, d, 512 * 20, 10).bytes, expected(d.runs, 512, 512 * 20, 10));
    EXPECT_EQ(d.runSteps - before, 20u);
}

// 64-bit sizes and clusters: a 5 GiB stream whose clusters lie above 2^33.
struct AttributeDataLarge : AttributeDataFixture {
    AttributeDataLarge() : AttributeDataFixture(4096) {}
};

TEST_F(AttributeDataLarge, FiveGibStreamOnHighClusters) {
    const std::uint64_t fiveGib = 5ull << 30;
    d.runs = {{std::int64_t{1} << 33, fiveGib / 4096}};
    sizes(fiveGib, fiveGib, fiveGib);
    auto o = test::readData(file, d, fiveGib - 4100, 4200);
    EXPECT_EQ(o.count, 4100u);
    EXPECT_EQ(slice(o.bytes, 0, 4100), expected(d.runs, 4096, fiveGib - 4100, 4100));
}

TEST_F(AttributeDataFixture, ZeroFilledReadsServeUpToAllocatedSize) {
    d.runs = {{30, 8}};
    sizes(1000, 1000, 4096);
    file.attributes = {d};
    auto readZeroFilled = [&](std::uint64_t position, std::size_t count, int& result) {
        Bytes buffer(count, 0xEE);
        TransferRequest request{true, buffer.data(), count};
        result = readAttributeZeroFilled(file, 0x80, "", position, request);
        buffer.resize(request.count);
        return buffer;
    };
    int result = 0;
    EXPECT_EQ(readZeroFilled(1024, 1024, result), Bytes(1024, 0));
    EXPECT_EQ(result, 0);
    Bytes straddling = readZeroFilled(0, 2048, result);
    ASSERT_EQ(straddling.size(), 2048u);
    EXPECT_EQ(slice(straddling, 0, 1000), expected(d.runs, 512, 0, 1000));
    EXPECT_EQ(slice(straddling, 1000, 1048), Bytes(1048, 0));
    EXPECT_EQ(readZeroFilled(3000, 2000, result).size(), 1096u);  // cut at the allocated size
    readZeroFilled(4096, 16, result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(readZeroFilled(100, 16, result), expected(d.runs, 512, 100, 16));
    file.attributes.clear();
    readZeroFilled(0, 16, result);
    EXPECT_EQ(result, -1);
}

}  // namespace
}  // namespace rekkon
