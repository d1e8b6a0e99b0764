#include "volume/EwfSectorDevice.h"

#include <libewf.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "volume/LazyLibrary.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// libewf's functions, loaded with the library when the first evidence file is opened.
struct Ewf {
    decltype(&::libewf_error_backtrace_sprint) error_backtrace_sprint = nullptr;
    decltype(&::libewf_error_free) error_free = nullptr;
    decltype(&::libewf_glob) glob = nullptr;
    decltype(&::libewf_glob_free) glob_free = nullptr;
    decltype(&::libewf_handle_close) handle_close = nullptr;
    decltype(&::libewf_handle_free) handle_free = nullptr;
    decltype(&::libewf_handle_get_bytes_per_sector) handle_get_bytes_per_sector = nullptr;
    decltype(&::libewf_handle_get_checksum_error) handle_get_checksum_error = nullptr;
    decltype(&::libewf_handle_get_media_size) handle_get_media_size = nullptr;
    decltype(&::libewf_handle_get_number_of_checksum_errors) handle_get_number_of_checksum_errors =
        nullptr;
    decltype(&::libewf_handle_get_sectors_per_chunk) handle_get_sectors_per_chunk = nullptr;
    decltype(&::libewf_handle_initialize) handle_initialize = nullptr;
    decltype(&::libewf_handle_open) handle_open = nullptr;
    decltype(&::libewf_handle_read_random) handle_read_random = nullptr;
    decltype(&::libewf_handle_segment_files_corrupted) handle_segment_files_corrupted = nullptr;
    bool complete = false;
};

LazyLibrary& ewfLibrary() {
    static LazyLibrary library({REKKON_LIBEWF_SONAME, "libewf.so"});
    return library;
}

const Ewf& ewf() {
    static const Ewf loaded = [] {
        Ewf e;
        LazyLibrary& library = ewfLibrary();
        if (!library.load()) return e;
        e.complete = true;
        const auto bind = [&](auto& function, const char* name) {
            e.complete = library.bind(function, name) && e.complete;
        };
        bind(e.error_backtrace_sprint, "libewf_error_backtrace_sprint");
        bind(e.error_free, "libewf_error_free");
        bind(e.glob, "libewf_glob");
        bind(e.glob_free, "libewf_glob_free");
        bind(e.handle_close, "libewf_handle_close");
        bind(e.handle_free, "libewf_handle_free");
        bind(e.handle_get_bytes_per_sector, "libewf_handle_get_bytes_per_sector");
        bind(e.handle_get_checksum_error, "libewf_handle_get_checksum_error");
        bind(e.handle_get_media_size, "libewf_handle_get_media_size");
        bind(e.handle_get_number_of_checksum_errors, "libewf_handle_get_number_of_checksum_errors");
        bind(e.handle_get_sectors_per_chunk, "libewf_handle_get_sectors_per_chunk");
        bind(e.handle_initialize, "libewf_handle_initialize");
        bind(e.handle_open, "libewf_handle_open");
        bind(e.handle_read_random, "libewf_handle_read_random");
        bind(e.handle_segment_files_corrupted, "libewf_handle_segment_files_corrupted");
        return e;
    }();
    return loaded;
}

struct ErrorFree {
    void operator()(libewf_error_t* error) const { ewf().error_free(&error); }
};
// An error the library allocated; freed when it goes out of scope.
using EwfError = std::unique_ptr<libewf_error_t, ErrorFree>;

struct HandleFree {
    void operator()(libewf_handle_t* handle) const {
        ewf().handle_close(handle, nullptr);
        ewf().handle_free(&handle, nullptr);
    }
};
using EwfHandle = std::unique_ptr<libewf_handle_t, HandleFree>;

// The most specific line of the library's error backtrace, without the function name that
// starts it ("unable to read file header at offset: 0 (0x00000000)").
std::string errorText(libewf_error_t* error) {
    if (error == nullptr) return "no detail given";
    std::array<char, 4096> text{};
    if (ewf().error_backtrace_sprint(error, text.data(), text.size()) < 0) return "no detail given";
    std::string line(text.data(), strnlen(text.data(), text.size()));
    line = line.substr(0, line.find('\n'));
    if (const std::size_t colon = line.find(": "); colon != std::string::npos)
        line = line.substr(colon + 2);
    while (!line.empty() && (line.back() == '.' || line.back() == ' '))
        line.pop_back();
    return line.empty() ? "no detail given" : line;
}

