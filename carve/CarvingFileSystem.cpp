#include "carve/CarvingFileSystem.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>

#include "carve/CarveFragments.h"
#include "carve/SourceCarveInput.h"
#include "volume/SectorDevice.h"

namespace rekkon {

namespace {

// Sectors of this size number carved files (their location and default name).
constexpr std::uint64_t kCarveSectorBytes = kSectorSize;
// The unit searched on a source with no file system: cameras and file systems put files on
// cluster boundaries, and every cluster size is a multiple of the sector.
constexpr std::uint64_t kRawUnitBytes = kSectorSize;

// A carved file's bytes: contiguous on the source from its first byte.
class CarvedFileData final : public FileDataHandle {
  public:
    CarvedFileData(SectorReader& reader, std::uint64_t start, std::uint64_t size, CarveSplit split)
        : input_(reader, start, size, split) {}
    std::uint64_t size() const override { return input_.limit(); }
    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        return input_.read(position, buffer);
    }
    std::optional<StoredExtent> storedAt(std::uint64_t position) override {
        return input_.storedAt(position);
    }

  private:
    SourceCarveInput input_;
};

// Of the clusters [first, first + count), how many the map holds free.
std::uint64_t freeClusters(FreeSpaceMap& free, std::uint64_t first, std::uint64_t count) {
    std::uint64_t n = 0;
    std::uint64_t c = first;
    const std::uint64_t end = first + count;
    while (c < end) {
        const auto run = free.nextFreeRun(c, end - c);
        if (!run || run->first >= end) break;
        n += std::min(run->end(), end) - run->first;
        c = run->end();
    }
    return n;
}

// The estimate of a file whose check did not find it whole: never "Good", the share that checks
// out.
std::uint8_t validShare(const CarveResult& r) {
    return static_cast<std::uint8_t>(
        std::min<std::uint64_t>(99, r.length == 0 ? 0 : r.validBytes * 100 / r.length));
}

std::string checkText(const CarveResult& r, const CarveSplit& split) {
    switch (r.verdict) {
        case CarveVerdict::Whole:
            return split.split() ? "whole, in two fragments " + std::to_string(split.gapBytes) +
                                       " bytes apart"
                                 : "whole";
        case CarveVerdict::Truncated:
            return r.problem.empty() ? "truncated" : "truncated: " + r.problem;
        case CarveVerdict::Damaged:
            return r.problem.empty() ? "damaged" : "damaged: " + r.problem;
        case CarveVerdict::NotFormat:
            break;
    }
    return {};
}

}  // namespace

