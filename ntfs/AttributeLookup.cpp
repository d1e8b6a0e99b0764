#include "ntfs/AttributeLookup.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ntfs/AttributeData.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

const AttributeDescriptor* findAttribute(const MftFile& file, std::uint32_t typeCode,
                                         std::string_view name) {
    if (file.volume == nullptr) return nullptr;
    // Most lookups are for an unnamed attribute: no conversion, no allocation.
    if (name.empty()) {
        for (const AttributeDescriptor& d : file.attributes) {
            if (d.typeCode == typeCode && d.attributeName.empty()) return &d;
            if (typeCode < d.typeCode && file.attributesInOrder) break;
        }
        return nullptr;
    }
    const std::vector<std::uint16_t> wanted = utf8ToUtf16(name);
    for (const AttributeDescriptor& d : file.attributes) {
        if (d.typeCode == typeCode && d.attributeName.size() == wanted.size() &&
            compareWideNames(*file.volume, d.attributeName, wanted, wanted.size()) == 0)
            return &d;
        // A sorted table holds no match after a greater type code.
        if (typeCode < d.typeCode && file.attributesInOrder) break;
    }
    return nullptr;
}

namespace {

// The attribute a read asks for; without one the request is emptied.
const AttributeDescriptor* findForRead(const MftFile& file, std::uint32_t typeCode,
                                       std::string_view name, TransferRequest& request) {
    request.isRead = true;
    const AttributeDescriptor* d = findAttribute(file, typeCode, name);
    if (d == nullptr) request.count = 0;
    return d;
}

}  // namespace

int readAttribute(MftFile& file, std::uint32_t typeCode, std::string_view name,
                  std::uint64_t position, TransferRequest& request) {
    const AttributeDescriptor* d = findForRead(file, typeCode, name, request);
    if (d == nullptr) return kNtfsFailure;
    return readAttributeData(file, *d, position, request);
}

int readAttributeZeroFilled(MftFile& file, std::uint32_t typeCode, std::string_view name,
                            std::uint64_t position, TransferRequest& request) {
    const AttributeDescriptor* d = findForRead(file, typeCode, name, request);
    if (d == nullptr) return kNtfsFailure;
    const std::size_t n = request.count;
    if (position <= d->dataSize && n <= d->dataSize - position)
        return readAttributeData(file, *d, position, request);
    // A resident value has no allocation beyond its size.
    const std::uint64_t allocated = d->isResident ? d->dataSize : d->allocatedSize;
    if (position >= allocated) {
        request.count = 0;
        return kNtfsFailure;
    }
    const std::size_t z =
        static_cast<std::size_t>(std::min<std::uint64_t>(n, allocated - position));
    std::memset(request.cursor, 0, z);
    std::uint8_t* const start = request.cursor;
    request.count = z;
    if (position >= d->dataSize) {
        request.cursor = start + z;
        return kNtfsOk;
    }
    const int result = readAttributeData(file, *d, position, request);
    if (result != kNtfsOk) return result;
    if (request.count == d->dataSize - position) request.count = z;
    request.cursor = start + z;
    return kNtfsOk;
}

}  // namespace rekkon
