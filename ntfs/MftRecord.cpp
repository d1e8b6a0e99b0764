#include "ntfs/MftRecord.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "ntfs/AttributeLookup.h"
#include "ntfs/AttributeTable.h"
#include "ntfs/Fixups.h"
#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

constexpr std::uint32_t kEndOfAttributes = 0xFFFFFFFF;
// MFT record header fields.
constexpr std::size_t kFirstAttributeOffset = 0x14;
constexpr std::size_t kBaseReferenceOffset = 0x20;
// $ATTRIBUTE_LIST entry fields.
constexpr std::size_t kEntryLengthOffset = 0x04;
constexpr std::size_t kEntryReferenceOffset = 0x10;
constexpr std::size_t kMinEntryBytes = 0x18;

// Most files have one record, a few several: their records are looked for in the list, and a
// set is kept only for a file with more (so a walk over the MFT allocates none per record).
constexpr std::size_t kRecordsListedOnly = 16;

bool isLoaded(const MftFile& file, std::uint64_t recordNumber) {
    if (file.loadedRecords.size() <= kRecordsListedOnly)
        return std::find(file.loadedRecords.begin(), file.loadedRecords.end(), recordNumber) !=
               file.loadedRecords.end();
    return file.loadedRecordSet.contains(recordNumber);
}

// Keeps the memory of the table's entries as spares (MftFile::kMaxSpares) and empties it.
void keepSpares(MftFile& file) {
    for (AttributeDescriptor& d : file.attributes) {
        if (d.content.capacity() != 0 && file.spareContents.size() < MftFile::kMaxSpares) {
            d.content.clear();
            file.spareContents.push_back(std::move(d.content));
        }
        if (d.runs.capacity() != 0 && file.spareRuns.size() < MftFile::kMaxSpares) {
            d.runs.clear();
            file.spareRuns.push_back(std::move(d.runs));
        }
    }
    file.attributes.clear();
    file.attributeIndex.clear();
}

// An empty table for record `recordNumber` of `volume`.
void startFile(MftFile& file, NtfsVolume& volume, std::uint64_t recordNumber) {
    file.volume = &volume;
    file.recordNumber = recordNumber;
    file.recordBuffer.clear();  // its memory is kept for the next record a walk opens
    keepSpares(file);
    file.loadedRecords.clear();
    file.loadedRecordSet.clear();
    file.attributeOrder.clear();
    file.attributesInOrder = true;
}

// The table complete: in order, with sizes no greater than the runs hold.
void completeAttributeTable(MftFile& file) {
    finishAttributeTable(file);
    clampAttributeSizes(file);
}

}  // namespace

int readMftRecord(NtfsVolume& volume, std::uint64_t recordNumber, std::span<std::uint8_t> buffer) {
    const std::size_t size = volume.mftRecordSize;
    if (size == 0 || buffer.size() < size) return kNtfsFailure;
    const std::span<std::uint8_t> record = buffer.first(size);
    if (recordNumber == 0) {
        if (volume.mftRecordZero.size() != size) return kNtfsFailure;
        std::copy(volume.mftRecordZero.begin(), volume.mftRecordZero.end(), record.begin());
        return kNtfsOk;
    }
    if (volume.mftFile == nullptr || recordNumber > kRecordNumberMask) return kNtfsFailure;
    TransferRequest request{true, record.data(), size};
    const int result =
        readAttribute(*volume.mftFile, volume.typeData, {}, recordNumber * size, request);
    if (result != kNtfsOk) return result;
    if (request.count < size) return kNtfsFailure;
    return checkFileRecord(volume, record) ? kNtfsOk : kNtfsFailure;
}

void loadAttributes(MftFile& file, std::span<const std::uint8_t> record,
                    std::uint64_t recordNumber) {
    if (isLoaded(file, recordNumber) || file.loadedRecords.size() >= kMaxLoadedRecords) return;
    file.loadedRecords.push_back(recordNumber);
    if (file.loadedRecords.size() == kRecordsListedOnly + 1)
        file.loadedRecordSet.insert(file.loadedRecords.begin(), file.loadedRecords.end());
    else if (file.loadedRecords.size() > kRecordsListedOnly + 1)
        file.loadedRecordSet.insert(recordNumber);

    const LeReader r(
        record.first(std::min<std::size_t>(record.size(), file.volume->mftRecordSize)));
    std::size_t offset = r.u16(kFirstAttributeOffset).value_or(0);
    // Every step moves on by at least one attribute header, so the walk ends at the record's end.
    while (true) {
        const auto type = r.u32(offset);
        const auto length = r.u32(offset + 4);
        if (!type || !length || *type == kEndOfAttributes || *length < kAttributeHeaderBytes)
            return;
        const auto attribute = r.slice(offset, *length);
        if (!attribute) return;
        // An attribute that cannot be parsed is left out; the others still count.
        parseAttribute(file, *attribute);
        offset += *length;
    }
}

