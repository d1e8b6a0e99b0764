#pragma once

#include <memory>
#include <unordered_map>

#include "exfat/ExfatFolder.h"
#include "exfat/ExfatVolume.h"
#include "fs/FileSystemTable.h"

namespace rekkon {

// exFAT in the file-system table.
FileSystemType exfatFileSystemType();

inline constexpr std::string_view kExfatEntryOrigin = "exfat-entry";

// A mounted exFAT volume.
class ExfatFileSystem final : public FileSystem {
  public:
    explicit ExfatFileSystem(std::unique_ptr<ExfatVolume> volume) : volume_(std::move(volume)) {}

    std::string name() const override { return "exFAT"; }
    std::string typeName() const override { return "exFAT"; }
    FileSystemCapabilities capabilities() const override;
    std::string label() override { return volume_->label; }
    std::vector<GeometryLine> geometry() override;
    ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) override;
    std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                             DataOpenError& why) override;
    std::unique_ptr<FreeSpaceMap> freeSpace() override;
    std::optional<std::uint64_t> dataOffset(const DeletedFileEntry& entry) const override;
    std::uint64_t rootFolder() const override;
    std::vector<LiveFolder> liveFolders(std::uint64_t id) override;
    int folderDepthLimit() const override;

    ExfatVolume& exfat() { return *volume_; }

  private:
    // What opening a found file's data needs beyond its entry, by its slot.
    struct DataPlace {
        bool noFatChain = false;
        std::uint64_t validDataLength = 0;
    };

    std::unique_ptr<ExfatVolume> volume_;
    std::unordered_map<std::uint64_t, DataPlace> places_;
    // Folders liveFolders listed, by their first cluster: how to read them again.
    std::unordered_map<std::uint64_t, ExfatFolderPlace> folders_;
};

// The data of a deleted file: `dataLength` bytes from `firstCluster` (its run, or its chain where
// the FAT holds it), reading as zeros from `validDataLength` on.
std::unique_ptr<FileDataHandle> openExfatFileData(ExfatVolume& volume, std::uint32_t firstCluster,
                                                  std::uint64_t dataLength,
                                                  std::uint64_t validDataLength, bool noFatChain);

}  // namespace rekkon
