#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "fat/FatFoundEntry.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/ScanContext.h"
#include "volume/LeReader.h"
#include "volume/MemorySectorDevice.h"

namespace rekkon::fuzz {

namespace {

namespace fs = std::filesystem;

// A FAT12 volume of 64 sectors of 512 bytes, one sector a cluster: boot sector, two FATs of one
// sector, a root folder of 16 entries, then clusters 2..61, whose bytes come from the input.
constexpr std::size_t kVolumeSectors = 64;
constexpr std::size_t kDataStart = 4 * kSectorSize;
constexpr std::uint32_t kLastCluster = 61;

void buildVolume(std::vector<std::uint8_t>& image, std::span<const std::uint8_t> fill) {
    image.assign(kVolumeSectors * kSectorSize, 0);
    const std::uint8_t boot[] = {
        0xEB,           0x3C, 0x90, 'M',  'S',  'D', 'O', 'S', '5', '.', '0',
        0x00,           0x02,                    // bytes per sector
        0x01,                                    // sectors per cluster
        0x01,           0x00,                    // reserved sectors
        0x02,                                    // FATs
        0x10,           0x00,                    // root entries
        kVolumeSectors, 0x00, 0xF8, 0x01, 0x00,  // sectors per FAT
        0x20,           0x00, 0x02, 0x00};
    std::copy(std::begin(boot), std::end(boot), image.begin());
    image[0x26] = 0x29;
    const char type[] = "NO NAME    FAT12   ";
    std::copy(type, type + 19, image.begin() + 0x2B);
    image[510] = 0x55;
    image[511] = 0xAA;
    for (const std::size_t fat : {std::size_t{1}, std::size_t{2}}) {
        image[fat * kSectorSize] = 0xF8;
        image[fat * kSectorSize + 1] = 0xFF;
        image[fat * kSectorSize + 2] = 0xFF;
    }
    const std::size_t n = std::min(fill.size(), image.size() - kDataStart);
    std::copy_n(fill.begin(), n, image.begin() + kDataStart);
}

// Reads the fields of the entries from the input, front to back; past its end everything is 0.
class Cursor {
  public:
    explicit Cursor(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint8_t byte() { return pos_ < data_.size() ? data_[pos_++] : 0; }
    std::string text(std::size_t length) {
        const std::size_t n = std::min(length, data_.size() - pos_);
        std::string s(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                      data_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return s;
    }
    std::span<const std::uint8_t> rest() const { return data_.subspan(pos_); }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Answers the first-character question from the input: a character, or none (cancelled).
class InputAsker final : public FirstCharAsker {
  public:
    InputAsker(std::string answer, bool forAll, bool proven)
        : answer_(std::move(answer)), forAll_(forAll), proven_(proven) {}
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        if (answer_.empty()) return std::nullopt;
        return FirstCharAnswer{answer_, forAll_};
    }
    bool answersProvenNames() const override { return proven_; }

  private:
    std::string answer_;
    bool forAll_;
    bool proven_;
};

std::string readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool within(const fs::path& path, const fs::path& folder) {
    const fs::path normal = path.lexically_normal();
    const auto mismatch = std::mismatch(folder.begin(), folder.end(), normal.begin(), normal.end());
    return mismatch.first == folder.end() && mismatch.second != normal.end();
}

}  // namespace

void fuzzWriter(std::span<const std::uint8_t> data) {
    Cursor in(data);
    // Byte 0: keep folders, long names, hashes, hidden-name pending files, answer for all,
    // answer proven names, a file in the way of the first name; byte 1: the entries (1..4).
    const std::uint8_t control = in.byte();
    const std::size_t count = 1 + in.byte() % 4;
    std::vector<DeletedFileEntry> entries(count);
    for (DeletedFileEntry& e : entries) {
        const std::uint8_t flags = in.byte();
        e.name = in.text(in.byte());
        e.folder = in.text(in.byte());
        if ((flags & 1) != 0) e.longName = in.text(std::size_t{in.byte()} * 2);
        if ((flags & 2) != 0) e.firstChar = in.text(in.byte() % 5);
        e.longNameCut = (flags & 4) != 0;
        e.lowerCaseBase = (flags & 8) != 0;
        e.origin = (flags & 0x10) != 0 ? kFatLostFolderOrigin : kFatEntryOrigin;
        e.timesUtc = (flags & 0x20) != 0;
        e.location = 2 + in.byte() % (kLastCluster - 1);
        e.size = (std::uint32_t{in.byte()} << 8 | in.byte()) % (kLastCluster * kSectorSize);
        e.attributes = in.byte();
        e.writeTime = e.lastAccessTime = std::uint64_t{in.byte()} << 52;
    }
    const std::string answer = in.text(in.byte() % 5);

    static std::vector<std::uint8_t> image;
    buildVolume(image, in.rest());
    ScanContext context;
    if (mountVolume(context, std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{},
                                                                  image)) != MountStatus::Mounted) {
        fuzzCheck(false, "the built FAT12 volume does not mount");
    }

