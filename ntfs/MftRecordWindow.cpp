#include "ntfs/MftRecordWindow.h"

#include <algorithm>
#include <optional>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsVolume.h"
#include "ntfs/RunWalker.h"

namespace rekkon {

namespace {
// NTFS numbers records with 32 bits in practice; a claim beyond it is damage.
constexpr std::uint64_t kMaxMftRecords = std::uint64_t{1} << 32;
}  // namespace

namespace {

// Where byte `position` of the $MFT's non-resident data lies on the source.
MftRecordPlace bytePlace(const AttributeDescriptor& data, std::uint64_t cluster,
                         std::uint64_t position, std::optional<std::uint64_t> sourceBytes) {
    RunWalker walker(data.runs);
    if (!walker.seek(position / cluster) || walker.run().isSparse())
        return MftRecordPlace::Unmapped;
    if (!sourceBytes) return MftRecordPlace::OnSource;
    const auto lcn = static_cast<std::uint64_t>(walker.run().lcn);
    const std::uint64_t inRun = position / cluster - walker.startVcn();
    // Clusters beyond what the source can hold are past its end, however large the numbers.
    const std::uint64_t sourceClusters = *sourceBytes / cluster;
    if (lcn >= sourceClusters || inRun >= sourceClusters - lcn)
        return MftRecordPlace::PastSourceEnd;
    const std::uint64_t byte = (lcn + inRun) * cluster + position % cluster;
    return byte < *sourceBytes ? MftRecordPlace::OnSource : MftRecordPlace::PastSourceEnd;
}

}  // namespace

MftRecordPlace mftRecordPlace(NtfsVolume& volume, std::uint64_t number) {
    const AttributeDescriptor* data =
        volume.mftFile != nullptr ? findAttribute(*volume.mftFile, volume.typeData) : nullptr;
    const std::uint64_t size = volume.mftRecordSize;
    const std::uint64_t cluster = volume.bytesPerCluster;
    if (data == nullptr || size == 0 || cluster == 0 || number >= kMaxMftRecords ||
        number >= data->dataSize / size)
        return MftRecordPlace::PastMft;
    if (data->isResident) return MftRecordPlace::OnSource;
    const std::optional<std::uint64_t> bytes =
        volume.context != nullptr ? volume.context->reader.sourceBytes() : std::nullopt;
    // A record is read whole: either end that cannot be read makes it unreadable.
    const MftRecordPlace first = bytePlace(*data, cluster, number * size, bytes);
    if (first != MftRecordPlace::OnSource) return first;
    return bytePlace(*data, cluster, number * size + size - 1, bytes);
}

MftRecordWindow::MftRecordWindow(NtfsVolume& volume) : volume_(volume) {
    if (volume.mftFile == nullptr || volume.mftRecordSize == 0) return;
    data_ = findAttribute(*volume.mftFile, volume.typeData);
    if (data_ == nullptr) return;
    claimed_ = std::min(data_->dataSize / volume.mftRecordSize, kMaxMftRecords);
    records_ = claimed_;
    // The walk covers no more records than the source can hold; the rest lie past its end.
    if (volume.context != nullptr) {
        if (const auto bytes = volume.context->reader.sourceBytes())
            records_ = std::min(records_, *bytes / volume.mftRecordSize);
    }
}

void MftRecordWindow::askBeyondSource(std::uint64_t number) {
    if (data_ == nullptr || number < records_ || number >= claimed_) return;
    std::vector<std::uint8_t> scratch(volume_.mftRecordSize);
    TransferRequest request{true, scratch.data(), scratch.size()};
    readAttributeData(*volume_.mftFile, *data_, number * volume_.mftRecordSize, request);
}

void MftRecordWindow::load(std::uint64_t first, std::uint64_t last) {
    first_ = first;
    loaded_ = 0;
    if (data_ == nullptr || last < first || last >= records_ || last - first >= kWindowRecords)
        return;
    const std::size_t size = volume_.mftRecordSize;
    const auto count = static_cast<std::size_t>(last - first + 1);
    buffer_ = storage_.reserve(count * size, kWindowRecords * size).first(count * size);
    TransferRequest request{true, buffer_.data(), buffer_.size()};
    readAttributeData(*volume_.mftFile, *data_, first * size, request);
    loaded_ = request.count / size;
}

void MftRecordWindow::readAhead(std::uint64_t next) {
    if (data_ == nullptr || data_->isResident || volume_.context == nullptr || next >= records_)
        return;
    // Asked for again only once less than half the distance is left.
    if (aheadEnd_ > next && aheadEnd_ - next >= kReadAheadRecords / 2) return;
    const std::uint64_t first = std::max(next, aheadEnd_);
    const std::uint64_t end = std::min(records_, next + kReadAheadRecords);
    aheadEnd_ = end;
    if (first >= end) return;
    const std::uint64_t cluster = volume_.bytesPerCluster;
    const std::uint64_t size = volume_.mftRecordSize;
    if (cluster == 0 || cluster % kSectorSize != 0) return;
    const std::uint64_t endVcn = (end * size + cluster - 1) / cluster;
    RunWalker walker(data_->runs);
    std::uint64_t vcn = first * size / cluster;
    // Each step moves to the next run, so the loop ends after at most the runs' count.
    for (bool found = walker.seek(vcn); found && vcn < endVcn; found = walker.next()) {
        const DataRun& run = walker.run();
        const std::uint64_t stop = std::min(endVcn, walker.endVcn());
        if (!run.isSparse() && stop > vcn) {
            const auto lcn = static_cast<std::uint64_t>(run.lcn) + (vcn - walker.startVcn());
            const std::uint64_t perCluster = cluster / kSectorSize;
            if (lcn > UINT64_MAX / perCluster) return;
            volume_.context->reader.willNeed(lcn * perCluster, (stop - vcn) * perCluster);
        }
        vcn = std::max(vcn, stop);
    }
}

std::span<const std::uint8_t> MftRecordWindow::record(std::uint64_t number) {
    const std::size_t size = volume_.mftRecordSize;
    if (data_ == nullptr || number < first_ || number >= records_) return {};
    const std::uint64_t index = number - first_;
    if (index < loaded_) return buffer_.subspan(index * size, size);
    // Past what the window's read delivered: this record alone.
    if ((index + 1) * size > buffer_.size()) return {};
    const std::span<std::uint8_t> slot = buffer_.subspan(index * size, size);
    TransferRequest request{true, slot.data(), size};
    if (readAttributeData(*volume_.mftFile, *data_, number * size, request) != kNtfsOk ||
        request.count != size)
        return {};
    return slot;
}

}  // namespace rekkon
