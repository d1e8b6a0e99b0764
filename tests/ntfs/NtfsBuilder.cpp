#include "ntfs/NtfsBuilder.h"

#include <algorithm>
#include <stdexcept>

#include "ntfs/AttributeData.h"
#include "ntfs/NtfsMount.h"

namespace rekkon::test {

namespace {

std::size_t align8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

void putName(Bytes& bytes, std::size_t offset, const std::u16string& name) {
    for (std::size_t i = 0; i < name.size(); ++i)
        put16(bytes, offset + 2 * i, name[i]);
}

// Fewest bytes that hold `value` as a two's-complement number.
std::size_t signedWidth(std::int64_t value) {
    for (std::size_t w = 1; w < 8; ++w) {
        const std::int64_t limit = std::int64_t{1} << (8 * w - 1);
        if (value >= -limit && value < limit) return w;
    }
    return 8;
}

std::size_t unsignedWidth(std::uint64_t value) {
    std::size_t w = 1;
    while (w < 8 && (value >> (8 * w)) != 0)
        ++w;
    return w;
}

}  // namespace

void put64(Bytes& b, std::size_t o, std::uint64_t v) {
    for (std::size_t i = 0; i < 8; ++i)
        b[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

Bytes mappingPairs(const std::vector<Run>& runs) {
    Bytes out;
    std::int64_t previous = 0;
    for (const Run& run : runs) {
        const std::size_t lw = unsignedWidth(run.length);
        const std::size_t ow = run.lcn < 0 ? 0 : signedWidth(run.lcn - previous);
        out.push_back(static_cast<std::uint8_t>(lw | ow << 4));
        for (std::size_t i = 0; i < lw; ++i)
            out.push_back(static_cast<std::uint8_t>(run.length >> (8 * i)));
        const auto delta = static_cast<std::uint64_t>(run.lcn - previous);
        for (std::size_t i = 0; i < ow; ++i)
            out.push_back(static_cast<std::uint8_t>(delta >> (8 * i)));
        if (run.lcn >= 0) previous = run.lcn;
    }
    out.push_back(0);
    return out;
}

Bytes residentAttribute(std::uint32_t type, const std::u16string& name, const Bytes& value) {
    const std::size_t valueOffset = align8(0x18 + 2 * name.size());
    Bytes a(align8(valueOffset + value.size()), 0);
    put32(a, 0x00, type);
    put32(a, 0x04, static_cast<std::uint32_t>(a.size()));
    a[0x09] = static_cast<std::uint8_t>(name.size());
    put16(a, 0x0A, 0x18);
    put32(a, 0x10, static_cast<std::uint32_t>(value.size()));
    put16(a, 0x14, static_cast<std::uint16_t>(valueOffset));
    putName(a, 0x18, name);
    std::copy(value.begin(), value.end(), a.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    return a;
}

Bytes nonResidentAttribute(std::uint32_t type, const std::u16string& name, const NonResident& s,
                           const Bytes& pairs) {
    const std::size_t pairsOffset = align8(0x40 + 2 * name.size());
    Bytes a(align8(pairsOffset + pairs.size()), 0);
    put32(a, 0x00, type);
    put32(a, 0x04, static_cast<std::uint32_t>(a.size()));
    a[0x08] = 1;
    a[0x09] = static_cast<std::uint8_t>(name.size());
    put16(a, 0x0A, 0x40);
    put16(a, 0x0C, s.flags);
    put64(a, 0x10, s.firstVcn);
    put64(a, 0x18, s.lastVcn);
    put16(a, 0x20, static_cast<std::uint16_t>(pairsOffset));
    put64(a, 0x28, s.allocatedSize);
    put64(a, 0x30, s.dataSize);
    put64(a, 0x38, s.initializedSize);
    putName(a, 0x40, name);
    std::copy(pairs.begin(), pairs.end(), a.begin() + static_cast<std::ptrdiff_t>(pairsOffset));
    return a;
}

Bytes attributeListEntry(std::uint32_t type, const std::u16string& name, std::uint64_t firstVcn,
                         std::uint64_t record) {
    Bytes e(align8(0x1A + 2 * name.size()), 0);
    put32(e, 0x00, type);
    put16(e, 0x04, static_cast<std::uint16_t>(e.size()));
    e[0x06] = static_cast<std::uint8_t>(name.size());
    e[0x07] = 0x1A;
    put64(e, 0x08, firstVcn);
    put64(e, 0x10, record | std::uint64_t{1} << 48);  // sequence number 1
    putName(e, 0x1A, name);
    return e;
}

Bytes fileRecord(const std::vector<Bytes>& attributes, std::size_t size, std::uint64_t baseRecord) {
    std::size_t used = 0x60;
    for (const Bytes& a : attributes)
        used += a.size();
    if (used > size) throw std::length_error("attributes do not fit in the record");
    Bytes r(size, 0);
    const std::size_t blocks = size / 512;
    std::copy_n("FILE", 4, r.begin());
    put16(r, 0x04, 0x30);
    put16(r, 0x06, static_cast<std::uint16_t>(blocks + 1));
    put16(r, 0x10, 1);  // sequence number
    put16(r, 0x16, 1);  // in use
    put64(r, 0x20, baseRecord);
    std::size_t at = align8(0x30 + 2 * (blocks + 1));
    put16(r, 0x14, static_cast<std::uint16_t>(at));
    for (const Bytes& a : attributes) {
        std::copy(a.begin(), a.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
        at += a.size();
    }
    put32(r, at, 0xFFFFFFFF);
    put32(r, 0x18, static_cast<std::uint32_t>(at + 8));
    put32(r, 0x1C, static_cast<std::uint32_t>(size));
    // Protect every 512-byte block: its last word goes to the array, the sequence number in.
    const std::uint16_t usn = 0x0A0B;
    put16(r, 0x30, usn);
    for (std::size_t k = 1; k <= blocks; ++k) {
        const std::size_t end = k * 512 - 2;
        r[0x30 + 2 * k] = r[end];
        r[0x30 + 2 * k + 1] = r[end + 1];
        put16(r, end, usn);
    }
    return r;
}

std::vector<std::pair<std::u16string, std::uint32_t>> standardDefinitions() {
    return {{u"$STANDARD_INFORMATION", 0x10},
            {u"$ATTRIBUTE_LIST", 0x20},
            {u"$FILE_NAME", 0x30},
            {u"$DATA", 0x80},
            {u"$INDEX_ROOT", 0x90}};
}

ImageBuilder::ImageBuilder() : image_(kClusters * kCluster, 0) {
    std::copy_n("\xEB\x52\x90NTFS    ", 11, image_.begin());
    put16(image_, 0x0B, 512);
    image_[0x0D] = 1;
    put64(image_, 0x30, kMftCluster);
    image_[0x40] = 0xF6;  // 2^10-byte records
    const std::uint64_t mftBytes = kMftRecords * kRecord;
    const NonResident mftSizes{0, mftBytes / kCluster - 1, mftBytes, mftBytes, mftBytes, 0};
    setRecord(
        0, fileRecord({residentAttribute(0x10, u"", Bytes(48, 0)),
                       nonResidentAttribute(0x80, u"", mftSizes,
                                            mappingPairs({{kMftCluster, mftBytes / kCluster}}))}));
    setRecord(1, fileRecord({residentAttribute(0x80, u"", Bytes(16, 1))}));
    setRecord(6, fileRecord({residentAttribute(0x80, u"", Bytes(8, 0xFF))}));
    // Upcase: identity, with 'a'..'z' and U+00E0..U+00FE (but U+00F7) folded.
    Bytes upcase(512);
    for (std::uint16_t u = 0; u < 256; ++u) {
        const bool lower = (u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7);
        put16(upcase, 2 * u, lower ? static_cast<std::uint16_t>(u - 0x20) : u);
    }
    setRecord(10, fileRecord({residentAttribute(0x80, u"", upcase)}));
    setAttributeDefinitions(standardDefinitions());
}

void ImageBuilder::setRecord(std::uint64_t number, const Bytes& diskRecord) {
    std::copy(
        diskRecord.begin(), diskRecord.end(),
        image_.begin() + static_cast<std::ptrdiff_t>(kMftCluster * kCluster + number * kRecord));
}

void ImageBuilder::put(std::uint64_t cluster, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(),
              image_.begin() + static_cast<std::ptrdiff_t>(cluster * kCluster));
}

void ImageBuilder::setAttributeDefinitions(
    const std::vector<std::pair<std::u16string, std::uint32_t>>& defs) {
    Bytes table(defs.size() * 160, 0);
    for (std::size_t i = 0; i < defs.size(); ++i) {
        putName(table, i * 160, defs[i].first);
        put32(table, i * 160 + 0x80, defs[i].second);
    }
    if (table.size() <= 800) {
        setRecord(4, fileRecord({residentAttribute(0x80, u"", table)}));
        return;
    }
    // Too long for the record: in clusters from kAttrDefCluster on.
    const std::uint64_t clusters = (table.size() + kCluster - 1) / kCluster;
    put(kAttrDefCluster, table);
    const NonResident sizes{0, clusters - 1, clusters * kCluster, table.size(), table.size(), 0};
    setRecord(4, fileRecord({nonResidentAttribute(0x80, u"", sizes,
                                                  mappingPairs({{kAttrDefCluster, clusters}}))}));
}

MountedImage::MountedImage(Bytes image) {
    auto dev = std::make_unique<MemoryDevice>(std::move(image));
    device = dev.get();
    stats = dev->stats();
    attachDevice(context, std::move(dev));
    mounted = mountNtfsOnOpenDevice(context, ntfs) == 1;
}

MountedImage::~MountedImage() {
    unmountNtfs(context, ntfs);
}

RawVolume::RawVolume(Bytes image, std::uint64_t bytesPerCluster) {
    auto dev = std::make_unique<MemoryDevice>(std::move(image));
    device = dev.get();
    attachDevice(context, std::move(dev));
    context.bytesPerCluster = bytesPerCluster;
    ntfs.context = &context;
    ntfs.bytesPerSector = 512;
    ntfs.bytesPerCluster = bytesPerCluster;
    ntfs.mftRecordSize = 1024;
}

ReadOutcome readData(MftFile& file, const AttributeDescriptor& d, std::uint64_t position,
                     std::size_t count) {
    ReadOutcome o;
    o.bytes.assign(count, 0xEE);
    TransferRequest request{true, o.bytes.data(), count};
    o.result = readAttributeData(file, d, position, request);
    o.count = request.count;
    return o;
}

}  // namespace rekkon::test
