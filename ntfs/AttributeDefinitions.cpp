#include <array>
#include <string_view>
#include <vector>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsMount.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// $AttrDef (record 4) is a table of 160-byte entries: the attribute name as 64 UTF-16 units,
// zero-padded, then the type code (u32 at 0x80).
constexpr std::size_t kEntryBytes = 160;
constexpr std::size_t kNameUnits = 64;
constexpr std::size_t kTypeCodeOffset = 0x80;
// Read in pieces of whole entries; no table is longer than the limit.
constexpr std::size_t kPieceBytes = 25 * kEntryBytes;
constexpr std::uint64_t kMaxTableBytes = 64 * 1024;

struct KnownType {
    std::string_view name;
    std::uint32_t NtfsVolume::*slot;
    std::uint32_t defaultCode;
    bool mustBeDefault;
};

constexpr std::array<KnownType, 10> kKnownTypes = {{
    {"$STANDARD_INFORMATION", &NtfsVolume::typeStandardInformation, 0x10, true},
    {"$ATTRIBUTE_LIST", &NtfsVolume::typeAttributeList, 0x20, true},
    {"$FILE_NAME", &NtfsVolume::typeFileName, 0x30, true},
    {"$SECURITY_DESCRIPTOR", &NtfsVolume::typeSecurityDescriptor, 0x50, false},
    {"$DATA", &NtfsVolume::typeData, 0x80, true},
    {"$INDEX_ROOT", &NtfsVolume::typeIndexRoot, 0x90, true},
    {"$INDEX_ALLOCATION", &NtfsVolume::typeIndexAllocation, 0xA0, true},
    {"$BITMAP", &NtfsVolume::typeBitmap, 0xB0, true},
    {"$SYMBOLIC_LINK", &NtfsVolume::typeReparsePoint, 0xC0, false},
    {"$REPARSE_POINT", &NtfsVolume::typeReparsePoint, 0xC0, false},
}};

// True when the 64-unit name field holds `name` followed by zero units, case folded.
bool nameFieldIs(const NtfsVolume& ntfs, const LeReader& entry, std::string_view name) {
    for (std::size_t i = 0; i < kNameUnits; ++i) {
        const std::uint16_t unit = entry.u16(i * 2).value_or(0);
        const std::uint16_t known = i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0;
        if (upcaseChar(ntfs, unit) != upcaseChar(ntfs, known)) return false;
    }
    return true;
}

// Applies one table entry to the slots: -1 when a fixed type has another code.
int applyEntry(NtfsVolume& ntfs, const LeReader& entry) {
    const std::uint32_t code = entry.u32(kTypeCodeOffset).value_or(0);
    for (const KnownType& known : kKnownTypes) {
        if (!nameFieldIs(ntfs, entry, known.name)) continue;
        if (known.mustBeDefault && code != known.defaultCode) return kNtfsFailure;
        ntfs.*known.slot = code;
        return kNtfsOk;
    }
    return kNtfsOk;
}

}  // namespace

int checkAttributeDefinitions(NtfsVolume& ntfs, MftFile& attrDefFile) {
    const AttributeDescriptor* table = findAttribute(attrDefFile, ntfs.typeData);
    if (table == nullptr) return kNtfsFailure;
    std::vector<std::uint8_t> piece(kPieceBytes);
    const std::uint64_t size = std::min(table->dataSize, kMaxTableBytes);
    for (std::uint64_t position = 0; position < size; position += kPieceBytes) {
        TransferRequest request{true, piece.data(), piece.size()};
        const int result = readAttributeData(attrDefFile, *table, position, request);
        if (result != kNtfsOk) return result;
        if (request.count == 0) break;
        const LeReader r{std::span<const std::uint8_t>(piece).first(request.count)};
        for (std::size_t at = 0; r.fits(at, kEntryBytes); at += kEntryBytes) {
            if (applyEntry(ntfs, LeReader(*r.slice(at, kEntryBytes))) != kNtfsOk)
                return kNtfsFailure;
        }
        if (request.count < piece.size()) break;
    }
    return kNtfsOk;
}

}  // namespace rekkon
