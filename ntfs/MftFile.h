#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rekkon {

struct NtfsVolume;

// One decoded run of a non-resident attribute: `length` clusters starting at cluster `lcn`, or
// no clusters on disk at all (a sparse run) when `lcn` is kSparseLcn.
struct DataRun {
    static constexpr std::int64_t kSparseLcn = -1;
    std::int64_t lcn = kSparseLcn;
    std::uint64_t length = 0;

    bool isSparse() const { return lcn < 0; }
    bool operator==(const DataRun&) const = default;
};

// Mapping pairs of a fragment that arrived before the fragments in front of it; they join the
// runs once the runs reach `firstVcn`.
struct PendingFragment {
    std::uint64_t firstVcn = 0;
    std::vector<DataRun> runs;
};

// One attribute of an MFT file, or all fragments of one non-resident attribute merged.
struct AttributeDescriptor {
    std::uint32_t typeCode = 0;
    std::vector<std::uint16_t> attributeName;  // UTF-16 units as stored; empty when unnamed
    std::uint64_t dataSize = 0;                // resident: the value length; else the data size
    std::uint64_t allocatedSize = 0;           // non-resident only
    std::uint64_t initializedSize = 0;         // non-resident only
    std::uint16_t flags = 0;                   // the attribute header's flags
    bool isResident = true;
    std::vector<std::uint8_t> content;  // resident: the value
    std::vector<DataRun> runs;          // non-resident: runs in VCN order from VCN 0
    std::vector<PendingFragment> pendingFragments;

    bool isNamed() const { return !attributeName.empty(); }
    // The name as UTF-8, converted whole.
    std::string nameUtf8() const;
    // Clusters the runs describe, from VCN 0.
    std::uint64_t runClusters() const;
};

// One MFT record opened as a file: the base record and the attributes of it and of every
// extension record its attribute list names, in one table sorted by type code, then name.
struct MftFile {
    NtfsVolume* volume = nullptr;  // not owned
    std::uint64_t recordNumber = 0;
    std::vector<std::uint8_t> recordBuffer;  // base record, fixups applied; empty when closed
    std::vector<AttributeDescriptor> attributes;
    std::vector<std::uint64_t> loadedRecords;  // merged records in load order, base first

    bool isOpen() const { return !recordBuffer.empty(); }
};

// Releases what the file holds; a closed or never opened file is left as it is.
void closeMftFile(MftFile& file);

}  // namespace rekkon
