#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "recovery/FileData.h"

namespace rekkon {

namespace {

// A file's data read through its MFT record: the unnamed data attribute, or a named stream,
// resident or not, sparse or compressed alike.
class NtfsFileData final : public FileDataHandle {
  public:
    explicit NtfsFileData(NtfsVolume& ntfs) : ntfs_(ntfs) {}
    ~NtfsFileData() override { closeMftFile(file_); }
    NtfsFileData(const NtfsFileData&) = delete;
    NtfsFileData& operator=(const NtfsFileData&) = delete;

    bool open(std::uint64_t record) { return openMftFile(file_, ntfs_, record) == kNtfsOk; }

    std::size_t read(const std::string& streamName, std::span<std::uint8_t> buffer) override {
        TransferRequest request{true, buffer.data(), buffer.size()};
        if (readAttribute(file_, ntfs_.typeData, streamName, offset_, request) != kNtfsOk) return 0;
        offset_ += request.count;
        return request.count;
    }

  private:
    NtfsVolume& ntfs_;
    MftFile file_;
    std::uint64_t offset_ = 0;
};

}  // namespace

std::unique_ptr<FileDataHandle> openNtfsFileData(ScanContext& context, std::uint64_t location) {
    auto data = std::make_unique<NtfsFileData>(*context.ntfs);
    if (!data->open(location)) return nullptr;
    return data;
}

}  // namespace rekkon
