#pragma once

#include <memory>

#include "fat/FatGeometry.h"
#include "fs/FileSystemTable.h"

namespace rekkon {

// FAT12/16/32 in the file-system table.
FileSystemType fatFileSystemType();

// A mounted FAT volume.
class FatFileSystem final : public FileSystem {
  public:
    FatFileSystem(VolumeContext& volume, const FatGeometry& geometry) : fat_{volume, geometry, 0} {}

    std::string name() const override;
    std::string typeName() const override { return "FAT"; }
    FileSystemCapabilities capabilities() const override;
    std::string label() override;
    std::vector<GeometryLine> geometry() override;
    ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) override;
    std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                             DataOpenError& why) override;
    std::unique_ptr<FreeSpaceMap> freeSpace() override;
    std::optional<std::uint64_t> dataOffset(const DeletedFileEntry& entry) const override;
    std::uint64_t rootFolder() const override { return fat_.geometry.rootCluster; }
    std::vector<LiveFolder> liveFolders(std::uint64_t id) override;
    int folderDepthLimit() const override;

    const FatGeometry& fatGeometry() const { return fat_.geometry; }
    // The volume as the FAT readers take it; it lives as long as the file system.
    FatVolume& fat() { return fat_; }

  private:
    FatVolume fat_;
};

// The data of a deleted file whose first cluster is `firstCluster`: that cluster, then the free
// clusters after it, `size` bytes at most. Null when the cluster lies outside the data area.
std::unique_ptr<FileDataHandle> openFatFileData(const FatVolume& fat, std::uint64_t firstCluster,
                                                std::uint64_t size);

}  // namespace rekkon
