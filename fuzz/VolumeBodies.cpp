#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/CopyCheck.h"
#include "fuzz/EntryData.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/GptRepair.h"
#include "fuzz/VolumeRun.h"
#include "recovery/ByteRuns.h"
#include "recovery/ScanContext.h"
#include "recovery/SourceSelect.h"
#include "volume/MemorySectorDevice.h"

namespace rekkon::fuzz {

namespace {

// What the control byte asks of a scan. Bit 0: deep (lost folders on FAT); bits 1-2: the folder
// (the root, "\SUB", the folder of a found entry, or a found entry itself as a folder); bit 3:
// only some records (NTFS: those of found entries and a few fixed ones); bits 4-7: which entry.
struct ScanChoice {
    bool deep = false;
    unsigned folder = 0;
    bool only = false;
    unsigned pick = 0;
};

ScanChoice choiceOf(std::uint8_t control) {
    return {(control & 1) != 0, (control >> 1) & 3u, (control & 8) != 0,
            static_cast<unsigned>(control >> 4)};
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

// What `info` and the desktop's folder chooser read of the mounted volume: label, geometry, the
// live folders of the root and of the first folder in it.
void describeVolume(ScanContext& context) {
    FileSystem& fs = *context.fileSystem;
    (void)fs.label();
    (void)fs.geometry();
    if (!fs.capabilities().foldersChoosable) return;
    const std::vector<LiveFolder> top = fs.liveFolders(fs.rootFolder());
    if (!top.empty()) (void)fs.liveFolders(top.front().id);
}

}  // namespace

void scanAndRead(ScanContext& context, std::uint8_t control) {
    const ScanChoice choice = choiceOf(control);
    std::string folder;
    std::vector<std::uint64_t> only;
    if (choice.folder >= 2 || choice.only) {
        // A first scan of the whole volume lists what the second one may aim at.
        (void)scanVolume(context);
        if (!context.foundList.empty()) {
            const DeletedFileEntry& e = context.foundList[choice.pick % context.foundList.size()];
            folder = choice.folder == 2 ? e.folder : joinPath(e.folder, e.name);
            only.push_back(e.location);
        }
    } else if (choice.folder == 1) {
        folder = "\\SUB";
    }
    if (choice.only) {
        for (const std::uint64_t record : {std::uint64_t{0}, std::uint64_t{5}, std::uint64_t{24},
                                           std::uint64_t{choice.pick} + 16})
            only.push_back(record);
    } else {
        only.clear();
    }
    const int found = scanVolume(context, folder, only, ScanOptions{.deep = choice.deep});
    fuzzCheck(found == kScanFolderNotFound ||
                  (found >= 0 && static_cast<std::size_t>(found) <= context.foundList.size()),
              "the scan counted more files than it listed");
    for (const DeletedFileEntry& e : context.foundList)
        fuzzCheck(!e.folder.empty() && (e.folder.front() == '\\' || e.folder.front() == '<'),
                  "a found file without a folder path");
    std::uint64_t budget = kFuzzReadBudget;
    for (const DeletedFileEntry& entry : context.foundList) {
        if (budget == 0) break;
        auto handle = openEntryData(context, entry);
        if (!handle) continue;
        const std::uint64_t size = std::min({handle->size(), budget, kFuzzStreamBudget});
        copyThroughLoop(*handle, size);
        // Where the bytes lie, as a DFXML list gives it: runs that stay within the data.
        const ByteRunList runs = byteRunsOf(*handle, size, 4096);
        std::uint64_t covered = 0;
        for (const ByteRun& run : runs.runs) {
            fuzzCheck(run.fileOffset == covered && run.bytes != 0, "byte runs in order");
            covered += run.bytes;
        }
        fuzzCheck(covered <= size, "byte runs within the data");
        budget -= size;
    }
}

void fuzzVolume(std::span<const std::uint8_t> data) {
    ScanContext context;
    const auto image = imageOf(data);
    auto source = std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{}, image);
    if (mountVolume(context, std::move(source)) != MountStatus::Mounted) return;
    describeVolume(context);
    scanAndRead(context, controlOf(data));
    unmountVolume(context);
}

void fuzzDisk(std::span<const std::uint8_t> data) {
    const std::uint8_t control = controlOf(data);
    std::span<const std::uint8_t> disk = imageOf(data);
    // Bit 7: the GPT header and entry CRC32s made right, so that the tables' contents count.
    static std::vector<std::uint8_t> repaired;
    if ((control & 0x80) != 0) {
        repaired.assign(disk.begin(), disk.end());
        repairGptChecksums(repaired);
        disk = repaired;
    }
    const SourceOpener open = [disk](const std::string&, int&) -> std::unique_ptr<SectorDevice> {
        return std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{}, disk);
    };
    SourceChoice choice;
    // Bits 4-6: a partition asked for by number (0: the one volume partition, as by default).
    if (const int number = (control >> 4) & 7; number != 0) choice.partition = number;
    SelectedSource selected = selectSource("disk", choice, open);
    if (selected.status == SourceStatus::PartitionNeeded && selected.table &&
        !selected.table->partitions.empty()) {
        choice.partition = selected.table->partitions.front().number;
        selected = selectSource("disk", choice, open);
    }
    if (selected.table) {
        for (const PartitionInfo& p : selected.table->partitions)
            fuzzCheck(p.offset % selected.table->sectorSize == 0 && p.offset < disk.size() &&
                          p.length <= disk.size() - p.offset,
                      "a partition reaching past the source");
    }
    if (selected.status != SourceStatus::Opened) return;
    fuzzCheck(selected.device != nullptr, "an opened source without a device");
    ScanContext context;
    if (mountVolume(context, std::move(selected.device),
                    mountOrderForName(selected.fileSystemName)) != MountStatus::Mounted)
        return;
    describeVolume(context);
    scanAndRead(context, control & 0x0F);
    unmountVolume(context);
}

}  // namespace rekkon::fuzz
