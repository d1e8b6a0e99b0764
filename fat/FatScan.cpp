#include "fat/FatScan.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "fat/DirLookup.h"
#include "fat/FolderClusterCheck.h"
#include "fs/FileSystem.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

// Characters that never occur in a valid 8.3 name.
constexpr std::string_view kInvalidNameChars = "\":{}[]/\\><?=,;";

bool hasValidNameBytes(const DirEntry& e) {
    return std::none_of(e.name.begin(), e.name.end(), [](std::uint8_t b) {
        return b < 0x20 || kInvalidNameChars.find(static_cast<char>(b)) != std::string_view::npos;
    });
}

}  // namespace

FatFindState::FatFindState(FatVolume& fat, std::uint32_t folderCluster, bool inDeletedFolder)
    : fat_(fat), inDeletedFolder_(inDeletedFolder), blockBytes_(fat.geometry.clusterBytes()) {
    if (inDeletedFolder_)
        freeWalk_ = std::make_unique<FreeClusterWalk>(fat, folderCluster);
    else
        chain_ = std::make_unique<ChainReader>(fat, folderCluster);
}

void FatFindState::suspend() {
    std::vector<std::uint8_t>().swap(block_);
    blockValid_ = 0;
    if (freeWalk_) freeWalk_->release();
    if (chain_) chain_->release();
}

bool FatFindState::loadBlock(std::uint64_t blockStart) {
    blockStart_ = blockStart;
    if (block_.empty()) block_.resize(static_cast<std::size_t>(blockBytes_));
    std::span<std::uint8_t> dest(block_);
    if (inDeletedFolder_) {
        const std::uint64_t left =
            blockStart < kDeletedFolderBytes ? kDeletedFolderBytes - blockStart : 0;
        dest = dest.first(static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), left)));
        blockValid_ = dest.empty() ? 0 : freeWalk_->read(blockStart, dest);
        // Past its first cluster a deleted folder is a guess: the free clusters after it may
        // hold file data. Only clusters that read as folder content as a whole are taken (a
        // later cluster of a folder never opens with ".", so cluster 0 stands for "not this").
        blockSkipped_ = blockStart != 0 && blockValid_ == block_.size() &&
                        !readFolderCluster(block_, 0, folderClusterLimits(fat_));
    } else {
        blockValid_ = chain_->read(blockStart, dest);
        if (blockValid_ == 0) blockValid_ = readPastFreeEnd(blockStart / blockBytes_, dest);
    }
    return blockValid_ > 0;
}

std::size_t FatFindState::readPastFreeEnd(std::uint64_t index, std::span<std::uint8_t> dest) {
    // A live folder's chain that ends on a member the table calls free was cut by damage to the
    // table, not by the folder's end: the clusters right after that member are taken as the
    // folder's next ones as long as they are free and read as folder content as a whole.
    const std::uint32_t end = chain_->freeEnd();
    const std::uint64_t endIndex = chain_->freeEndIndex();
    const FatGeometry& g = fat_.geometry;
    if (end == 0 || index <= endIndex || index - endIndex > g.maxCluster() - end) return 0;
    const auto cluster = static_cast<std::uint32_t>(end + (index - endIndex));
    // Each cluster up to this one was taken already (the walk reads in order), so only this one
    // is checked; one outside the source is not asked for.
    auto& reader = fat_.volume.reader;
    const std::uint64_t lastSector = g.clusterSector(cluster) + g.sectorsPerCluster - 1;
    FatTableWindow table(fat_);
    if (table.entry(cluster) != 0 || table.unreadable() || reader.knownUnreadable(lastSector))
        return 0;
    if (reader.readAt(g.clusterSector(cluster), 0, dest) != dest.size() ||
        !readFolderCluster(dest, 0, folderClusterLimits(fat_)))
        return 0;
    return dest.size();
}

std::optional<FatCandidate> FatFindState::findNextDeleted() {
    const std::uint64_t blockBytes = blockBytes_;
    const std::uint64_t limit = inDeletedFolder_ ? kDeletedFolderBytes : kMaxFolderBytes;
    while (!ended_ && blockBytes > 0 && position_ < limit) {
        const std::uint64_t blockStart = position_ - position_ % blockBytes;
        const bool load = blockStart != blockStart_ || blockValid_ == 0;
        if (load && cancel_ != nullptr && cancel_->requested()) break;
        if (load && !loadBlock(blockStart)) break;
        if (blockSkipped_) {
            // Not folder content: the free cluster the walk guessed holds other data.
            position_ = blockStart + blockBytes;
            names_ = SlotNames{};
            continue;
        }
        const std::uint64_t inBlock = position_ - blockStart;
        if (inBlock + kDirEntrySize > blockValid_) break;
        std::span<const std::uint8_t, kDirEntrySize> raw(block_.data() + inBlock, kDirEntrySize);
        position_ += kDirEntrySize;
        if (isEndOfFolder(raw)) break;
        names_.advance(raw);

        FatCandidate c;
        c.entry = *parseDirEntry(raw);
        c.cluster = c.entry.firstCluster(fat_.volume.kind);
        // Long-name pieces, volume labels, empty files and ".." of first-level folders.
        if (c.cluster < 2) continue;
        c.deleted = c.entry.name[0] == kDeletedMarker;
        if (!c.deleted && !c.entry.isFolder() && !inDeletedFolder_) continue;
        if (!c.deleted && c.entry.name[0] == kKanjiE5Marker) c.entry.name[0] = kDeletedMarker;
        if (!hasValidNameBytes(c.entry)) continue;
        if (c.deleted) c.entry.name[0] = '?';
        if (!c.entry.isFolder() || c.deleted) {
            c.status = estimateFatStatus(fat_, c.entry);
            if (c.status < 0) continue;
        }
        c.entryName = c.entry.displayBytes();
        c.entryTime = c.entry.writeTime != 0 ? c.entry.writeTime : c.entry.createTime;
        c.entryDate = c.entry.writeDate != 0 ? c.entry.writeDate : c.entry.createDate;
        if (!c.deleted) {
            if (names_.liveName() && !names_.liveName()->empty()) c.longName = names_.liveName();
        } else if (auto recovered = names_.deletedName()) {
            c.longName = std::move(recovered->name);
            c.firstByte = recovered->firstByte;
            c.longNameCut = recovered->cut;
        }
        return c;
    }
    ended_ = true;
    return std::nullopt;
}

