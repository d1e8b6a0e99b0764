#include "ntfs/AttributeTable.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "ntfs/NameCompare.h"
#include "ntfs/NtfsVolume.h"
#include "ntfs/RunList.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// What the attribute record header says, checked against the record.
struct AttributeHeader {
    std::uint32_t typeCode = 0;
    bool isResident = true;
    std::uint16_t flags = 0;
    std::vector<std::uint16_t> name;
    std::span<const std::uint8_t> value;  // resident only
    std::uint64_t firstVcn = 0;           // non-resident only, as are the sizes
    std::uint64_t allocatedSize = 0;
    std::uint64_t dataSize = 0;
    std::uint64_t initializedSize = 0;
};

std::optional<AttributeHeader> readHeader(std::span<const std::uint8_t> attribute) {
    const LeReader r(attribute);
    if (r.size() < kAttributeHeaderBytes) return std::nullopt;
    AttributeHeader h;
    h.typeCode = *r.u32(0x00);
    h.isResident = *r.u8(0x08) == 0;
    h.flags = *r.u16(0x0C);
    const std::size_t nameUnits = *r.u8(0x09);
    if (nameUnits != 0) {
        const auto nameBytes = r.slice(*r.u16(0x0A), nameUnits * 2);
        if (!nameBytes) return std::nullopt;
        const LeReader nameReader(*nameBytes);
        for (std::size_t i = 0; i < nameUnits; ++i)
            h.name.push_back(*nameReader.u16(i * 2));
    }

    if (h.isResident) {
        if (r.size() < kResidentHeaderBytes) return std::nullopt;
        const auto value = r.slice(*r.u16(0x14), *r.u32(0x10));
        if (!value) return std::nullopt;
        h.value = *value;
        return h;
    }
    if (r.size() < kNonResidentHeaderBytes) return std::nullopt;
    // The mapping pairs start inside the record, after the header.
    const std::size_t pairsOffset = *r.u16(0x20);
    if (pairsOffset < kNonResidentHeaderBytes || pairsOffset > r.size()) return std::nullopt;
    h.firstVcn = *r.u64(0x10);
    h.allocatedSize = *r.u64(0x28);
    h.dataSize = *r.u64(0x30);
    h.initializedSize = *r.u64(0x38);
    return h;
}

void fillNonResidentSizes(AttributeDescriptor& d, const AttributeHeader& h) {
    d.allocatedSize = h.allocatedSize;
    d.dataSize = h.dataSize;
    d.initializedSize = h.initializedSize;
    d.flags = h.flags;
}

AttributeKey keyOf(const NtfsVolume& volume, std::uint32_t typeCode,
                   std::span<const std::uint16_t> name) {
    AttributeKey key{typeCode, {}};
    key.foldedName.reserve(name.size());
    for (const std::uint16_t unit : name)
        key.foldedName.push_back(upcaseChar(volume, unit));
    return key;
}

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) return std::numeric_limits<std::uint64_t>::max();
    return product;
}

// An empty vector, with the memory of a spare one where there is one (MftFile::spareContents).
template <typename T>
std::vector<T> spare(std::vector<std::vector<T>>& spares) {
    if (spares.empty()) return {};
    std::vector<T> kept = std::move(spares.back());
    spares.pop_back();
    kept.clear();
    return kept;
}

}  // namespace

int parseAttribute(MftFile& file, std::span<const std::uint8_t> attribute) {
    std::optional<AttributeHeader> h = readHeader(attribute);
    if (!h) return -1;
    const NtfsVolume& volume = *file.volume;

    // Every $FILE_NAME is its own entry; any other attribute seen before is a further fragment.
    const bool isFileName = h->typeCode == volume.typeFileName;
    AttributeKey key;
    if (!isFileName) {
        key = keyOf(volume, h->typeCode, h->name);
        if (const std::size_t* held = file.attributeIndex.find(key)) {
            // A further fragment of a non-resident attribute. A resident record repeating an
            // attribute does not occur on a consistent volume and is left out.
            AttributeDescriptor& d = file.attributes[*held];
            if (d.isResident || h->isResident) return 0;
            if (h->firstVcn == 0) fillNonResidentSizes(d, *h);
            decodeRunList(volume, d, attribute);
            return 0;
        }
    }
    if (file.attributes.size() >= kMaxAttributesPerFile) return -1;

    const auto index = static_cast<std::uint32_t>(file.attributes.size());
    AttributeDescriptor& d = file.attributes.emplace_back();
    d.typeCode = h->typeCode;
    d.attributeName = std::move(h->name);
    if (!isFileName) file.attributeIndex.add(std::move(key), index);
    if (!file.attributeOrder.place(file.attributes, volume, index)) file.attributesInOrder = false;

    d.isResident = h->isResident;
    d.flags = h->flags;
    if (h->isResident) {
        d.dataSize = h->value.size();
        d.content = spare(file.spareContents);
        d.content.assign(h->value.begin(), h->value.end());
        return 0;
    }
    fillNonResidentSizes(d, *h);
    d.runs = spare(file.spareRuns);
    // A mapping pair that cannot be decoded leaves the runs decoded before it.
    decodeRunList(volume, d, attribute);
    return 0;
}

void finishAttributeTable(MftFile& file) {
    if (file.attributesInOrder) return;
    auto& table = file.attributes;
    const std::vector<std::uint32_t> order = file.attributeOrder.sequence();
    // Only a table built by parseAttribute has its order; any other is left as it is.
    if (order.size() != table.size()) return;
    std::vector<AttributeDescriptor> sorted;
    sorted.reserve(table.size());
    std::vector<std::size_t> newPosition(table.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(table[order[i]]));
        newPosition[order[i]] = i;
    }
    table = std::move(sorted);
    file.attributeIndex.renumber(newPosition);
    file.attributeOrder.reset(table, *file.volume, table.size());
    file.attributesInOrder = true;
}

void clampAttributeSizes(MftFile& file) {
    const std::uint64_t cs = file.volume->bytesPerCluster;
    for (AttributeDescriptor& d : file.attributes) {
        d.claimedDataSize = d.dataSize;
        d.sizeBeyondRuns = false;
        if (d.isResident) continue;
        const std::uint64_t span = saturatingProduct(d.runClusters(), cs);
        d.allocatedSize = std::min(d.allocatedSize, span);
        std::uint64_t limit = span;
        if (cs != 0 && d.allocatedSize != 0 && d.allocatedSize % cs == 0) limit = d.allocatedSize;
        if (d.dataSize > limit) {
            d.dataSize = limit;
            d.sizeBeyondRuns = true;
        }
        d.initializedSize = std::min(d.initializedSize, d.dataSize);
    }
}

}  // namespace rekkon
