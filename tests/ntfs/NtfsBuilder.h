#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ntfs/MftFile.h"
#include "ntfs/NtfsVolume.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon::test {

using Bytes = std::vector<std::uint8_t>;

// One run for mappingPairs: lcn < 0 is a sparse run.
struct Run {
    std::int64_t lcn;
    std::uint64_t length;
};

// Mapping pairs for `runs`, each field in the fewest bytes, with the terminating zero byte.
Bytes mappingPairs(const std::vector<Run>& runs);

// Attribute records as NTFS lays them out (header, name, value or mapping pairs, 8-aligned).
Bytes residentAttribute(std::uint32_t type, const std::u16string& name, const Bytes& value);
struct NonResident {
    std::uint64_t firstVcn = 0;
    std::uint64_t lastVcn = 0;
    std::uint64_t allocatedSize = 0;
    std::uint64_t dataSize = 0;
    std::uint64_t initializedSize = 0;
    std::uint16_t flags = 0;
};
Bytes nonResidentAttribute(std::uint32_t type, const std::u16string& name, const NonResident& sizes,
                           const Bytes& pairs);

// An MFT record as on disk: header, `attributes`, end marker, update sequence applied every 512
// bytes. `baseRecord` is the base reference of an extension record.
Bytes fileRecord(const std::vector<Bytes>& attributes, std::size_t size = 1024,
                 std::uint64_t baseRecord = 0);

// One $ATTRIBUTE_LIST entry naming the attribute (type, name, first VCN) held in `record`.
Bytes attributeListEntry(std::uint32_t type, const std::u16string& name, std::uint64_t firstVcn,
                         std::uint64_t record);

// Writes a little-endian u64 into `bytes` at `offset` (put16 and put32 come with FatBuilder.h).
void put64(Bytes& bytes, std::size_t offset, std::uint64_t value);

// A whole small NTFS volume: 512-byte sectors and clusters, 1024-byte records, an MFT of
// kMftRecords records at cluster kMftCluster, and system records 0, 1, 4, 6 and 10 that mount.
// Data clusters start at kFirstDataCluster.
class ImageBuilder {
  public:
    static constexpr std::uint64_t kCluster = 512;
    static constexpr std::size_t kRecord = 1024;
    static constexpr std::uint64_t kMftCluster = 16;
    static constexpr std::uint64_t kMftRecords = 32;
    static constexpr std::uint64_t kFirstDataCluster = 96;
    static constexpr std::uint64_t kClusters = 1024;
    static constexpr std::uint64_t kAttrDefCluster = 1000;

    ImageBuilder();
    void setRecord(std::uint64_t number, const Bytes& diskRecord);
    void put(std::uint64_t cluster, const Bytes& bytes);
    // The $AttrDef entries (name, type code) of record 4.
    void setAttributeDefinitions(const std::vector<std::pair<std::u16string, std::uint32_t>>& defs);
    Bytes& image() { return image_; }

  private:
    Bytes image_;
};

// An attribute definition table that lists the standard types.
std::vector<std::pair<std::u16string, std::uint32_t>> standardDefinitions();

// A source over `image` with the NTFS volume mounted on it (or not: `mounted` says).
struct MountedImage {
    explicit MountedImage(Bytes image);
    ~MountedImage();
    VolumeContext context;
    NtfsVolume ntfs;
    MemoryDevice* device = nullptr;
    std::shared_ptr<MemoryDevice::Stats> stats;
    bool mounted = false;
};

// An NTFS volume over `image` that is not mounted: geometry set by hand, no MFT. For reads of
// attribute data by descriptor.
struct RawVolume {
    explicit RawVolume(Bytes image, std::uint64_t bytesPerCluster = 512);
    VolumeContext context;
    NtfsVolume ntfs;
    MemoryDevice* device = nullptr;
};

// Reads `count` bytes through readAttributeData; `result` and `count` get what it returned.
struct ReadOutcome {
    int result = 0;
    std::size_t count = 0;
    Bytes bytes;  // the whole buffer; bytes not written keep 0xEE
};
ReadOutcome readData(MftFile& file, const AttributeDescriptor& d, std::uint64_t position,
                     std::size_t count);

}  // namespace rekkon::test
