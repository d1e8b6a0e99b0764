#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ntfs/AttributeIndex.h"
#include "ntfs/AttributeOrder.h"

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

// Where in the runs a read ended: the run at `index`, which starts at VCN `startVcn`. The runs of
// a descriptor only ever grow at their end, so a position once found stays true.
struct RunPosition {
    std::size_t index = 0;
    std::uint64_t startVcn = 0;
};

// Mapping pairs of a fragment that arrived before the fragments in front of it; they join the
// runs once the runs reach `firstVcn`.
struct PendingFragment {
    std::uint64_t firstVcn = 0;
    std::vector<DataRun> runs;
};

// The compression unit a compressed attribute's last read ended in, decompressed
// (ntfs/CompressedData.cpp).
struct CompressedUnit;
// Holds it for one descriptor; a copy of the descriptor starts without one.
struct CompressedUnitSlot {
    std::shared_ptr<CompressedUnit> unit;
    CompressedUnitSlot() = default;
    CompressedUnitSlot(const CompressedUnitSlot&) {}
    CompressedUnitSlot& operator=(const CompressedUnitSlot&) {
        unit.reset();
        return *this;
    }
    CompressedUnitSlot(CompressedUnitSlot&&) noexcept = default;
    CompressedUnitSlot& operator=(CompressedUnitSlot&&) noexcept = default;
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
    // What the record claimed as the data size, kept when the table cut it to what the runs
    // hold (clampAttributeSizes); `sizeBeyondRuns` says that it had to.
    std::uint64_t claimedDataSize = 0;
    bool sizeBeyondRuns = false;
    // Where the previous read ended, so that a read that follows it goes on from there instead
    // of walking the runs from VCN 0; `runSteps` counts the runs the reads stepped through.
    // Neither is part of the attribute's value.
    mutable RunPosition readPosition;
    mutable std::uint64_t runSteps = 0;
    // The last compression unit read, so that reads inside one unit decompress it once. Not
    // part of the attribute's value either.
    mutable CompressedUnitSlot lastUnit;

    bool isNamed() const { return !attributeName.empty(); }
    // The name as UTF-8, converted whole.
    std::string nameUtf8() const;
    // Clusters the runs describe, from VCN 0 (their VCN span, sparse runs included). Runs only
    // grow at their end, so the sum goes on from the runs counted before.
    std::uint64_t runClusters() const;
    mutable std::size_t countedRuns = 0;
    mutable std::uint64_t countedClusters = 0;
};

// One MFT record opened as a file: the base record and the attributes of it and of every
// extension record its attribute list names, in one table sorted by type code, then name.
struct MftFile {
    NtfsVolume* volume = nullptr;  // not owned
    std::uint64_t recordNumber = 0;
    std::vector<std::uint8_t> recordBuffer;  // base record, fixups applied; empty when closed
    std::vector<AttributeDescriptor> attributes;
    std::vector<std::uint64_t> loadedRecords;  // merged records in load order, base first

    // Kept while the table is built (AttributeTable.h): the entry of each attribute but
    // $FILE_NAME by its key, the records merged (once there are more than a few: MftRecord.cpp),
    // the table order of the entries, and whether an entry arrived out of order since the table
    // was last put in order.
    AttributeIndex attributeIndex;
    std::set<std::uint64_t> loadedRecordSet;
    AttributeOrder attributeOrder;
    bool attributesInOrder = true;

    // What the entries of the record opened before left, for the entries of the next one, so
    // that a walk opening one record after another allocates little per record: emptied
    // resident values and run lists (at most kMaxSpares each).
    static constexpr std::size_t kMaxSpares = 64;
    std::vector<std::vector<std::uint8_t>> spareContents;
    std::vector<std::vector<DataRun>> spareRuns;

    bool isOpen() const { return !recordBuffer.empty(); }
};

// Releases what the file holds; a closed or never opened file is left as it is.
void closeMftFile(MftFile& file);

}  // namespace rekkon
