#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "fs/FileSystemTable.h"
#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "volume/EwfSectorDevice.h"
#include "volume/SharedSectorDevice.h"

namespace rekkon {

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
    attachDevice(context.volume, std::make_unique<SharedSectorDevice>(shared));
    // The file-system name the platform listed, else what the boot sector says, decides which
    // mount is tried first.
    std::array<std::uint8_t, kSectorSize> boot{};
    const bool bootRead = context.volume.reader.readAt(0, 0, boot) == boot.size();
    const std::span<const std::uint8_t> bootSector =
        bootRead ? std::span<const std::uint8_t>(boot) : std::span<const std::uint8_t>();
    for (const FileSystemType* type : mountOrder(bootSector, order.platformName)) {
        // A failed mount may close what it was given; each attempt gets the source again.
        if (!context.volume.isOpen())
            attachDevice(context.volume, std::make_unique<SharedSectorDevice>(shared));
        if (type->mount == nullptr) continue;
        if (std::unique_ptr<FileSystem> mounted = type->mount(context.volume)) {
            context.fileSystem = std::move(mounted);
            return MountStatus::Mounted;
        }
    }
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
    context.fileSystem.reset();
    closeDevice(context.volume);
}

ScanContext::~ScanContext() {
    // The file system reads through the volume: it goes first.
    fileSystem.reset();
}

int scanVolume(ScanContext& context, const std::string& folder, std::span<const std::uint64_t> only,
               const ScanOptions& options) {
    context.foundList.clear();
    context.foundCount = 0;
    context.lastScan = {};
    context.cancel.reset();
    context.scanTarget = folder.empty() ? "\\" : folder;
    if (!context.fileSystem) return 0;
    FoundListBuilder builder(context.foundList, context.foundCount, context.progress, options.sink,
                             options.keep);
    ScanRequest request;
    request.folder = folder;
    request.only = only;
    request.deep = options.deep && context.fileSystem->capabilities().lostFolderSearch;
    request.progress = &context.progress;
    request.cancel = &context.cancel;
    context.lastScan = context.fileSystem->scan(request, builder);
    if (context.lastScan.folderNotFound) return kScanFolderNotFound;
    return context.foundCount;
}

std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, const DeletedFileEntry& entry,
                                             DataOpenError* why) {
    DataOpenError error = DataOpenError::CannotLocate;
    std::unique_ptr<FileDataHandle> data;
    if (context.fileSystem) data = context.fileSystem->openData(entry, error);
    if (why != nullptr) *why = data ? DataOpenError::None : error;
    return data;
}

std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, std::uint64_t location,
                                             std::uint64_t size, const std::string& stream,
                                             DataOpenError* why) {
    DeletedFileEntry entry;
    entry.location = location;
    entry.size = size;
    entry.stream = stream;
    return openFileData(context, entry, why);
}

}  // namespace rekkon
