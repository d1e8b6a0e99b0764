#include "recovery/CarveMount.h"

#include "carve/CarvingFileSystem.h"
#include "volume/SharedSectorDevice.h"

namespace rekkon {

bool mountForCarving(ScanContext& context, std::unique_ptr<SectorDevice> source, MountOrder order,
                     std::vector<const CarveFormat*> formats, bool raw) {
    unmountVolume(context);
    if (!source) return false;
    const std::shared_ptr<SectorDevice> shared = std::move(source);
    std::unique_ptr<FileSystem> inner;
    if (!raw && mountVolume(context, std::make_unique<SharedSectorDevice>(shared), order) ==
                    MountStatus::Mounted)
        inner = std::move(context.fileSystem);
    if (!context.volume.isOpen())
        attachDevice(context.volume, std::make_unique<SharedSectorDevice>(shared));
    const bool mounted = inner != nullptr;
    context.fileSystem =
        std::make_unique<CarvingFileSystem>(context.volume, std::move(inner), std::move(formats));
    return mounted;
}

void searchContentToo(ScanContext& context) {
    if (!context.fileSystem || dynamic_cast<CarvingFileSystem*>(context.fileSystem.get())) return;
    std::unique_ptr<FileSystem> mounted = std::move(context.fileSystem);
    context.fileSystem = std::make_unique<CarvingFileSystem>(context.volume, std::move(mounted),
                                                             std::vector<const CarveFormat*>{});
}

bool searchedRawOnly(const ScanContext& context) {
    const auto* carving = dynamic_cast<const CarvingFileSystem*>(context.fileSystem.get());
    return carving != nullptr && !carving->hasFileSystem();
}

}  // namespace rekkon
