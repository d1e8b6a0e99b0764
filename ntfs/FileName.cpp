#include "ntfs/FileName.h"

#include <vector>

#include "ntfs/MftRecord.h"
#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon {

std::uint64_t FileNameValue::parentRecord() const {
    return parentReference & kRecordNumberMask;
}

std::uint16_t FileNameValue::parentSequence() const {
    return static_cast<std::uint16_t>(parentReference >> 48);
}

std::optional<FileNameValue> readFileName(std::span<const std::uint8_t> value) {
    if (value.size() < kMinFileNameValue) return std::nullopt;
    const LeReader r(value);
    FileNameValue out;
    out.parentReference = *r.u64(kFileNameParentOffset);
    out.createTime = *r.u64(kFileNameCreateTimeOffset);
    out.accessTime = *r.u64(kFileNameAccessTimeOffset);
    out.writeTime = *r.u64(kFileNameWriteTimeOffset);
    out.flags = *r.u32(kFileNameFlagsOffset);
    out.nameLength = *r.u8(kFileNameLengthOffset);
    out.nameSpace = *r.u8(kFileNameSpaceOffset);
    std::vector<std::uint16_t> units;
    units.reserve(out.nameLength);
    for (std::size_t i = 0; i < out.nameLength; ++i) {
        const auto unit = r.u16(kFileNameUnitsOffset + 2 * i);
        if (!unit || *unit == 0) break;
        units.push_back(*unit);
    }
    out.name = utf16ToUtf8(units);
    return out;
}

std::optional<FileNameValue> chooseFileName(const MftFile& file) {
    if (file.volume == nullptr) return std::nullopt;
    const std::uint32_t type = file.volume->typeFileName;
    std::optional<FileNameValue> chosen;
    for (const AttributeDescriptor& d : file.attributes) {
        if (d.typeCode != type || !d.isResident || d.dataSize < kMinFileNameValue) continue;
        auto value = readFileName(d.content);
        if (!value) continue;
        const bool better =
            !chosen || value->nameLength > chosen->nameLength ||
            (value->nameLength == chosen->nameLength && chosen->nameSpace == kDosNameSpace &&
             value->nameSpace != kDosNameSpace);
        if (better) chosen = std::move(value);
    }
    return chosen;
}

std::optional<std::uint64_t> anyParentReference(const MftFile& file) {
    if (file.volume == nullptr) return std::nullopt;
    for (const AttributeDescriptor& d : file.attributes) {
        if (d.typeCode != file.volume->typeFileName || !d.isResident) continue;
        if (const auto parent = LeReader(d.content).u64(kFileNameParentOffset)) return parent;
    }
    return std::nullopt;
}

}  // namespace rekkon
