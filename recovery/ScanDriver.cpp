#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "fat/FatLabel.h"
#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "fat/LostFolders.h"
#include "ntfs/NtfsLabel.h"
#include "ntfs/NtfsMount.h"
#include "ntfs/NtfsScan.h"
#include "recovery/FatFoundEntry.h"
#include "recovery/NtfsFoundEntry.h"
#include "recovery/ScanContext.h"
#include "volume/EwfSectorDevice.h"

namespace rekkon {

void setProgressText(ScanContext& context, const std::string& text) {
    if (context.progress) context.progress(text);
}

namespace {

// Entries reserved at most before an NTFS scan.
constexpr std::uint64_t kReservedEntries = 1 << 20;

bool bootSectorNamesNtfs(VolumeContext& volume) {
    std::array<std::uint8_t, kSectorSize> boot{};
    if (volume.reader.readAt(0, 0, boot) != boot.size()) return false;
    return hasNtfsSignature(boot);
}

// Lends the one opened source to each mount attempt: a failed mount closes (destroys) what it
// was given, and the next attempt needs the source again.
class SharedSource final : public SectorDevice {
  public:
    explicit SharedSource(std::shared_ptr<SectorDevice> source) : source_(std::move(source)) {}
    void seekSector(std::uint64_t sector) override { source_->seekSector(sector); }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        return source_->readSectors(buffer);
    }
    std::optional<std::uint64_t> sizeBytes() const override { return source_->sizeBytes(); }
    std::optional<int> descriptor() const override { return source_->descriptor(); }
    std::optional<std::uint32_t> logicalSectorSize() const override {
        return source_->logicalSectorSize();
    }

  private:
    std::shared_ptr<SectorDevice> source_;
};

bool tryFat(ScanContext& context, const std::shared_ptr<SectorDevice>& source) {
    if (!context.volume.isOpen())
        attachDevice(context.volume, std::make_unique<SharedSource>(source));
    return mountFatOnOpenDevice(context.volume, context.fatGeometry) == 1;
}

bool tryNtfs(ScanContext& context, const std::shared_ptr<SectorDevice>& source) {
    if (!context.volume.isOpen())
        attachDevice(context.volume, std::make_unique<SharedSource>(source));
    return mountNtfsOnOpenDevice(context.volume, *context.ntfs) == 1;
}

}  // namespace

MountOrder mountOrderForName(const std::string& fileSystemName) {
    return fileSystemName.find("NTFS") != std::string::npos ? MountOrder::NtfsFirst
                                                            : MountOrder::FatFirst;
}

