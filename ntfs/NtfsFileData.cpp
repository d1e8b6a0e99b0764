#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/MftRecordWindow.h"
#include "ntfs/NtfsFileSystem.h"
#include "ntfs/NtfsHoles.h"

namespace rekkon {

namespace {

// One data attribute of a file read through its MFT record: resident or not, sparse or
// compressed alike.
class NtfsFileData final : public FileDataHandle {
  public:
    explicit NtfsFileData(NtfsVolume& ntfs) : ntfs_(ntfs) {}
    ~NtfsFileData() override { closeMftFile(file_); }
    NtfsFileData(const NtfsFileData&) = delete;
    NtfsFileData& operator=(const NtfsFileData&) = delete;

    DataOpenError open(std::uint64_t record, const std::string& streamName) {
        if (openMftFile(file_, ntfs_, record) != kNtfsOk) {
            switch (mftRecordPlace(ntfs_, record)) {
                case MftRecordPlace::PastMft:
                    return DataOpenError::PastMft;
                case MftRecordPlace::PastSourceEnd:
                    return DataOpenError::PastSourceEnd;
                default:
                    return DataOpenError::CannotLocate;
            }
        }
        data_ = findAttribute(file_, ntfs_.typeData, streamName);
        return data_ == nullptr ? DataOpenError::NoSuchStream : DataOpenError::None;
    }

    std::uint64_t size() const override { return data_->dataSize; }

    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        // Stored bytes end where a hole starts, so that a copy can pass over the hole; a read
        // that starts in a hole goes on through it.
        const std::uint64_t before =
            bytesBeforeHole(*data_, ntfs_.bytesPerCluster, position, buffer.size());
        if (before != 0) buffer = buffer.first(static_cast<std::size_t>(before));
        TransferRequest request{true, buffer.data(), buffer.size()};
        if (readAttributeData(file_, *data_, position, request) != kNtfsOk) return 0;
        return request.count;
    }

    std::uint64_t holeBytesAt(std::uint64_t position) const override {
        return attributeHoleBytes(*data_, ntfs_.bytesPerCluster, position);
    }

    std::optional<StoredExtent> storedAt(std::uint64_t position) override {
        // Resident and compressed data are not stored byte for byte in clusters.
        const std::uint64_t clusterBytes = ntfs_.bytesPerCluster;
        if (data_->isResident || isCompressed(*data_) || clusterBytes == 0) return std::nullopt;
        const std::uint64_t end = std::min(data_->dataSize, data_->initializedSize);
        if (position >= end) return std::nullopt;
        const std::uint64_t vcn = position / clusterBytes;
        std::uint64_t runVcn = 0;
        for (const DataRun& run : data_->runs) {
            if (vcn < runVcn + run.length) {
                if (run.isSparse()) return std::nullopt;
                const std::uint64_t inRun = position - runVcn * clusterBytes;
                const std::uint64_t runBytes = run.length * clusterBytes;
                return StoredExtent{static_cast<std::uint64_t>(run.lcn) * clusterBytes + inRun,
                                    std::min(runBytes - inRun, end - position)};
            }
            runVcn += run.length;
        }
        return std::nullopt;
    }

  private:
    NtfsVolume& ntfs_;
    MftFile file_;
    const AttributeDescriptor* data_ = nullptr;  // owned by file_
};

}  // namespace

std::unique_ptr<FileDataHandle> openNtfsFileData(NtfsVolume& ntfs, std::uint64_t location,
                                                 const std::string& streamName,
                                                 DataOpenError& why) {
    auto data = std::make_unique<NtfsFileData>(ntfs);
    why = data->open(location, streamName);
    if (why != DataOpenError::None) return nullptr;
    return data;
}

}  // namespace rekkon
