#include "ntfs/DeletedRecord.h"

#include <algorithm>

#include "ntfs/AttributeLookup.h"
#include "ntfs/FileName.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsEstimate.h"
#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// $STANDARD_INFORMATION value fields.
constexpr std::size_t kInfoCreateTimeOffset = 0x00;
constexpr std::size_t kInfoWriteTimeOffset = 0x08;
constexpr std::size_t kInfoChangeTimeOffset = 0x10;
constexpr std::size_t kInfoAccessTimeOffset = 0x18;
constexpr std::size_t kInfoFlagsOffset = 0x20;

// Whether the file has an index root named "$I30" (a folder's index of file names). Compared
// unit by unit, upper-casing ASCII letters, as often as every free record asks.
bool hasFolderIndex(const MftFile& file, std::uint32_t typeIndexRoot) {
    static constexpr std::uint16_t kI30[] = {'$', 'I', '3', '0'};
    for (const AttributeDescriptor& d : file.attributes) {
        if (d.typeCode != typeIndexRoot || d.attributeName.size() != 4) continue;
        bool same = true;
        for (std::size_t i = 0; i < 4 && same; ++i) {
            std::uint16_t u = d.attributeName[i];
            if (u >= 'a' && u <= 'z') u = static_cast<std::uint16_t>(u - 0x20);
            same = u == kI30[i];
        }
        if (same) return true;
    }
    return false;
}

// Whether any data attribute of the file, named or not, holds a byte.
bool holdsData(const MftFile& file, std::uint32_t typeData) {
    return std::any_of(file.attributes.begin(), file.attributes.end(),
                       [typeData](const AttributeDescriptor& d) {
                           return d.typeCode == typeData && d.dataSize != 0;
                       });
}

// The file attribute flags $STANDARD_INFORMATION keeps (those a $FILE_NAME would repeat).
std::uint32_t standardFlags(const MftFile& file, std::uint32_t typeStandardInformation) {
    const AttributeDescriptor* info = findAttribute(file, typeStandardInformation);
    if (info == nullptr || !info->isResident) return 0;
    return LeReader(info->content).u32(kInfoFlagsOffset).value_or(0);
}

bool hasFileSignature(std::span<const std::uint8_t> stored) {
    return stored.size() >= 4 && stored[0] == 'F' && stored[1] == 'I' && stored[2] == 'L' &&
           stored[3] == 'E';
}

// Every field of `out` starts over, but its strings and stream list keep their memory: a walk
// that hands out one file after another allocates them only while they grow.
void startOver(NtfsFoundFile& out) {
    std::string name = std::move(out.name);
    std::string folder = std::move(out.folder);
    std::vector<NtfsFoundStream> streams = std::move(out.streams);
    out = NtfsFoundFile{};
    out.name = std::move(name);
    out.name.clear();
    out.folder = std::move(folder);
    out.folder.clear();
    out.streams = std::move(streams);
    out.streams.clear();
}

}  // namespace

std::string namelessRecordName(std::uint64_t record) {
    return "<record " + std::to_string(record) + ">";
}

bool DeletedRecordReader::open(std::uint64_t number, std::span<const std::uint8_t> stored) {
    if (openMftRecordFromBuffer(file_, volume_, stored, number) != kNtfsOk) return false;
    // Attributes held in extension records are gathered through the whole read.
    if (findAttribute(file_, volume_.typeAttributeList) != nullptr)
        return openMftFile(file_, volume_, number) == kNtfsOk;
    return true;
}

void DeletedRecordReader::readTimes(NtfsFoundFile& out) const {
    const AttributeDescriptor* info = findAttribute(file_, volume_.typeStandardInformation);
    if (info == nullptr || !info->isResident) return;
    const LeReader r(info->content);
    const auto create = r.u64(kInfoCreateTimeOffset);
    const auto access = r.u64(kInfoAccessTimeOffset);
    const auto write = r.u64(kInfoWriteTimeOffset);
    if (!create || !access || !write) return;
    out.createTime = *create;
    out.accessTime = *access;
    out.writeTime = *write;
    out.lastAccessTime = *access;
    out.changeTime = r.u64(kInfoChangeTimeOffset).value_or(0);
    // A last-access time with nothing in its upper half was never set: the change time stands.
    if ((*access >> 32) == 0) out.accessTime = r.u64(kInfoChangeTimeOffset).value_or(0);
}

RecordVerdict DeletedRecordReader::examine(std::uint64_t number,
                                           std::span<const std::uint8_t> stored,
                                           NtfsFoundFile& out) {
    if (!hasFileSignature(stored)) return RecordVerdict::Unreadable;
    const LeReader header(stored);
    if ((header.u64(kRecordBaseOffset).value_or(0) & kRecordNumberMask) != 0)
        return RecordVerdict::Extension;
    if (!open(number, stored)) return RecordVerdict::Unreadable;
    if (hasFolderIndex(file_, volume_.typeIndexRoot)) return RecordVerdict::Folder;
    const AttributeDescriptor* data = findAttribute(file_, volume_.typeData);
    if (data == nullptr) return RecordVerdict::NoData;
    const FileNameValue* name = chooseFileName(file_, name_) ? &name_ : nullptr;
    if (name && name->isFolder()) return RecordVerdict::Folder;
    if (!name && (number < kFirstUserRecord || !holdsData(file_, volume_.typeData)))
        return RecordVerdict::NoName;

    startOver(out);
    out.record = number;
    out.size = data->dataSize;
    out.status = estimateAttribute(*data, clusters_);
    if (name) {
        out.attributes = name->flags;
        out.name = name->name;
        out.createTime = name->createTime;
        out.accessTime = name->accessTime;
        out.writeTime = name->writeTime;
        out.lastAccessTime = name->accessTime;
    } else {
        out.attributes = standardFlags(file_, volume_.typeStandardInformation);
        out.name = namelessRecordName(number);
    }
    readTimes(out);
    for (const AttributeDescriptor& d : file_.attributes) {
        if (d.typeCode != volume_.typeData || !d.isNamed()) continue;
        out.streams.push_back({d.nameUtf8(), d.dataSize, estimateAttribute(d, clusters_)});
    }
    if (name) {
        folders_.path(name->parentReference, out.folder);
    } else if (const auto parent = anyParentReference(file_)) {
        folders_.path(*parent, out.folder);
    } else {
        out.folder = kNoFolderMarker;
    }
    return RecordVerdict::Listed;
}

}  // namespace rekkon
