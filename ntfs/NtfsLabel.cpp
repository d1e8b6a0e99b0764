#include "ntfs/NtfsLabel.h"

#include <algorithm>
#include <vector>

#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

constexpr std::uint64_t kVolumeRecord = 3;
constexpr std::uint32_t kVolumeNameType = 0x60;

}  // namespace

std::string ntfsVolumeLabel(NtfsVolume& ntfs) {
    MftFile file;
    if (openMftFile(file, ntfs, kVolumeRecord) != kNtfsOk) return {};
    std::string label;
    const AttributeDescriptor* name = findAttribute(file, kVolumeNameType);
    if (name != nullptr && name->isResident) {
        const std::size_t bytes = std::min(name->content.size(), kMaxVolumeNameBytes);
        const LeReader r(std::span<const std::uint8_t>(name->content).first(bytes));
        std::vector<std::uint16_t> units;
        for (std::size_t at = 0; r.fits(at, 2); at += 2)
            units.push_back(r.u16(at).value_or(0));
        label = utf16ToUtf8(units);
    }
    closeMftFile(file);
    return label;
}

}  // namespace rekkon
