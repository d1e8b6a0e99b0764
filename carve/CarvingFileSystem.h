#pragma once

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "carve/CarveFormat.h"
#include "carve/CarveScan.h"
#include "fs/FileSystem.h"
#include "volume/VolumeContext.h"

namespace rekkon {

inline constexpr std::string_view kCarvedOrigin = "carved";

// The file system mounted on a source (or none, where nothing mounts) with a search of its free
// space (or of every sector) by content added to each scan. Its own entries come first; a file
// found by content where a listed entry's data starts is not listed again. Everything else is
// the mounted file system's.
class CarvingFileSystem final : public FileSystem {
  public:
    // `formats` empty: every format. `inner` null: the whole source is searched, sector by sector.
    CarvingFileSystem(VolumeContext& volume, std::unique_ptr<FileSystem> inner,
                      std::vector<const CarveFormat*> formats);

    std::string name() const override;
    std::string typeName() const override;
    FileSystemCapabilities capabilities() const override;
    std::string label() override { return inner_ ? inner_->label() : std::string(); }
    std::vector<GeometryLine> geometry() override;
    ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) override;
    std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                             DataOpenError& why) override;
    std::unique_ptr<FreeSpaceMap> freeSpace() override {
        return inner_ ? inner_->freeSpace() : nullptr;
    }
    std::optional<std::uint64_t> dataOffset(const DeletedFileEntry& entry) const override;
    std::uint64_t rootFolder() const override { return inner_ ? inner_->rootFolder() : 0; }
    std::vector<LiveFolder> liveFolders(std::uint64_t id) override {
        return inner_ ? inner_->liveFolders(id) : std::vector<LiveFolder>{};
    }
    int folderDepthLimit() const override { return inner_ ? inner_->folderDepthLimit() : 0; }

    // Whether a file system is mounted beneath (else the source is read as raw sectors).
    bool hasFileSystem() const { return inner_ != nullptr; }

  private:
    // Where listed entries' data starts, with the entry's index in the list.
    using Explained = std::unordered_multimap<std::uint64_t, std::size_t>;

    void carve(const ScanRequest& request, FoundListBuilder& found, ScanOutcome& outcome,
               FreeSpaceMap* free);
    void carveAt(std::span<const std::uint64_t> only, FoundListBuilder& found);
    Explained explainedOffsets(const FoundListBuilder& found) const;
    std::uint64_t searchedBytes(FreeSpaceMap* free) const;
    // Lists a file found, or where listed entries' data starts there, tells them what their
    // data's check found (and, with `listRejoined`, lists a file rejoined from two fragments
    // that none of them takes as its data).
    void take(const CarvedFile& file, const Explained& explained, FreeSpaceMap* free,
              FoundListBuilder& found, bool listRejoined = true);
    // Tells an entry whose data starts where `file` was found what the check found; true when it
    // takes the file, rejoined from two fragments, as its data.
    static bool tell(const CarvedFile& file, DeletedFileEntry& entry);
    // The file found by content at `offset`, if one is.
    std::optional<CarvedFile> candidateAt(std::uint64_t offset, FreeSpaceMap* free,
                                          std::uint64_t sourceBytes);
    void add(const CarvedFile& file, FreeSpaceMap* free, FoundListBuilder& found);

    VolumeContext& volume_;
    std::unique_ptr<FileSystem> inner_;
    std::vector<const CarveFormat*> formats_;
};

// The name a file found by content is listed under: from its content where it says (made safe
// for a file name), else "f<first sector>"; with the extension its content asks for.
std::string carvedFileName(std::uint64_t sector, const CarveFormat& format,
                           const CarveResult& result);

}  // namespace rekkon
