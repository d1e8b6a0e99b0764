#include "cli/VolumeSelect.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <ostream>
#include <vector>

#include "cli/PartitionText.h"
#include "cli/SourceOpen.h"
#include "recovery/CarveMount.h"

namespace rekkon::cli {

namespace {

// Partition numbers above this are taken for typing mistakes (GPT holds 128 entries by default).
constexpr std::uint64_t kMaxPartitionNumber = 1u << 20;

std::optional<std::uint64_t> parseNumber(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

bool isExtended(const PartitionTable& table, int number) {
    return std::any_of(table.partitions.begin(), table.partitions.end(),
                       [&](const PartitionInfo& p) { return p.extended && p.number == number; });
}

// The numbers of the logical partitions: "5", "5 or 6", "5, 6 or 7".
std::string logicalNumbers(const PartitionTable& table) {
    std::vector<int> numbers;
    for (const PartitionInfo& p : table.partitions)
        if (!p.extended && p.number >= 5) numbers.push_back(p.number);
    std::string text;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i != 0) text += i + 1 == numbers.size() ? " or " : ", ";
        text += std::to_string(numbers[i]);
    }
    return text;
}

}  // namespace

bool readCarveChoice(const Options& options, Streams& io, std::optional<CarveChoice>& carve) {
    const std::optional<std::string> types = options.value("type");
    if (!options.has("carve") && !options.has("raw") && !types) return true;
    carve.emplace();
    carve->raw = options.has("raw");
    if (!types) return true;
    std::size_t start = 0;
    while (start <= types->size()) {
        std::size_t comma = types->find(',', start);
        if (comma == std::string::npos) comma = types->size();
        std::string type = types->substr(start, comma - start);
        std::transform(type.begin(), type.end(), type.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        start = comma + 1;
        if (type.empty()) continue;
        const CarveFormat* format = carveFormatNamed(type);
        if (format == nullptr) {
            std::string known;
            for (const CarveFormat& f : carveFormats())
                known += (known.empty() ? "" : ", ") + std::string(f.type);
            io.err << "rekkon-cli: --type: \"" << type << "\" is not a format rekkon knows; "
                   << "give some of: " << (known.empty() ? "(none)" : known)
                   << ", or an extension such files take: " << carveFormatAliases() << ".\n";
            return false;
        }
        if (std::find(carve->formats.begin(), carve->formats.end(), format) == carve->formats.end())
            carve->formats.push_back(format);
    }
    return true;
}

bool readSourceChoice(const Options& options, Streams& io, SourceChoice& choice) {
    if (const auto text = options.value("partition")) {
        const auto number = parseNumber(*text);
        if (!number || *number == 0 || *number > kMaxPartitionNumber) {
            io.err << "rekkon-cli: --partition wants a partition number (1, 2, ... as `info "
                      "SOURCE` lists them), not \""
                   << *text << "\"\n";
            return false;
        }
        choice.partition = static_cast<int>(*number);
    }
    if (const auto text = options.value("offset")) {
        const auto bytes = parseNumber(*text);
        if (!bytes) {
            io.err << "rekkon-cli: --offset wants a number of bytes, not \"" << *text << "\"\n";
            return false;
        }
        choice.offset = *bytes;
    }
    if (choice.partition && choice.offset) {
        io.err << "rekkon-cli: give --partition or --offset, not both\n";
        return false;
    }
    return true;
}

std::string volumeText(const std::string& path, std::optional<int> partition) {
    return partition ? path + " partition " + std::to_string(*partition) : path;
}

int explainSelection(const SelectedSource& selected, const std::string& path,
                     const SourceChoice& choice, Streams& io) {
    const std::string quoted = "\"" + path + "\"";
    switch (selected.status) {
        case SourceStatus::Opened:
            return kExitOk;
        case SourceStatus::CannotOpen:
            io.err << openFailureMessage(path, selected.error != 0 ? selected.error : EIO) << '\n';
            return kExitSource;
        case SourceStatus::BadOffset:
            io.err << "rekkon-cli: --offset " << choice.offset.value_or(0) << " does not fit "
                   << quoted
                   << ": it must be a multiple of 512 and lie before the end of the source.\n";
            return kExitUsage;
        case SourceStatus::NoSuchPartition:
            if (!selected.table) {
                io.err << "rekkon-cli: " << quoted
                       << " has no partition table, so --partition cannot be used; leave it "
                          "out (or give --offset BYTES for a volume at a known offset).\n";
                return kExitUsage;
            }
            if (const std::string logical = logicalNumbers(*selected.table);
                isExtended(*selected.table, choice.partition.value_or(0))) {
                io.err << "rekkon-cli: partition " << choice.partition.value_or(0) << " of "
                       << quoted
                       << " is the extended partition, which holds the logical ones and no "
                          "volume of its own; "
                       << (logical.empty() ? std::string("it holds none.")
                                           : "give --partition " + logical + ".")
                       << " Its partitions:\n";
            } else {
                io.err << "rekkon-cli: " << quoted << " has no partition "
                       << choice.partition.value_or(0) << ". Its partitions:\n";
            }
            printPartitionRows(io.err, *selected.table, false, "  ");
            return kExitUsage;
        case SourceStatus::PartitionNeeded:
            io.err
                << "rekkon-cli: " << quoted
                << " holds several FAT, exFAT or NTFS partitions; choose one with --partition N:\n";
            printPartitionRows(io.err, *selected.table, true, "  ");
            return kExitUsage;
        case SourceStatus::NoVolumePartition:
            io.err << "rekkon-cli: " << quoted << " holds a "
                   << schemeText(selected.table ? selected.table->scheme : "")
                   << " partition table with no FAT, exFAT or NTFS partition (see rekkon-cli info "
                   << path << "). Give --partition N to try one anyway.\n";
            return kExitSource;
    }
    return kExitSource;
}

int openVolume(const std::string& path, const SourceChoice& choice, Streams& io,
               ScanContext& context, const std::string& wanted, const std::string& why,
               std::uint64_t* volumeOffset, const CarveChoice* carve) {
    if (carve && carve->raw) {
        int error = 0;
        std::unique_ptr<SectorDevice> device = io.openSource(path, error);
        if (!device) {
            io.err << openFailureMessage(path, error != 0 ? error : EIO) << '\n';
            return kExitSource;
        }
        mountForCarving(context, std::move(device), {}, carve->formats, true);
        return kExitOk;
    }
    SelectedSource selected = selectSource(path, choice, io.openSource);
    if (selected.status != SourceStatus::Opened)
        return explainSelection(selected, path, choice, io);
    if (volumeOffset) *volumeOffset = selected.volumeOffset;
    if (selected.partition && !choice.partition) {
        const std::uint64_t length = selected.device->sizeBytes().value_or(0);
        io.err << "Using partition " << *selected.partition << " ("
               << (selected.fileSystemName.empty() ? "" : selected.fileSystemName + ", ")
               << sizeText(length) << ") of " << path << '\n';
    }
    const std::string unread = selected.unreadFileSystem;
    const MountOrder order = mountOrderForName(selected.fileSystemName);
    if (carve) {
        if (!mountForCarving(context, std::move(selected.device), order, carve->formats))
            io.err << "\"" << volumeText(path, selected.partition) << "\" holds no " << wanted
                   << " volume that can be read; all of it is searched by content.\n";
        return kExitOk;
    }
    if (mountVolume(context, std::move(selected.device), order) == MountStatus::Mounted)
        return kExitOk;
    if (!unread.empty()) {
        io.err << "rekkon-cli: \"" << volumeText(path, selected.partition) << "\" holds an "
               << unread
               << " volume that cannot be read: its boot sector and the backup of it are both "
                  "damaged. Make an image of the whole device and try again with that, or have "
                  "its boot region repaired on a copy.\n";
        return kExitSource;
    }
    io.err << "rekkon-cli: \"" << volumeText(path, selected.partition) << "\" holds no " << wanted
           << " volume that can be read" << (why.empty() ? "" : " (" + why + ")") << '.';
    if (!selected.table && !choice.offset)
        io.err << " It has no partition table that could be read either; give --offset BYTES "
                  "for a volume at a known offset.";
    io.err << '\n';
    return kExitSource;
}

}  // namespace rekkon::cli