// The segment file names of the set whose first segment is `path`, as libewf finds them beside
// it (.E01, .E02, ...). A first segment under a name libewf does not know (no .E01-like
// extension) is taken alone: the file was recognised by its signature, not its name.
class SegmentNames {
  public:
    explicit SegmentNames(const std::string& path) {
        libewf_error_t* raw = nullptr;
        if (ewf().glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names_, &count_, &raw) !=
                1 ||
            count_ <= 0) {
            EwfError discarded(raw);
            names_ = nullptr;
            count_ = 0;
            single_ = path;
            singleList_ = {single_.data()};
        }
    }
    ~SegmentNames() {
        if (names_ != nullptr) ewf().glob_free(names_, count_, nullptr);
    }
    SegmentNames(const SegmentNames&) = delete;
    SegmentNames& operator=(const SegmentNames&) = delete;

    char* const* names() const { return names_ != nullptr ? names_ : singleList_.data(); }
    int count() const { return names_ != nullptr ? count_ : 1; }
    std::string last() const { return names()[count() - 1]; }

  private:
    char** names_ = nullptr;
    int count_ = 0;
    std::string single_;
    std::vector<char*> singleList_;
};

// The name of the segment that would follow `name` when its extension ends in two digits below
// 99 (".E01" -> ".E02"); empty otherwise.
std::string nextSegmentName(const std::string& name) {
    const std::size_t n = name.size();
    if (n < 3 || name[n - 3] == '/') return {};
    const char tens = name[n - 2];
    const char ones = name[n - 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return {};
    const int number = (tens - '0') * 10 + (ones - '0') + 1;
    if (number > 99) return {};
    std::string next = name;
    next[n - 2] = static_cast<char>('0' + number / 10);
    next[n - 1] = static_cast<char>('0' + number % 10);
    return next;
}

// Whether the segment file `name` ends in a "next" section, the one that says another segment
// follows (a segment cut short ends in the middle of its data instead).
bool endsWithNextSection(const std::string& name) {
    constexpr std::size_t kSectionHeaderBytes = 76;
    constexpr std::array<std::uint8_t, 16> kNextType = {'n', 'e', 'x', 't'};
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < static_cast<std::streamoff>(kSectionHeaderBytes)) return false;
    std::array<std::uint8_t, kSectionHeaderBytes> tail{};
    in.seekg(size - static_cast<std::streamoff>(kSectionHeaderBytes));
    if (!in.read(reinterpret_cast<char*>(tail.data()), tail.size())) return false;
    const auto type = LeReader(tail).slice(0, kNextType.size());
    return type && std::equal(type->begin(), type->end(), kNextType.begin());
}

// The media sectors whose chunks failed their checksum (or whose data is missing), as libewf
// records them while reading: sorted, disjoint ranges that grow as more of the media is read.
// A copy is kept, so a range is looked up without walking the library's list.
class BadRanges {
  public:
    // Brings the copy up to date after a read of chunk [chunkFirst, chunkEnd) (media sectors).
    // A new bad chunk either adds a range or, next to a known one, lengthens it in place.
    void refresh(libewf_handle_t* handle, std::uint64_t chunkFirst, std::uint64_t chunkEnd) {
        std::uint32_t count = 0;
        if (ewf().handle_get_number_of_checksum_errors(handle, &count, nullptr) != 1) return;
        if (count != ranges_.size()) {
            ranges_.clear();
            for (std::uint32_t i = 0; i < count; ++i)
                ranges_.push_back(fetch(handle, i));
            std::sort(ranges_.begin(), ranges_.end(),
                      [](const Range& a, const Range& b) { return a.first < b.first; });
            return;
        }
        // Only a range ending where the chunk starts or starting where it ends can have grown.
        auto it = firstEndingAtOrAfter(chunkFirst);
        for (int i = 0; i < 2 && it != ranges_.end(); ++i, ++it)
            if (it->end() == chunkFirst || it->first == chunkEnd) *it = fetch(handle, it->index);
    }