std::unique_ptr<SectorDevice> openFileSource(const std::string& path, int& error) {
    std::unique_ptr<FileSectorDevice> file = FileSectorDevice::open(path, error);
    if (!file || !file->descriptor()) return file;
    // An evidence file set is known by its first segment's signature, whatever it is named.
    std::array<std::uint8_t, 8> first{};
    ssize_t n = -1;
    do {
        n = ::pread(*file->descriptor(), first.data(), first.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0 || !hasEwfSignature(std::span(first.data(), static_cast<std::size_t>(n))))
        return file;
    file.reset();
    std::string detail;
    return openEwf(path, error, detail);
}

MountStatus mountVolume(ScanContext& context, std::unique_ptr<SectorDevice> source,
                        MountOrder order) {
    unmountVolume(context);
    if (!source) return MountStatus::CannotOpen;
    const std::shared_ptr<SectorDevice> shared = std::move(source);
    attachDevice(context.volume, std::make_unique<SharedSource>(shared));
    // The file-system name the platform listed, else the boot sector's own name, decides
    // which mount is tried first.
    const bool ntfsFirst = order == MountOrder::FromBootSector ? bootSectorNamesNtfs(context.volume)
                                                               : order == MountOrder::NtfsFirst;
    const bool mounted = ntfsFirst ? tryNtfs(context, shared) || tryFat(context, shared)
                                   : tryFat(context, shared) || tryNtfs(context, shared);
    if (mounted) return MountStatus::Mounted;
    closeDevice(context.volume);
    return MountStatus::NotRecognised;
}

MountStatus mountVolume(ScanContext& context, const std::string& path, int& openError,
                        const SourceOpener& open, MountOrder order) {
    unmountVolume(context);
    openError = 0;
    std::unique_ptr<SectorDevice> source = open(path, openError);
    if (!source) {
        if (openError == 0) openError = EIO;
        context.volume.lastOpenError = openError;
        return MountStatus::CannotOpen;
    }
    return mountVolume(context, std::move(source), order);
}

void unmountVolume(ScanContext& context) {
    if (isNtfsKind(context.volume.kind)) unmountNtfs(context.volume, *context.ntfs);
    closeDevice(context.volume);
    context.fatGeometry = FatGeometry{};
}

std::string lostFolderProgressText(int found, int percent) {
    return "Found " + std::to_string(found) + " deleted files. Searching free space for lost " +
           "folders (" + std::to_string(percent) + "%)...";
}

namespace {

// Adds the files of lost folders after the walk that made `record`.
void addLostFolderFiles(ScanContext& context, FatVolume& fat, const FatScanRecord& record,
                        FoundListBuilder& builder) {
    // A scan of one folder keeps the files whose folder is known to lie there.
    std::string target = context.scanTarget;
    if (const auto colon = target.find(':'); colon != std::string::npos) target.erase(0, colon + 1);
    const bool wholeVolume =
        std::all_of(target.begin(), target.end(), [](char ch) { return ch == '\\' || ch == '/'; });
    int shown = -1;
    const LostFolderProgress progress = [&](std::uint64_t done, std::uint64_t total) {
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        if (percent == shown) return;
        shown = percent;
        setProgressText(context, lostFolderProgressText(context.foundCount, percent));
    };
    const LostFatSink found = [&](LostFatFile f) {
        if (!wholeVolume && !folderWithin(f.file.folder, target)) return;
        builder.addFile(toDeletedFileEntry(f.file));
    };
    context.lostEntriesLeftOut = findLostFolders(fat, record, found, progress).entriesLeftOut;
}

}  // namespace

int scanVolume(ScanContext& context, const std::string& folder, std::span<const std::uint64_t> only,
               const ScanOptions& options) {
    context.foundList.clear();
    context.foundCount = 0;
    context.foldersNotEntered = 0;
    context.lostEntriesLeftOut = 0;
    FoundListBuilder builder(context.foundList, context.foundCount, context.progress);
    context.scanTarget = folder.empty() ? "\\" : folder;
    if (isNtfsKind(context.volume.kind)) {
        // The whole MFT is walked; a folder keeps the files deleted in it and below it.
        const NtfsFoundSink found = [&](const NtfsFoundFile& f) {
            if (folder.empty() || folderWithin(f.folder, folder)) addNtfsFoundFile(builder, f);
        };
        if (only.empty()) {
            // Room for an entry per record is only reserved, not touched: the list grows in
            // place instead of being copied as it doubles.
            context.foundList.reserve(static_cast<std::size_t>(
                std::min<std::uint64_t>(mftRecordCount(*context.ntfs), kReservedEntries)));
            scanNtfs(*context.ntfs, found);
        } else
            scanNtfsRecords(*context.ntfs, only, found);
        return context.foundCount;
    }
    FatVolume fat = context.fat();
    const FatFoundSink found = [&builder](FatFoundFile f) {
        builder.addFile(toDeletedFileEntry(f));
    };
    FatScanRecord record;
    FatScanStats stats;
    if (scanFat(fat, folder, found, options.deep ? &record : nullptr, &stats) != 0)
        return kScanFolderNotFound;
    context.foldersNotEntered = stats.foldersNotEntered;
    if (options.deep) addLostFolderFiles(context, fat, record, builder);
    return context.foundCount;
}

const int kScanFolderDepthLimit = kMaxScanDepth;
const std::size_t kLostFolderEntryLimit = kMaxLostFolderEntries;

std::string volumeLabel(ScanContext& context) {
    if (isNtfsKind(context.volume.kind)) return ntfsVolumeLabel(*context.ntfs);
    FatVolume fat = context.fat();
    return fatVolumeLabel(fat);
}

}  // namespace rekkon
