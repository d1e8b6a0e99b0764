#pragma once

#include <cstdint>
#include <span>

#include "volume/AlignedBuffer.h"

namespace rekkon {

struct NtfsVolume;
struct AttributeDescriptor;

// Where MFT record `number` lies: inside the $MFT's data and on the source, past the end of the
// $MFT's data (no such record), in a stretch the $MFT's runs do not map (or map sparse), or
// wholly or partly past the end of a source of known size (a cut-short image or device).
enum class MftRecordPlace { OnSource, PastMft, Unmapped, PastSourceEnd };
MftRecordPlace mftRecordPlace(NtfsVolume& volume, std::uint64_t number);

// Reads MFT records as stored (fixups not applied) through the $MFT's unnamed $DATA, many at a
// time: a window of consecutive records is fetched in one read, so a walk over the MFT costs a
// few large reads rather than one per record. Records the window cannot fetch (an unreadable
// stretch) are read one by one.
class MftRecordWindow {
  public:
    // Records fetched in one read at most.
    static constexpr std::uint64_t kWindowRecords = 256;

    explicit MftRecordWindow(NtfsVolume& volume);

    // Records of the $MFT's data that the source can hold (0 when it has none): the walk's
    // bound, however many more the $MFT claims.
    std::uint64_t records() const { return records_; }
    // Records the $MFT's data claims beyond records(): more than the source can hold, so they
    // reach past its end.
    std::uint64_t recordsBeyondSource() const { return claimed_ - records_; }
    // Asks for record `number`, one of those beyond records(), and drops what comes back, so
    // that the source's reader counts the sectors past its end that the record reaches (a
    // cut-short image is reported, not passed over in silence).
    void askBeyondSource(std::uint64_t number);

    // Makes records [first, last] available (both below records(), last - first below
    // kWindowRecords). Ranges that lie in sparse runs are not read: they hold no records.
    void load(std::uint64_t first, std::uint64_t last);
    // Record `number` of the last load as stored, or an empty span when it cannot be read.
    std::span<const std::uint8_t> record(std::uint64_t number);

    // Records a walk in increasing order asks the source to fetch ahead of its reads.
    static constexpr std::uint64_t kReadAheadRecords = 8 * kWindowRecords;
    // For a walk that goes on at record `next`: has the source fetch the records up to
    // kReadAheadRecords past it in the background (SectorDevice::willNeed), in steps of a
    // few windows, so that reading them overlaps with parsing the ones before.
    void readAhead(std::uint64_t next);

  private:
    NtfsVolume& volume_;
    const AttributeDescriptor* data_ = nullptr;
    std::uint64_t records_ = 0;
    std::uint64_t claimed_ = 0;
    std::uint64_t first_ = 0;
    std::uint64_t loaded_ = 0;    // records of the window that were read
    std::uint64_t aheadEnd_ = 0;  // records below it were handed to readAhead
    // The window's records, in storage_ taken once for the largest window: page-aligned, as
    // the kernel copies into such a buffer fastest.
    AlignedBuffer storage_;
    std::span<std::uint8_t> buffer_;
};

}  // namespace rekkon