    // The first bad media sector in [first, end), if any.
    std::optional<std::uint64_t> firstBad(std::uint64_t first, std::uint64_t end) const {
        auto it = std::partition_point(ranges_.begin(), ranges_.end(),
                                       [first](const Range& r) { return r.end() <= first; });
        if (it == ranges_.end() || it->first >= end) return std::nullopt;
        return std::max(it->first, first);
    }

  private:
    struct Range {
        std::uint64_t first = 0;
        std::uint64_t count = 0;
        std::uint32_t index = 0;  // its place in the library's list
        std::uint64_t end() const { return first + count; }
    };

    static Range fetch(libewf_handle_t* handle, std::uint32_t index) {
        std::uint64_t first = 0;
        std::uint64_t count = 0;
        if (ewf().handle_get_checksum_error(handle, index, &first, &count, nullptr) != 1)
            return {0, 0, index};
        return {first, std::min(count, UINT64_MAX - first), index};
    }

    std::vector<Range>::iterator firstEndingAtOrAfter(std::uint64_t sector) {
        return std::partition_point(ranges_.begin(), ranges_.end(),
                                    [sector](const Range& r) { return r.end() < sector; });
    }

    std::vector<Range> ranges_;
};

class EwfSectorDevice final : public SectorDevice {
  public:
    EwfSectorDevice(EwfHandle handle, std::uint64_t mediaBytes, std::uint32_t bytesPerSector,
                    std::uint64_t chunkBytes)
        : handle_(std::move(handle)),
          mediaBytes_(mediaBytes),
          bytesPerSector_(bytesPerSector),
          chunkBytes_(chunkBytes) {}

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return mediaBytes_; }
    std::optional<std::uint32_t> logicalSectorSize() const override { return bytesPerSector_; }

  private:
    // Reads [offset, offset + out.size()) lying inside one chunk; false when the library fails
    // or a sector of it is bad, with `good` the bytes before the first bad sector.
    bool readPiece(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& good);

    EwfHandle handle_;
    std::uint64_t mediaBytes_;
    std::uint32_t bytesPerSector_;
    std::uint64_t chunkBytes_;
    std::uint64_t sector_ = 0;
    BadRanges bad_;
};

bool EwfSectorDevice::readPiece(std::uint64_t offset, std::span<std::uint8_t> out,
                                std::size_t& good) {
    good = 0;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off64_t>::max())) return false;
    const ssize_t n = ewf().handle_read_random(handle_.get(), out.data(), out.size(),
                                               static_cast<off64_t>(offset), nullptr);
    if (n < 0 || static_cast<std::size_t>(n) != out.size()) return false;
    const std::uint64_t chunkStart = offset / chunkBytes_ * chunkBytes_;
    bad_.refresh(handle_.get(), chunkStart / bytesPerSector_,
                 (chunkStart + chunkBytes_) / bytesPerSector_);
    const std::uint64_t firstSector = offset / bytesPerSector_;
    const std::uint64_t endSector = (offset + out.size() + bytesPerSector_ - 1) / bytesPerSector_;
    if (const auto badSector = bad_.firstBad(firstSector, endSector)) {
        const std::uint64_t badOffset = std::max(*badSector * bytesPerSector_, offset);
        good = static_cast<std::size_t>(badOffset - offset);
        return false;
    }
    good = out.size();
    return true;
}

std::size_t EwfSectorDevice::readSectors(std::span<std::uint8_t> buffer) {
    const std::uint64_t wholeSectors = mediaBytes_ / kSectorSize;
    if (sector_ >= wholeSectors) return 0;
    const std::uint64_t available = (wholeSectors - sector_) * kSectorSize;
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size() / kSectorSize * kSectorSize, available));
    std::size_t done = 0;
    while (done < wanted) {
        const std::uint64_t offset = sector_ * kSectorSize + done;
        const std::uint64_t chunkEnd = (offset / chunkBytes_ + 1) * chunkBytes_;
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(wanted - done, chunkEnd - offset));
        std::size_t good = 0;
        const bool whole = readPiece(offset, buffer.subspan(done, piece), good);
        done += good;
        if (!whole) break;
    }
    // Only whole sectors count: a sector that is bad in part is unreadable.
    const std::size_t delivered = done / kSectorSize * kSectorSize;
    sector_ += delivered / kSectorSize;
    return delivered;
}