int mergeAttributeListEntries(MftFile& file, std::span<const std::uint8_t> entries,
                              std::size_t& incompleteTail) {
    NtfsVolume& volume = *file.volume;
    std::vector<std::uint8_t> scratch(volume.mftRecordSize);
    const LeReader r(entries);
    std::optional<std::uint64_t> previous;
    std::size_t pos = 0;
    incompleteTail = 0;
    while (entries.size() - pos > 8) {
        const std::size_t length = r.u16(pos + kEntryLengthOffset).value_or(0);
        if (length > entries.size() - pos) break;  // cut off: completed by the next piece
        if (length < kMinEntryBytes) return kNtfsFailure;
        const std::uint64_t recordNumber = *r.u64(pos + kEntryReferenceOffset) & kRecordNumberMask;
        pos += length;
        if (recordNumber == previous) continue;
        previous = recordNumber;
        if (isLoaded(file, recordNumber)) continue;
        if (const int result = readMftRecord(volume, recordNumber, scratch); result != kNtfsOk)
            return result;
        // A record reused by another file since no longer belongs to this one.
        const LeReader header(scratch);
        const std::uint64_t base = header.u64(kBaseReferenceOffset).value_or(0) & kRecordNumberMask;
        if (base != file.recordNumber) continue;
        loadAttributes(file, scratch, recordNumber);
    }
    incompleteTail = entries.size() - pos;
    return kNtfsOk;
}

void loadAttributeList(MftFile& file) {
    loadAttributes(file, file.recordBuffer, file.recordNumber);
    finishAttributeTable(file);
    const NtfsVolume& volume = *file.volume;
    const AttributeDescriptor* list = findAttribute(file, volume.typeAttributeList);
    if (list == nullptr) return;

    std::size_t tail = 0;
    if (list->isResident) {
        // Merging grows the attribute table, which moves the descriptor: work on a copy.
        const std::vector<std::uint8_t> entries = list->content;
        mergeAttributeListEntries(file, entries, tail);
        return;
    }

    std::vector<std::uint8_t> window(kAttributeListWindow);
    std::uint64_t remaining = std::min(list->dataSize, kMaxAttributeListBytes);
    std::uint64_t position = 0;
    std::size_t carried = 0;
    while (remaining > 0) {
        // An entry as long as the window is no entry of a consistent volume.
        const std::size_t k =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, window.size() - carried));
        if (k == 0) return;
        TransferRequest request{true, window.data() + carried, k};
        if (readAttribute(file, volume.typeAttributeList, {}, position, request) != kNtfsOk ||
            request.count < k)
            return;
        const std::size_t filled = carried + k;
        if (mergeAttributeListEntries(file, std::span(window).first(filled), tail) != kNtfsOk)
            return;
        std::memmove(window.data(), window.data() + (filled - tail), tail);
        carried = tail;
        position += k;
        remaining -= k;
    }
}

int openMftRecordFromBuffer(MftFile& file, NtfsVolume& volume, std::span<const std::uint8_t> record,
                            std::uint64_t recordNumber) {
    startFile(file, volume, recordNumber);
    const std::size_t size = volume.mftRecordSize;
    if (size == 0 || record.size() < size) return kNtfsFailure;
    file.recordBuffer.assign(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(size));
    if (!checkFileRecord(volume, file.recordBuffer)) {
        file.recordBuffer.clear();
        return kNtfsFailure;
    }
    loadAttributes(file, file.recordBuffer, recordNumber);
    completeAttributeTable(file);
    return kNtfsOk;
}

int openMftFile(MftFile& file, NtfsVolume& volume, std::uint64_t recordNumber) {
    startFile(file, volume, recordNumber);
    if (volume.mftRecordSize == 0) return kNtfsFailure;
    file.recordBuffer.assign(volume.mftRecordSize, 0);
    if (readMftRecord(volume, recordNumber, file.recordBuffer) != kNtfsOk) {
        file.recordBuffer = {};
        return kNtfsFailure;
    }
    // Extension records that cannot be read leave the file open with what could be gathered.
    loadAttributeList(file);
    completeAttributeTable(file);
    return kNtfsOk;
}

}  // namespace rekkon
