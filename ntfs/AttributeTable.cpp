#include "ntfs/AttributeTable.h"

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

}  // namespace

InsertResult insertDescriptor(MftFile& file, std::uint32_t typeCode,
                              std::vector<std::uint16_t> name, bool checkExisting) {
    const NtfsVolume& volume = *file.volume;
    auto& table = file.attributes;
    if (checkExisting) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            const AttributeDescriptor& e = table[i];
            if (e.typeCode == typeCode && e.attributeName.size() == name.size() &&
                compareWideNames(volume, e.attributeName, name, name.size()) == 0)
                return {static_cast<int>(i), true};
        }
    }
    if (table.size() >= kMaxAttributesPerFile) return {};

    std::size_t at = table.size();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const AttributeDescriptor& e = table[i];
        const std::size_t common = std::min(e.attributeName.size(), name.size());
        if (e.typeCode > typeCode ||
            (e.typeCode == typeCode &&
             compareWideNames(volume, e.attributeName, name, common) == 1)) {
            at = i;
            break;
        }
    }
    AttributeDescriptor entry;
    entry.typeCode = typeCode;
    entry.attributeName = std::move(name);
    table.insert(table.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    return {static_cast<int>(at), false};
}

int parseAttribute(MftFile& file, std::span<const std::uint8_t> attribute) {
    std::optional<AttributeHeader> h = readHeader(attribute);
    if (!h) return -1;
    const NtfsVolume& volume = *file.volume;

    InsertResult slot = insertDescriptor(file, h->typeCode, h->name, true);
    if (slot.index < 0) return -1;
    if (slot.existed) {
        if (h->typeCode == volume.typeFileName) {
            // Every $FILE_NAME of a record is its own entry, after those already held.
            slot = insertDescriptor(file, h->typeCode, std::move(h->name), false);
            if (slot.index < 0) return -1;
        } else {
            // A further fragment of a non-resident attribute. A resident record repeating an
            // attribute does not occur on a consistent volume and is left out.
            AttributeDescriptor& d = file.attributes[static_cast<std::size_t>(slot.index)];
            if (d.isResident || h->isResident) return 0;
            if (h->firstVcn == 0) fillNonResidentSizes(d, *h);
            decodeRunList(volume, d, attribute);
            return 0;
        }
    }

    AttributeDescriptor& d = file.attributes[static_cast<std::size_t>(slot.index)];
    d.isResident = h->isResident;
    d.flags = h->flags;
    if (h->isResident) {
        d.dataSize = h->value.size();
        d.content.assign(h->value.begin(), h->value.end());
        return 0;
    }
    fillNonResidentSizes(d, *h);
    // A mapping pair that cannot be decoded leaves the runs decoded before it.
    decodeRunList(volume, d, attribute);
    return 0;
}

}  // namespace rekkon