namespace {

class FatScanner {
  public:
    FatScanner(FatVolume& fat, const FatFoundSink& found, FatScanRecord* record, int maxDepth,
               const ScanCancel* cancel)
        : fat_(fat), found_(found), record_(record), maxDepth_(maxDepth), cancel_(cancel) {}

    // Walks `top` and the folders below it, depth first with a stack of suspended walks (one
    // per level, at most maxDepth_ + 1), handing files out in the order their entries appear.
    void walk(std::uint32_t top, bool inDeletedFolder, const std::string& topPath) {
        std::string path = topPath;  // of the folder on top of the stack
        std::vector<Level> stack;
        enter(stack, top, inDeletedFolder, path.size());
        while (!stack.empty()) {
            if (cancel_ != nullptr && cancel_->requested()) {
                stats_.cancelled = true;
                return;
            }
            Level& level = stack.back();
            auto c = level.state->findNextDeleted();
            if (!c) {
                if (record_)
                    record_->folders.push_back(
                        {level.cluster, level.deleted, level.state->examinedBytes(), path});
                path.resize(level.parentPathBytes);
                stack.pop_back();
                continue;
            }
            const std::string name = cp437ToUtf8(c->entryName);
            if (name == "." || name.rfind("..", 0) == 0) continue;
            if (c->entry.isFolder()) {
                // Folders are descended by the cluster their entry names. Looking them up again
                // by '?' name would find the first of two deleted folders with the same name
                // twice, and could not reach entries past a deleted parent's first cluster.
                // A damaged folder can name itself or an ancestor: each is walked once.
                if (walked_.contains(c->cluster)) continue;
                if (stack.size() > static_cast<std::size_t>(std::max(maxDepth_, 0))) {
                    ++stats_.foldersNotEntered;
                    continue;
                }
                const std::size_t parentBytes = path.size();
                if (path != "\\") path += '\\';
                path += c->longName.value_or(name);
                const bool deleted = level.deleted || c->deleted;
                level.state->suspend();
                enter(stack, c->cluster, deleted, parentBytes);
                continue;
            }
            FatFoundFile f;
            f.firstCluster = c->cluster;
            f.attributes = c->entry.attributes;
            f.size = c->entry.size;
            f.time = dosDateTimeToFileTime(c->entryDate, c->entryTime);
            f.createdTime = createdFileTime(c->entry);
            f.accessDate = dosDateTimeToFileTime(c->entry.accessDate, 0);
            f.name = name;
            f.score = c->status;
            f.folder = path;
            f.longName = c->longName;
            if (c->firstByte) f.firstChar = firstCharText(*c->firstByte);
            f.longNameCut = c->longNameCut;
            f.lowerCaseBase = c->entry.lowerCaseBase();
            f.slot = std::uint64_t{level.cluster} << 16 | (level.state->lastEntryIndex() & 0xFFFF);
            if (record_) record_->listed.emplace(f.firstCluster, f.name);
            if (found_) found_(std::move(f));
        }
    }

    const FatScanStats& stats() const { return stats_; }

  private:
    struct Level {
        std::unique_ptr<FatFindState> state;
        std::uint32_t cluster = 0;
        bool deleted = false;
        std::size_t parentPathBytes = 0;  // the path's length before this folder's name
    };

    void enter(std::vector<Level>& stack, std::uint32_t cluster, bool deleted,
               std::size_t parentPathBytes) {
        walked_.insert(cluster);
        auto state = std::make_unique<FatFindState>(fat_, cluster, deleted);
        state->stopOn(cancel_);
        stack.push_back({std::move(state), cluster, deleted, parentPathBytes});
    }

    FatVolume& fat_;
    const FatFoundSink& found_;
    FatScanRecord* record_;
    int maxDepth_;
    const ScanCancel* cancel_;
    std::set<std::uint32_t> walked_;
    FatScanStats stats_;
};

}  // namespace

int scanFat(FatVolume& fat, const std::string& target, const FatFoundSink& found,
            FatScanRecord* record, FatScanStats* stats, int maxDepth, const ScanCancel* cancel) {
    std::string path = target;
    if (const auto colon = path.find(':'); colon != std::string::npos) path.erase(0, colon + 1);
    const bool isRoot =
        std::all_of(path.begin(), path.end(), [](char ch) { return ch == '\\' || ch == '/'; });

    std::uint32_t cluster = fat.geometry.rootCluster;
    std::string display = "\\";
    if (!isRoot) {
        DirEntry entry;
        display.clear();  // the path as the folders are named: long names where known
        if (findPathEntry(fat, fat.geometry.rootCluster, &path, entry, &display) != 0 ||
            !entry.isFolder())
            return ENOENT;
        cluster = entry.firstCluster(fat.volume.kind);
        if (cluster == 0) return fat.lastError = ENOENT;
    }
    FatScanner scanner(fat, found, record, maxDepth, cancel);
    scanner.walk(cluster, path.find('?') != std::string::npos, display);
    if (stats) *stats = scanner.stats();
    return fat.lastError = 0;
}

}  // namespace rekkon
