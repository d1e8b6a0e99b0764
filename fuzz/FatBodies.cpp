#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fat/DeletedLongName.h"
#include "fat/DirEntry.h"
#include "fat/DirLookup.h"
#include "fat/FatFileSystem.h"
#include "fat/FatLabel.h"
#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "fat/SlotNames.h"
#include "fuzz/CopyCheck.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "recovery/FileData.h"
#include "recovery/ScanContext.h"
#include "volume/MemorySectorDevice.h"
#include "volume/TextEncoding.h"

namespace rekkon::fuzz {

namespace {

// Copies one found entry's data through the recovery copy loop, to at most `budget` bytes.
void readFoundData(ScanContext& context, const DeletedFileEntry& entry, std::uint64_t& budget) {
    auto handle = openFileData(context, entry.location, entry.size);
    if (!handle) return;
    fuzzCheck(handle->size() <= entry.size, "a FAT data handle is larger than its entry");
    const std::uint64_t size = std::min(handle->size(), budget);
    copyThroughLoop(*handle, size);
    budget -= size;
}

}  // namespace

void fuzzFatImage(std::span<const std::uint8_t> data) {
    ScanContext context;
    attachDevice(context.volume,
                 std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{}, data));
    context.fileSystem = fatFileSystemType().mount(context.volume);
    if (!context.fileSystem) return;
    FatVolume fat = static_cast<FatFileSystem&>(*context.fileSystem).fat();
    // 11 bytes of CP437, at most 3 bytes of UTF-8 each.
    fuzzCheck(fatVolumeLabel(fat).size() <= 33, "a FAT label longer than its field");
    const int found = scanVolume(context, "", {}, ScanOptions{.deep = true});
    if (found < 0) return;
    // Again with a depth limit that the seeds' folder trees reach, so that the walk's limit is
    // met: the folders left out are counted, and the walk still ends.
    FatScanStats stats;
    (void)scanFat(fat, "", FatFoundSink{}, nullptr, &stats, 1);
    std::uint64_t budget = kFuzzReadBudget;
    // The list is copied: reading never changes it, but the copy keeps the loop honest if it did.
    const FoundList entries = context.foundList;
    for (const DeletedFileEntry& entry : entries) {
        if (budget == 0) break;
        readFoundData(context, entry, budget);
    }
    unmountVolume(context);
}

void fuzzFatDir(std::span<const std::uint8_t> data) {
    if (data.empty()) return;
    const std::size_t componentBytes = std::min<std::size_t>(data[0], data.size() - 1);
    const std::string component(data.begin() + 1, data.begin() + 1 + componentBytes);
    const std::span<const std::uint8_t> entries = data.subspan(1 + componentBytes);

    const std::string upper = asciiUpper(component);
    const std::optional<std::string> upperOem = utf8ToCp437(upper);
    SlotNames names;
    for (std::size_t pos = 0; pos + kDirEntrySize <= entries.size(); pos += kDirEntrySize) {
        const std::span<const std::uint8_t, kDirEntrySize> raw(entries.data() + pos, kDirEntrySize);
        // The end marker is noted but not obeyed, so entries after it are parsed too.
        (void)isEndOfFolder(raw);
        names.advance(raw);
        if (isLongNamePiece(raw)) continue;
        const std::optional<DirEntry> parsed = parseDirEntry(raw);
        fuzzCheck(parsed.has_value(), "a whole 32-byte entry did not parse");
        DirEntry entry = *parsed;
        if (entry.name[0] == kDeletedMarker) entry.name[0] = '?';
        if (entry.name[0] == kKanjiE5Marker) entry.name[0] = kDeletedMarker;
        (void)matchEntryName(entry, names.liveName(), upperOem, upper);
        // Every short entry, deleted or not, is tried against the unnumbered pieces before it.
        if (const auto deleted = names.deletedName()) {
            fuzzCheck(!deleted->name.empty(), "a rebuilt long name is empty");
            fuzzCheck(possibleFirstNameByte(deleted->firstByte),
                      "a rebuilt long name proves a first byte no short name has");
            std::array<std::uint8_t, 11> shortName{};
            std::copy_n(raw.begin(), shortName.size(), shortName.begin());
            shortName[0] = deleted->firstByte;
            // Piece 1, the slot just before, carries the checksum.
            fuzzCheck(pos >= kDirEntrySize &&
                          shortNameChecksum(shortName) == entries[pos - kDirEntrySize + 13],
                      "a rebuilt long name does not match its checksum");
            (void)firstCharText(deleted->firstByte);
            const bool marked = deleted->name.ends_with(kCutNameMark);
            fuzzCheck(!deleted->cut || marked, "a cut-off long name is not marked as cut off");
        }
        // The case flags change the letters shown, nothing else.
        const std::string shown = entry.displayBytes();
        DirEntry asStored = entry;
        asStored.caseFlags = 0;
        const std::string stored = asStored.displayBytes();
        fuzzCheck(shown.size() == stored.size(), "the case flags changed a short name's length");
        for (std::size_t i = 0; i < shown.size() && i < stored.size(); ++i)
            fuzzCheck(shown[i] == stored[i] ||
                          (stored[i] >= 'A' && stored[i] <= 'Z' && shown[i] == stored[i] + 0x20),
                      "the case flags changed more than the letters of a short name");
        (void)cp437ToUtf8(shown);
        (void)dosDateTimeToFileTime(entry.writeDate, entry.writeTime);
        (void)entry.firstCluster(FileSystemKind::Fat32);
    }
}

}  // namespace rekkon::fuzz
