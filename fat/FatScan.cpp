#include "fat/FatScan.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "fat/DirLookup.h"
#include "fat/FolderClusterCheck.h"
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
    : fat_(fat), inDeletedFolder_(inDeletedFolder) {
    block_.resize(static_cast<std::size_t>(fat.geometry.clusterBytes()));
    if (inDeletedFolder_)
        freeWalk_ = std::make_unique<FreeClusterWalk>(fat, folderCluster);
    else
        chain_ = std::make_unique<ChainReader>(fat, folderCluster);
}

bool FatFindState::loadBlock(std::uint64_t blockStart) {
    blockStart_ = blockStart;
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
    }
    return blockValid_ > 0;
}

std::optional<FatCandidate> FatFindState::findNextDeleted() {
    const std::uint64_t blockBytes = block_.size();
    const std::uint64_t limit = inDeletedFolder_ ? kDeletedFolderBytes : kMaxFolderBytes;
    while (!ended_ && blockBytes > 0 && position_ < limit) {
        const std::uint64_t blockStart = position_ - position_ % blockBytes;
        if ((blockStart != blockStart_ || blockValid_ == 0) && !loadBlock(blockStart)) break;
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
    FatScanner(FatVolume& fat, const FatFoundSink& found, FatScanRecord* record)
        : fat_(fat), found_(found), record_(record) {}

    void walk(std::uint32_t folderCluster, bool inDeletedFolder, const std::string& folderPath,
              int depth) {
        // A damaged deleted folder can name itself or an ancestor; each folder is walked once.
        if (depth > kMaxScanDepth || !walked_.insert(folderCluster).second) return;
        FatFindState state(fat_, folderCluster, inDeletedFolder);
        while (auto c = state.findNextDeleted()) {
            const std::string name = cp437ToUtf8(c->entryName);
            if (name == "." || name.rfind("..", 0) == 0) continue;
            if (c->entry.isFolder()) {
                // Folders are descended by the cluster their entry names. Looking them up again
                // by '?' name would find the first of two deleted folders with the same name
                // twice, and could not reach entries past a deleted parent's first cluster.
                const std::string childPath =
                    (folderPath == "\\" ? "" : folderPath) + "\\" + c->longName.value_or(name);
                walk(c->cluster, inDeletedFolder || c->deleted, childPath, depth + 1);
                continue;
            }
            FatFoundFile f;
            f.firstCluster = c->cluster;
            f.attributes = c->entry.attributes;
            f.size = c->entry.size;
            f.time = dosDateTimeToFileTime(c->entryDate, c->entryTime);
            f.accessDate = dosDateTimeToFileTime(c->entry.accessDate, 0);
            f.name = name;
            f.score = c->status;
            f.folder = folderPath;
            f.longName = c->longName;
            if (c->firstByte) f.firstChar = firstCharText(*c->firstByte);
            f.longNameCut = c->longNameCut;
            f.lowerCaseBase = c->entry.lowerCaseBase();
            if (record_) record_->listed.emplace(f.firstCluster, f.name);
            if (found_) found_(std::move(f));
        }
        if (record_)
            record_->folders.push_back(
                {folderCluster, inDeletedFolder, state.examinedBytes(), folderPath});
    }

  private:
    FatVolume& fat_;
    const FatFoundSink& found_;
    FatScanRecord* record_;
    std::set<std::uint32_t> walked_;
};

}  // namespace

int scanFat(FatVolume& fat, const std::string& target, const FatFoundSink& found,
            FatScanRecord* record) {
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
    FatScanner scanner(fat, found, record);
    scanner.walk(cluster, path.find('?') != std::string::npos, display, 0);
    return fat.lastError = 0;
}

}  // namespace rekkon
