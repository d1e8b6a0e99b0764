#pragma once

#include <memory>

#include "fs/FileSystemTable.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

// NTFS in the file-system table.
FileSystemType ntfsFileSystemType();

// A mounted NTFS volume. Its open system records point into the NtfsVolume it holds, which
// therefore stays where it is while mounted.
class NtfsFileSystem final : public FileSystem {
  public:
    NtfsFileSystem(VolumeContext& volume, std::unique_ptr<NtfsVolume> ntfs)
        : volume_(volume), ntfs_(std::move(ntfs)) {}
    ~NtfsFileSystem() override;
    NtfsFileSystem(const NtfsFileSystem&) = delete;
    NtfsFileSystem& operator=(const NtfsFileSystem&) = delete;

    std::string name() const override { return "NTFS"; }
    std::string typeName() const override { return "NTFS"; }
    FileSystemCapabilities capabilities() const override;
    std::string label() override;
    std::vector<GeometryLine> geometry() override;
    ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) override;
    std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                             DataOpenError& why) override;
    std::unique_ptr<FreeSpaceMap> freeSpace() override;

    NtfsVolume& ntfs() { return *ntfs_; }

  private:
    [[maybe_unused]] VolumeContext& volume_;  // the source it reads through
    std::unique_ptr<NtfsVolume> ntfs_;
};

// The data attribute named `streamName` (empty: the unnamed one) of MFT record `record`. Null
// with the reason in `why` when it cannot be opened.
std::unique_ptr<FileDataHandle> openNtfsFileData(NtfsVolume& ntfs, std::uint64_t record,
                                                 const std::string& streamName, DataOpenError& why);

}  // namespace rekkon
