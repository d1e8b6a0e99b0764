#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz/CopyCheck.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/NtfsStreams.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftFile.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsFileSystem.h"
#include "ntfs/NtfsFreeSpace.h"
#include "ntfs/NtfsLabel.h"
#include "ntfs/NtfsMount.h"
#include "ntfs/NtfsVolume.h"
#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "volume/MemorySectorDevice.h"

namespace rekkon::fuzz {

namespace {

// Free runs walked per image.
constexpr int kFuzzMaxFreeRuns = 4096;

// Walks the volume's free runs as a pass over free space does: each run starts at or past where
// the walk stands, holds at least one cluster and ends inside the volume.
void walkFreeRuns(NtfsVolume& ntfs) {
    NtfsFreeSpace space(ntfs);
    std::uint64_t next = 0;
    for (int i = 0; i < kFuzzMaxFreeRuns; ++i) {
        const auto run = space.nextFreeRun(next, i % 2 == 0 ? FreeSpaceMap::kWholeRun : 7);
        if (!run) break;
        fuzzCheck(run->first >= next && run->count > 0 && run->end() <= space.clusterCount(),
                  "a free run outside the volume or behind the walk");
        next = run->end();
    }
    fuzzCheck(space.unknownClusters() <= space.clusterCount(),
              "more clusters not known than the volume has");
}

// Records to open: those the $MFT's data holds, at most kFuzzMaxRecords.
std::uint64_t recordsToOpen(const NtfsVolume& ntfs) {
    if (ntfs.mftFile == nullptr || ntfs.mftRecordSize == 0) return kFuzzMaxRecords;
    const AttributeDescriptor* data = findAttribute(*ntfs.mftFile, ntfs.typeData);
    if (data == nullptr) return kFuzzMaxRecords;
    return std::min(kFuzzMaxRecords, data->dataSize / ntfs.mftRecordSize);
}

// The unnamed stream once more through the handle and the copy loop the commands use.
void readThroughHandle(ScanContext& context, std::uint64_t record, std::uint64_t& budget) {
    auto handle = openFileData(context, record, 0);
    if (!handle) return;
    const std::uint64_t size = std::min({handle->size(), budget, kFuzzStreamBudget});
    copyThroughLoop(*handle, size);
    budget -= size;
}

}  // namespace

void fuzzNtfsImage(std::span<const std::uint8_t> data) {
    ScanContext context;
    attachDevice(context.volume,
                 std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{}, data));
    context.fileSystem = ntfsFileSystemType().mount(context.volume);
    if (!context.fileSystem) return;
    NtfsVolume& ntfs = static_cast<NtfsFileSystem&>(*context.fileSystem).ntfs();
    // UTF-16 units of the cut value, at most 3 bytes of UTF-8 each.
    fuzzCheck(ntfsVolumeLabel(ntfs).size() <= kMaxVolumeNameBytes / 2 * 3,
              "an NTFS label longer than its value");
    std::uint64_t budget = kFuzzReadBudget;
    const std::uint64_t records = recordsToOpen(ntfs);
    for (std::uint64_t record = 0; record < records; ++record) {
        MftFile file;
        if (openMftFile(file, ntfs, record) != kNtfsOk) continue;
        readAllStreams(file, budget);
        closeMftFile(file);
        if (budget > 0) readThroughHandle(context, record, budget);
    }
    // The deleted-file scan over the same volume: every entry has a name and a folder path.
    const int found = scanVolume(context);
    fuzzCheck(found >= 0 && static_cast<std::size_t>(found) <= context.foundList.size(),
              "the scan counted more files than it listed");
    for (const DeletedFileEntry& e : context.foundList)
        fuzzCheck(!e.folder.empty() && (e.folder.front() == '\\' || e.folder.front() == '<'),
                  "a found file without a folder path");
    walkFreeRuns(ntfs);
    unmountVolume(context);
}

void fuzzMftRecord(std::span<const std::uint8_t> data) {
    std::uint32_t recordSize = 512;
    while (recordSize < 4096 && data.size() >= recordSize * 2)
        recordSize *= 2;
    if (data.size() < recordSize) return;

    // Non-resident attributes read their clusters from the input itself.
    VolumeContext source;
    attachDevice(source, std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{}, data));
    source.kind = FileSystemKind::Ntfs;
    source.bytesPerCluster = 4096;
    NtfsVolume volume;
    volume.context = &source;
    volume.bytesPerSector = 512;
    volume.sectorsPerCluster = 8;
    volume.bytesPerCluster = 4096;
    volume.mftRecordSize = recordSize;

    MftFile file;
    if (openMftRecordFromBuffer(file, volume, data.first(recordSize), 0) != kNtfsOk) {
        fuzzCheck(!file.isOpen(), "a refused record left the file open");
        return;
    }
    for (const AttributeDescriptor& d : file.attributes) {
        fuzzCheck(findAttribute(file, d.typeCode, d.nameUtf8()) != nullptr || d.isNamed(),
                  "an unnamed attribute of the table cannot be found again");
        (void)d.runClusters();
    }
    std::uint64_t budget = kFuzzRecordReadBudget;
    readAllStreams(file, budget);
    if (data.size() >= 2 * std::size_t{recordSize}) {
        // The whole input as the $MFT's data, so that record 0 (the first record, as opened)
        // reaches the records after it through its attribute list.
        MftFile mft;
        mft.volume = &volume;
        mft.recordBuffer = file.recordBuffer;
        AttributeDescriptor records;
        records.typeCode = volume.typeData;
        records.isResident = false;
        records.dataSize = records.allocatedSize = records.initializedSize =
            data.size() / recordSize * recordSize;
        records.runs.push_back(DataRun{0, (data.size() + 4095) / 4096});
        mft.attributes.push_back(std::move(records));
        volume.mftFile = &mft;
        volume.mftRecordZero = file.recordBuffer;
        MftFile listed;
        if (openMftFile(listed, volume, 0) == kNtfsOk) {
            fuzzCheck(!listed.loadedRecords.empty() && listed.loadedRecords.front() == 0,
                      "a file whose base record was not merged first");
            readAllStreams(listed, budget);
        }
        closeMftFile(listed);
        volume.mftFile = nullptr;
    }
    closeMftFile(file);
}

}  // namespace rekkon::fuzz
