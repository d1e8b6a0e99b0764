#include <array>
#include <cstring>

#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "recovery/ScanContext.h"

namespace rekkon {

void setProgressText(ScanContext& context, const std::string& text) {
    if (context.progress)
        context.progress(text);
}

namespace {

bool bootSectorNamesNtfs(VolumeContext& volume) {
    std::array<std::uint8_t, kSectorSize> boot{};
    if (volume.reader.readAt(0, 0, boot) != boot.size())
        return false;
    return std::memcmp(&boot[3], "NTFS    ", 8) == 0;
}

bool tryFat(ScanContext& context, const std::string& path) {
    if (!context.volume.isOpen() && openDevice(context.volume, path) != 0)
        return false;
    return mountFatOnOpenDevice(context.volume, context.fatGeometry) == 1;
}

}  // namespace

MountStatus mountVolume(ScanContext& context, const std::string& path, int& openError) {
    unmountVolume(context);
    openError = openDevice(context.volume, path);
    if (openError != 0)
        return MountStatus::CannotOpen;
    const bool ntfsFirst = bootSectorNamesNtfs(context.volume);
    (void)ntfsFirst;  // the NTFS mount joins here
    if (tryFat(context, path))
        return MountStatus::Mounted;
    closeDevice(context.volume);
    return MountStatus::NotRecognised;
}

void unmountVolume(ScanContext& context) {
    closeDevice(context.volume);
    context.fatGeometry = FatGeometry{};
}

int scanVolume(ScanContext& context, const std::string& folder) {
    context.foundList.clear();
    context.foundCount = 0;
    FoundListBuilder builder(context.foundList, context.foundCount, context.progress);
    if (isNtfsKind(context.volume.kind))
        return 0;
    FatVolume fat = context.fat();
    context.scanTarget = folder.empty() ? "\\" : folder;
    if (scanFat(fat, folder, builder) != 0)
        return -1;
    return context.foundCount;
}

}  // namespace rekkon
