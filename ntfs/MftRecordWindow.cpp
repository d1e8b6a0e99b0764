#include "ntfs/MftRecordWindow.h"

#include <algorithm>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

namespace {
// NTFS numbers records with 32 bits in practice; a claim beyond it is damage.
constexpr std::uint64_t kMaxMftRecords = std::uint64_t{1} << 32;
}  // namespace

MftRecordWindow::MftRecordWindow(NtfsVolume& volume) : volume_(volume) {
    if (volume.mftFile == nullptr || volume.mftRecordSize == 0) return;
    data_ = findAttribute(*volume.mftFile, volume.typeData);
    if (data_ == nullptr) return;
    std::uint64_t records = std::min(data_->dataSize / volume.mftRecordSize, kMaxMftRecords);
    // Every record lies on the source: no more of them than it can hold.
    if (volume.context != nullptr) {
        if (const auto bytes = volume.context->reader.sourceBytes())
            records = std::min(records, *bytes / volume.mftRecordSize);
    }
    records_ = records;
}

void MftRecordWindow::load(std::uint64_t first, std::uint64_t last) {
    first_ = first;
    loaded_ = 0;
    if (data_ == nullptr || last < first || last >= records_ || last - first >= kWindowRecords)
        return;
    const std::size_t size = volume_.mftRecordSize;
    const auto count = static_cast<std::size_t>(last - first + 1);
    buffer_.resize(count * size);
    TransferRequest request{true, buffer_.data(), buffer_.size()};
    readAttributeData(*volume_.mftFile, *data_, first * size, request);
    loaded_ = request.count / size;
}

std::span<const std::uint8_t> MftRecordWindow::record(std::uint64_t number) {
    const std::size_t size = volume_.mftRecordSize;
    if (data_ == nullptr || number < first_ || number >= records_) return {};
    const std::uint64_t index = number - first_;
    if (index < loaded_) return std::span(buffer_).subspan(index * size, size);
    // Past what the window's read delivered: this record alone.
    if ((index + 1) * size > buffer_.size()) return {};
    const std::span<std::uint8_t> slot = std::span(buffer_).subspan(index * size, size);
    TransferRequest request{true, slot.data(), size};
    if (readAttributeData(*volume_.mftFile, *data_, number * size, request) != kNtfsOk ||
        request.count != size)
        return {};
    return slot;
}

}  // namespace rekkon
