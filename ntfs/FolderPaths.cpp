#include "ntfs/FolderPaths.h"

#include <algorithm>
#include <vector>

#include "ntfs/AttributeLookup.h"
#include "ntfs/FileName.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

}  // namespace

std::uint16_t nextSequenceNumber(std::uint16_t sequence) {
    return sequence == 0xFFFF ? 1 : static_cast<std::uint16_t>(sequence + 1);
}

std::string unknownFolderMarker(std::uint64_t record) {
    return "<unknown " + std::to_string(record) + ">\\";
}

FolderPaths::Folder& FolderPaths::folder(std::uint64_t record) {
    if (const auto it = folders_.find(record); it != folders_.end()) return it->second;
    Folder& f = folders_[record];
    ++foldersRead_;
    MftFile file;
    if (openMftFile(file, volume_, record) != kNtfsOk) return f;
    const LeReader header(file.recordBuffer);
    const std::uint16_t flags = header.u16(kRecordFlagsOffset).value_or(0);
    const std::uint64_t base = header.u64(kRecordBaseOffset).value_or(0) & kRecordNumberMask;
    const auto name = chooseFileName(file);
    if (base != 0 || !name) return f;  // an extension record, or nothing to name it by
    f.isFolder = (flags & kRecordIsFolder) != 0 || name->isFolder() ||
                 findAttribute(file, volume_.typeIndexRoot, "$I30") != nullptr;
    f.inUse = (flags & kRecordInUse) != 0;
    f.sequence = header.u16(kRecordSequenceOffset).value_or(0);
    f.name = name->name;
    f.parentReference = name->parentReference;
    return f;
}

bool FolderPaths::names(const Folder& f, std::uint64_t reference) const {
    if (!f.isFolder) return false;
    const auto sequence = static_cast<std::uint16_t>(reference >> 48);
    return f.sequence == sequence || (!f.inUse && f.sequence == nextSequenceNumber(sequence));
}

std::string FolderPaths::path(std::uint64_t parentReference) {
    std::string out;
    path(parentReference, out);
    return out;
}

void FolderPaths::path(std::uint64_t parentReference, std::string& out) {
    if (folders_.size() >= kMaxCachedFolders) folders_.clear();
    // Climb from the folder named towards the root until a known path, the root or a break.
    std::vector<std::uint64_t> chain;
    std::uint64_t reference = parentReference;
    std::string& base = out;
    while (true) {
        const std::uint64_t record = reference & kRecordNumberMask;
        if (record == kRootFolderRecord) {
            base = "\\";
            break;
        }
        const bool loops = std::find(chain.begin(), chain.end(), record) != chain.end();
        if (loops || chain.size() >= kMaxFolderDepth) {
            base = unknownFolderMarker(record);
            break;
        }
        const Folder& f = folder(record);
        if (!names(f, reference)) {
            base = unknownFolderMarker(record);
            break;
        }
        if (f.path) {
            base = *f.path;
            break;
        }
        chain.push_back(record);
        reference = f.parentReference;
    }
    // Fill in the paths of the folders climbed, from the top down.
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        Folder& f = folders_[*it];
        base = joinPath(base, f.name);
        f.path = base;
    }
}

}  // namespace rekkon