// Largest chunk accepted from a set's header; anything larger is damage.
constexpr std::uint64_t kMaxChunkBytes = 64ull << 20;

}  // namespace

bool hasEwfSignature(std::span<const std::uint8_t> firstBytes) {
    static constexpr std::array<std::uint8_t, 8> kSignature = {'E',  'V',  'F',  0x09,
                                                               0x0d, 0x0a, 0xff, 0x00};
    return firstBytes.size() >= kSignature.size() &&
           std::equal(kSignature.begin(), kSignature.end(), firstBytes.begin());
}

std::unique_ptr<SectorDevice> openEwf(const std::string& path, int& error, std::string& detail) {
    error = 0;
    detail.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = errno;
        detail = "the evidence file cannot be found";
        return nullptr;
    }
    if (!ewf().complete) {
        error = ENOSYS;
        detail = "reading evidence files needs the libewf library (" + ewfLibrary().name() +
                 "), which could not be loaded (" +
                 (ewfLibrary().error().empty() ? std::string("a function is missing")
                                               : ewfLibrary().error()) +
                 "); install it (on Debian and Ubuntu the package libewf2)";
        return nullptr;
    }
    const SegmentNames segments(path);
    libewf_handle_t* raw = nullptr;
    libewf_error_t* rawError = nullptr;
    if (ewf().handle_initialize(&raw, &rawError) != 1) {
        EwfError failure(rawError);
        error = ENOMEM;
        detail = "the evidence file library failed to start: " + errorText(failure.get());
        return nullptr;
    }
    EwfHandle handle(raw);
    if (ewf().handle_open(handle.get(), segments.names(), segments.count(), LIBEWF_OPEN_READ,
                          &rawError) != 1) {
        EwfError failure(rawError);
        error = EINVAL;
        detail = "the evidence file set is damaged: " + errorText(failure.get());
        return nullptr;
    }
    size64_t mediaBytes = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerChunk = 0;
    const bool described =
        ewf().handle_get_media_size(handle.get(), &mediaBytes, nullptr) == 1 &&
        ewf().handle_get_bytes_per_sector(handle.get(), &bytesPerSector, nullptr) == 1 &&
        ewf().handle_get_sectors_per_chunk(handle.get(), &sectorsPerChunk, nullptr) == 1;
    if (ewf().handle_segment_files_corrupted(handle.get(), nullptr) != 0) {
        // A set whose last segment does not end it: the next segment may be missing.
        const std::string next = nextSegmentName(segments.last());
        if (!next.empty() && !std::filesystem::exists(next) &&
            endsWithNextSection(segments.last())) {
            error = ENOENT;
            detail = "the evidence file set is incomplete: its segment \"" +
                     std::filesystem::path(next).filename().string() +
                     "\" is missing (keep all segment files of a set together in one folder)";
        } else {
            error = EINVAL;
            detail = "the evidence file set is damaged or cut short";
        }
        return nullptr;
    }
    const std::uint64_t chunkBytes = std::uint64_t{sectorsPerChunk} * bytesPerSector;
    if (!described || mediaBytes == 0 || bytesPerSector < kSectorSize ||
        bytesPerSector % kSectorSize != 0 || chunkBytes == 0 || chunkBytes > kMaxChunkBytes) {
        error = EINVAL;
        detail = "the evidence file set is damaged: its media size or sector size is not valid";
        return nullptr;
    }
    return std::make_unique<EwfSectorDevice>(std::move(handle), mediaBytes, bytesPerSector,
                                             chunkBytes);
}

std::optional<std::string> evidenceOpenProblem(const std::string& path) {
    std::array<std::uint8_t, 8> first{};
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) return std::nullopt;
    const std::size_t n = std::fread(first.data(), 1, first.size(), file);
    std::fclose(file);
    if (!hasEwfSignature(std::span(first.data(), n))) return std::nullopt;
    int error = 0;
    std::string detail;
    if (openEwf(path, error, detail)) return std::nullopt;
    return detail;
}

}  // namespace rekkon
