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
    FatFileSystem(VolumeContext& volume, const FatGeometry& geometry)
        : volume_(volume), geometry_(geometry) {}

    std::string name() const override;
    std::string typeName() const override { return "FAT"; }
    FileSystemCapabilities capabilities() const override;
    std::string label() override;
    std::vector<GeometryLine> geometry() override;
    ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) override;
    std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                             DataOpenError& why) override;
    std::uint64_t rootFolder() const override { return geometry_.rootCluster; }
    std::vector<LiveFolder> liveFolders(std::uint64_t id) override;
    int folderDepthLimit() const override;

    const FatGeometry& fatGeometry() const { return geometry_; }
    FatVolume fat() { return FatVolume{volume_, geometry_, 0}; }

  private:
    VolumeContext& volume_;
    FatGeometry geometry_;
};

// The data of a deleted file whose first cluster is `firstCluster`: that cluster, then the free
// clusters after it, `size` bytes at most. Null when the cluster lies outside the data area.
std::unique_ptr<FileDataHandle> openFatFileData(const FatVolume& fat, std::uint64_t firstCluster,
                                                std::uint64_t size);

}  // namespace rekkon
