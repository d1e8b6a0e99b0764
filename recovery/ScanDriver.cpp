#include <array>

#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "ntfs/NtfsMount.h"
#include "recovery/FatFoundEntry.h"
#include "recovery/ScanContext.h"

namespace rekkon {

void setProgressText(ScanContext& context, const std::string& text) {
    if (context.progress) context.progress(text);
}

namespace {

bool bootSectorNamesNtfs(VolumeContext& volume) {
    std::array<std::uint8_t, kSectorSize> boot{};
    if (volume.reader.readAt(0, 0, boot) != boot.size()) return false;
    return hasNtfsSignature(boot);
}

// A failed mount closes the device, so a second attempt opens it again.
bool tryFat(ScanContext& context, const std::string& path) {
    if (!context.volume.isOpen() && openDevice(context.volume, path) != 0) return false;
    return mountFatOnOpenDevice(context.volume, context.fatGeometry) == 1;
}

bool tryNtfs(ScanContext& context, const std::string& path) {
    if (!context.volume.isOpen() && openDevice(context.volume, path) != 0) return false;
    return mountNtfsOnOpenDevice(context.volume, *context.ntfs) == 1;
}

}  // namespace

MountStatus mountVolume(ScanContext& context, const std::string& path, int& openError) {
    unmountVolume(context);
    openError = openDevice(context.volume, path);
    if (openError != 0) return MountStatus::CannotOpen;
    // The boot sector's own name decides which mount is tried first.
    const bool mounted = bootSectorNamesNtfs(context.volume)
                             ? tryNtfs(context, path) || tryFat(context, path)
                             : tryFat(context, path) || tryNtfs(context, path);
    if (mounted) return MountStatus::Mounted;
    closeDevice(context.volume);
    return MountStatus::NotRecognised;
}

void unmountVolume(ScanContext& context) {
    if (isNtfsKind(context.volume.kind)) unmountNtfs(context.volume, *context.ntfs);
    closeDevice(context.volume);
    context.fatGeometry = FatGeometry{};
}

int scanVolume(ScanContext& context, const std::string& folder) {
    context.foundList.clear();
    context.foundCount = 0;
    FoundListBuilder builder(context.foundList, context.foundCount, context.progress);
    if (isNtfsKind(context.volume.kind)) return kScanNotAvailable;
    FatVolume fat = context.fat();
    context.scanTarget = folder.empty() ? "\\" : folder;
    const FatFoundSink found = [&builder](FatFoundFile f) {
        builder.addFile(toDeletedFileEntry(f));
    };
    if (scanFat(fat, folder, found) != 0) return kScanFolderNotFound;
    return context.foundCount;
}

}  // namespace rekkon