std::string carvedFileName(std::uint64_t sector, const CarveFormat& format,
                           const CarveResult& result) {
    std::string base;
    for (const char c : result.name) {
        const auto u = static_cast<unsigned char>(c);
        base += u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' ? '_' : c;
    }
    // At most 100 bytes, not cutting a UTF-8 sequence.
    if (base.size() > 100) {
        std::size_t cut = 100;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    while (!base.empty() && (base.back() == ' ' || base.back() == '.'))
        base.pop_back();
    if (base.empty() || base.front() == '.') base = "f" + std::to_string(sector);
    const std::string extension =
        result.extension.empty() ? std::string(format.type) : result.extension;
    return base + "." + extension;
}

CarvingFileSystem::CarvingFileSystem(VolumeContext& volume, std::unique_ptr<FileSystem> inner,
                                     std::vector<const CarveFormat*> formats)
    : volume_(volume), inner_(std::move(inner)), formats_(std::move(formats)) {
    if (formats_.empty())
        for (const CarveFormat& f : carveFormats())
            formats_.push_back(&f);
}

std::string CarvingFileSystem::name() const {
    return inner_ ? inner_->name() : "no file system";
}

std::string CarvingFileSystem::typeName() const {
    return inner_ ? inner_->typeName() : "raw";
}

FileSystemCapabilities CarvingFileSystem::capabilities() const {
    return inner_ ? inner_->capabilities() : FileSystemCapabilities{};
}

std::vector<GeometryLine> CarvingFileSystem::geometry() {
    if (inner_) return inner_->geometry();
    const auto bytes = volume_.reader.sourceBytes();
    return {{"Source bytes", bytes ? std::to_string(*bytes) : "unknown"}};
}

ScanOutcome CarvingFileSystem::scan(const ScanRequest& request, FoundListBuilder& found) {
    // Free space belongs to the whole volume: a scan of one folder does not search it.
    const bool wholeVolume =
        request.only.empty() &&
        (request.folder.empty() || request.folder == "\\" || request.folder == "/");
    if (!inner_) {
        ScanOutcome outcome;
        if (!request.only.empty())
            carveAt(request.only, found);
        else if (wholeVolume)
            carve(request, found, outcome, nullptr);
        return outcome;
    }
    // With a file system that cannot tell its free clusters, nothing is searched: its files
    // would all be found again.
    std::unique_ptr<FreeSpaceMap> free = wholeVolume ? inner_->freeSpace() : nullptr;
    // A deep scan reads the free clusters for lost folders anyway: the search by content looks
    // at them in that same pass, and what it finds is taken once the lost folders' files are
    // listed too.
    ScanRequest innerRequest = request;
    std::vector<CarvedFile> pending;
    CarveHooks hooks;
    hooks.found = [&pending](CarvedFile f) { pending.push_back(std::move(f)); };
    const CarveSpace space{volume_.reader, free.get(), searchedBytes(free.get()), kRawUnitBytes};
    std::optional<CarveUnitSearch> shared;
    if (free && request.deep && inner_->capabilities().lostFolderSearch) {
        shared.emplace(space, formats_, hooks);
        innerRequest.freeClusters = [&shared](std::uint64_t offset,
                                              std::span<const std::uint8_t> bytes) {
            shared->look(offset, bytes);
        };
    }
    ScanOutcome outcome = inner_->scan(innerRequest, found);
    if (outcome.folderNotFound || outcome.cancelled) return outcome;
    if (!request.only.empty()) {
        carveAt(request.only, found);
    } else if (shared && outcome.freeClustersHanded) {
        const Explained explained = explainedOffsets(found);
        for (const CarvedFile& f : pending)
            take(f, explained, free.get(), found);
    } else if (free) {
        carve(request, found, outcome, free.get());
    }
    return outcome;
}

CarvingFileSystem::Explained CarvingFileSystem::explainedOffsets(
    const FoundListBuilder& found) const {
    Explained explained;
    if (inner_)
        for (std::size_t i = 0; i < found.entries().size(); ++i)
            if (const auto offset = inner_->dataOffset(found.entries()[i]))
                explained.emplace(*offset, i);
    return explained;
}

std::uint64_t CarvingFileSystem::searchedBytes(FreeSpaceMap* free) const {
    std::uint64_t sourceBytes = volume_.reader.sourceBytes().value_or(0);
    if (free && sourceBytes == 0 && free->clusterCount() > 0)
        sourceBytes = free->clusterOffset(free->firstCluster() + free->clusterCount() - 1) +
                      free->clusterBytes();
    return sourceBytes;
}

void CarvingFileSystem::carve(const ScanRequest& request, FoundListBuilder& found,
                              ScanOutcome& outcome, FreeSpaceMap* free) {
    const Explained explained = explainedOffsets(found);
    int shown = -1;
    CarveHooks hooks;
    hooks.found = [&](CarvedFile f) { take(f, explained, free, found); };
    hooks.progress = [&](std::uint64_t done, std::uint64_t total) {
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        if (percent == shown) return;
        shown = percent;
        request.say(carveProgressText(found.count(), percent));
    };
    hooks.cancelled = [&request] { return request.cancelled(); };
    const CarveStats stats =
        carveSpace({volume_.reader, free, searchedBytes(free), kRawUnitBytes}, formats_, hooks);
    outcome.cancelled = outcome.cancelled || stats.cancelled;
}

void CarvingFileSystem::take(const CarvedFile& file, const Explained& explained, FreeSpaceMap* free,
                             FoundListBuilder& found, bool listRejoined) {
    const auto [first, last] = explained.equal_range(file.offset);
    if (first == last) {
        add(file, free, found);
        return;
    }
    bool owned = false;
    for (auto it = first; it != last; ++it) {
        DeletedFileEntry e = found.entries()[it->second];
        owned = tell(file, e) || owned;
        found.replace(it->second, e);
    }
    if (file.split.split() && !owned && listRejoined) add(file, free, found);
}

bool CarvingFileSystem::tell(const CarvedFile& file, DeletedFileEntry& e) {
    // A file rejoined from two fragments that is as long as the entry says is the entry's data:
    // it is read so.
    if (file.split.split() && file.result.verdict == CarveVerdict::Whole &&
        e.size == file.result.length) {
        e.contentType = file.format->type;
        e.contentCheck = checkText(file.result, file.split);
        e.firstFragmentBytes = file.split.firstBytes;
        e.fragmentGapBytes = file.split.gapBytes;
        return true;
    }
    // Else the entry's data is read in one piece from where it starts: what the check of those
    // bytes found is what the entry gets.
    const CarveResult& own = file.onePiece ? *file.onePiece : file.result;
    e.contentType = file.format->type;
    e.contentCheck = checkText(own, {});
    if (own.verdict != CarveVerdict::Whole) e.status = std::min(e.status, validShare(own));
    return false;
}

std::optional<CarvedFile> CarvingFileSystem::candidateAt(std::uint64_t offset, FreeSpaceMap* free,
                                                         std::uint64_t sourceBytes) {
    if (offset >= sourceBytes) return std::nullopt;
    std::array<std::uint8_t, kCarveHeadBytes> head{};
    const std::size_t got =
        SourceCarveInput(volume_.reader, offset, sourceBytes - offset).read(0, head);
    for (const CarveFormat* format : formats_) {
        if (got == 0 || !format->starts(std::span(head).first(got))) continue;
        const std::uint64_t limit = std::min(format->maxBytes, sourceBytes - offset);
        SourceCarveInput input(volume_.reader, offset, limit);
        CarveResult result = format->check(input);
        if (result.verdict == CarveVerdict::NotFormat || result.length == 0) continue;
        result.length = std::min(result.length, limit);
        result.validBytes = std::min(result.validBytes, result.length);
        FragmentSpace space{
            volume_.reader, free ? free->clusterBytes() : kRawUnitBytes, sourceBytes, {}};
        if (free) space.usable = freeClusterTest(*free);
        CarvedFile file{offset, format, {}, {}, {}};
        file.result =
            settleCandidate(space, offset, *format, std::move(result), file.split, &file.onePiece);
        return file;
    }
    return std::nullopt;
}

void CarvingFileSystem::carveAt(std::span<const std::uint64_t> only, FoundListBuilder& found) {
    std::unique_ptr<FreeSpaceMap> free = inner_ ? inner_->freeSpace() : nullptr;
    const std::uint64_t sourceBytes = volume_.reader.sourceBytes().value_or(0);
    // The entries the scan found again get what the search by content knows of their data.
    const Explained explained = explainedOffsets(found);
    std::unordered_set<std::uint64_t> looked;
    for (const auto& [offset, index] : explained) {
        if (!looked.insert(offset).second) continue;
        if (auto file = candidateAt(offset, free.get(), sourceBytes))
            take(*file, explained, free.get(), found, false);
    }
    for (const std::uint64_t sector : only) {
        if (sector > sourceBytes / kCarveSectorBytes) continue;
        if (auto file = candidateAt(sector * kCarveSectorBytes, free.get(), sourceBytes);
            file && !explained.contains(file->offset))
            add(*file, free.get(), found);
    }
}

void CarvingFileSystem::add(const CarvedFile& file, FreeSpaceMap* free, FoundListBuilder& found) {
    const std::uint64_t offset = file.offset;
    const CarveFormat& format = *file.format;
    const CarveResult& result = file.result;
    DeletedFileEntry e;
    e.origin = kCarvedOrigin;
    e.location = offset / kCarveSectorBytes;
    e.size = result.length;
    e.name = carvedFileName(e.location, format, result);
    e.folder = "<carved>";
    e.createTime = e.writeTime = result.time;
    e.timesUtc = result.timeUtc;
    e.contentType = format.type;
    e.contentCheck = checkText(result, file.split);
    if (file.split.split()) {
        e.firstFragmentBytes = file.split.firstBytes;
        e.fragmentGapBytes = file.split.gapBytes;
    }
    if (result.verdict != CarveVerdict::Whole) {
        e.status = validShare(result);
    } else if (free) {
        // A whole file whose clusters are all free is intact; one reaching into clusters in use
        // may have been written over there.
        const std::uint64_t unit = free->clusterBytes();
        const auto clusterAt = [&](std::uint64_t at) {
            return free->firstCluster() + (at - free->clusterOffset(free->firstCluster())) / unit;
        };
        const std::uint64_t firstBytes = std::min(result.length, file.split.firstBytes);
        std::uint64_t clusters = (firstBytes + unit - 1) / unit;
        std::uint64_t freeCount = freeClusters(*free, clusterAt(offset), clusters);
        if (file.split.split()) {
            const std::uint64_t rest = (result.length - firstBytes + unit - 1) / unit;
            clusters += rest;
            freeCount += freeClusters(
                *free, clusterAt(offset + file.split.firstBytes + file.split.gapBytes), rest);
        }
        e.status = freeCount >= clusters ? kStatusGood
                                         : static_cast<std::uint8_t>(freeCount * 100 / clusters);
    } else {
        e.status = kStatusGood;
    }
    found.addFile(std::move(e));
}

std::unique_ptr<FileDataHandle> CarvingFileSystem::openData(const DeletedFileEntry& entry,
                                                            DataOpenError& why) {
    if (entry.origin != kCarvedOrigin && entry.fragmentGapBytes != 0 && inner_) {
        // An entry whose data the search found in two fragments.
        const auto offset = inner_->dataOffset(entry);
        const std::uint64_t sourceBytes = volume_.reader.sourceBytes().value_or(0);
        if (offset && *offset < sourceBytes && entry.fragmentGapBytes < sourceBytes - *offset) {
            why = DataOpenError::None;
            return std::make_unique<CarvedFileData>(
                volume_.reader, *offset,
                std::min(entry.size, sourceBytes - *offset - entry.fragmentGapBytes),
                CarveSplit{entry.firstFragmentBytes, entry.fragmentGapBytes});
        }
    }
    if (entry.origin != kCarvedOrigin) {
        if (inner_) return inner_->openData(entry, why);
        why = DataOpenError::CannotLocate;
        return nullptr;
    }
    const std::uint64_t sourceBytes = volume_.reader.sourceBytes().value_or(0);
    const std::uint64_t offset = entry.location * kCarveSectorBytes;
    if (entry.location > sourceBytes / kCarveSectorBytes || offset >= sourceBytes) {
        why = DataOpenError::CannotLocate;
        return nullptr;
    }
    why = DataOpenError::None;
    CarveSplit split;
    if (entry.fragmentGapBytes != 0) {
        if (entry.fragmentGapBytes > sourceBytes - offset) {
            why = DataOpenError::CannotLocate;
            return nullptr;
        }
        split = {entry.firstFragmentBytes, entry.fragmentGapBytes};
    }
    return std::make_unique<CarvedFileData>(
        volume_.reader, offset, std::min(entry.size, sourceBytes - offset - split.gapBytes), split);
}

std::optional<std::uint64_t> CarvingFileSystem::dataOffset(const DeletedFileEntry& entry) const {
    if (entry.origin == kCarvedOrigin) return entry.location * kCarveSectorBytes;
    return inner_ ? inner_->dataOffset(entry) : std::nullopt;
}

}  // namespace rekkon