    // root/a/dest is the destination; a file beside it and one above it must stay as they are.
    std::string pattern = (fs::temp_directory_path() / "rekkon-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    const fs::path root = pattern;
    const fs::path dest = root / "a" / "dest";
    fs::create_directories(dest);
    writeFile(root / "keep", "above");
    writeFile(root / "a" / "keep", "beside");
    std::optional<fs::path> inTheWay;
    if ((control & 0x40) != 0) {
        const std::string& name = entries[0].name;
        if (!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
            name.find('\0') == std::string::npos && name.size() < 200) {
            inTheWay = dest / name;
            writeFile(*inTheWay, "old");
        }
    }

    RecoveryOptions options;
    options.destination = dest.string();
    options.chunkBytes = 4096;
    options.keepFolders = (control & 1) != 0;
    options.longNames = (control & 2) != 0;
    options.hashes = (control & 4) != 0;
    options.method = (control & 8) != 0 ? PendingMethod::HiddenName : PendingMethod::Auto;
    InputAsker asker(answer, (control & 0x10) != 0, (control & 0x20) != 0);
    std::vector<const DeletedFileEntry*> chosen;
    for (const DeletedFileEntry& e : entries)
        chosen.push_back(&e);
    const std::vector<RecoveryOutcome> outcomes = recoverEntries(context, chosen, options, asker);
    fuzzCheck(outcomes.size() <= chosen.size(), "more outcomes than entries");

    std::size_t written = 0;
    for (const RecoveryOutcome& o : outcomes) {
        if (o.result != RecoveryResult::Written && o.result != RecoveryResult::NotWhole) continue;
        ++written;
        fuzzCheck(within(o.outputPath, dest), "a file written outside the destination");
        std::error_code error;
        const auto size = fs::file_size(o.outputPath, error);
        fuzzCheck(!error && size == o.bytesWritten, "a written file is not where it was reported");
    }
    fuzzCheck(
        readWholeFile(root / "keep") == "above" && readWholeFile(root / "a" / "keep") == "beside",
        "a file outside the destination changed");
    if (inTheWay) fuzzCheck(readWholeFile(*inTheWay) == "old", "a recovered file replaced another");
    // Nothing but the destination and the two kept files, and in the destination no more files
    // than were written (and the one in the way).
    std::size_t files = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        const fs::path& p = e.path();
        if (p == root / "keep" || p == root / "a" || p == root / "a" / "keep" || p == dest)
            continue;
        fuzzCheck(within(p, dest), "something written outside the destination");
        if (!e.is_directory()) ++files;
    }
    fuzzCheck(files == written + (inTheWay ? 1 : 0), "files left in the destination not reported");

    const std::string report = recoveryReportJson(ReportSource{"fuzz", 0}, outcomes);
    fuzzCheck(!report.empty() && report.front() == '[', "a report that is not a JSON array");
    std::error_code ignored;
    fs::remove_all(root, ignored);
    unmountVolume(context);
}

}  // namespace rekkon::fuzz
