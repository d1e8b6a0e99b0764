#include "ntfs/FileName.h"

#include <algorithm>
#include <array>
#include <span>

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
    FileNameValue out;
    if (!readFileName(value, out)) return std::nullopt;
    return out;
}

bool readFileName(std::span<const std::uint8_t> value, FileNameValue& out) {
    if (value.size() < kMinFileNameValue) return false;
    const LeReader r(value);
    out.parentReference = *r.u64(kFileNameParentOffset);
    out.createTime = *r.u64(kFileNameCreateTimeOffset);
    out.accessTime = *r.u64(kFileNameAccessTimeOffset);
    out.writeTime = *r.u64(kFileNameWriteTimeOffset);
    out.flags = *r.u32(kFileNameFlagsOffset);
    out.nameLength = *r.u8(kFileNameLengthOffset);
    out.nameSpace = *r.u8(kFileNameSpaceOffset);
    // At most 255 units (the length is a byte): no allocation for them.
    std::array<std::uint16_t, 255> units;
    // The units the value holds: a name the value cuts short ends there.
    const std::size_t held =
        std::min<std::size_t>(out.nameLength, (value.size() - kFileNameUnitsOffset) / 2);
    const std::span<const std::uint8_t> bytes =
        r.slice(kFileNameUnitsOffset, held * 2).value_or(std::span<const std::uint8_t>());
    std::size_t count = 0;
    for (; count * 2 + 1 < bytes.size(); ++count) {
        const auto unit = static_cast<std::uint16_t>(bytes[count * 2] | bytes[count * 2 + 1] << 8);
        if (unit == 0) break;
        units[count] = unit;
    }
    utf16ToUtf8(std::span(units).first(count), out.name);
    return true;
}

std::optional<FileNameValue> chooseFileName(const MftFile& file) {
    FileNameValue out;
    if (!chooseFileName(file, out)) return std::nullopt;
    return out;
}

bool chooseFileName(const MftFile& file, FileNameValue& out) {
    if (file.volume == nullptr) return false;
    const std::uint32_t type = file.volume->typeFileName;
    // Chosen by their headers; only the chosen name is decoded.
    const AttributeDescriptor* chosen = nullptr;
    std::uint8_t chosenLength = 0;
    std::uint8_t chosenSpace = 0;
    for (const AttributeDescriptor& d : file.attributes) {
        if (d.typeCode != type || !d.isResident || d.dataSize < kMinFileNameValue ||
            d.content.size() < kMinFileNameValue)
            continue;
        const LeReader r(d.content);
        const std::uint8_t length = *r.u8(kFileNameLengthOffset);
        const std::uint8_t space = *r.u8(kFileNameSpaceOffset);
        const bool better =
            chosen == nullptr || length > chosenLength ||
            (length == chosenLength && chosenSpace == kDosNameSpace && space != kDosNameSpace);
        if (!better) continue;
        chosen = &d;
        chosenLength = length;
        chosenSpace = space;
    }
    return chosen != nullptr && readFileName(chosen->content, out);
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
