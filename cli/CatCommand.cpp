#include <charconv>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/ScanSession.h"
#include "cli/VolumeSelect.h"
#include "recovery/DataCopy.h"
#include "recovery/FileData.h"

namespace rekkon::cli {

namespace {

constexpr const char* kCatUsage =
    "usage: rekkon-cli cat SOURCE RECORD [--stream NAME] [--partition N | --offset BYTES]\n";
constexpr std::size_t kChunkBytes = 1024 * 1024;

struct CatArgs {
    std::string source;
    std::uint64_t record = 0;
    std::string stream;  // empty: the unnamed data stream
    SourceChoice choice;
};

std::optional<std::uint64_t> parseRecordNumber(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

// nullopt after printing the usage (or, for --partition and --offset, what is wrong with them).
std::optional<CatArgs> parseCatArgs(const std::vector<std::string>& args, Streams& io) {
    std::string error;
    const auto options = parseOptions(args, {"stream", "partition", "offset"}, {}, {}, error);
    const auto stream = options ? options->value("stream") : std::nullopt;
    const auto record = options && options->positional.size() == 2
                            ? parseRecordNumber(options->positional[1])
                            : std::nullopt;
    if (!record || (stream && stream->empty())) {
        io.err << kCatUsage;
        return std::nullopt;
    }
    CatArgs parsed;
    if (!readSourceChoice(*options, io, parsed.choice)) return std::nullopt;
    parsed.source = options->positional[0];
    parsed.record = *record;
    parsed.stream = stream.value_or("");
    return parsed;
}

std::string streamLabel(const CatArgs& args) {
    return args.stream.empty() ? "no unnamed data stream"
                               : "no data stream named \"" + args.stream + "\"";
}

// What follows "MFT record N" when the record's data cannot be opened.
std::string openFailureText(DataOpenError why, const CatArgs& args) {
    switch (why) {
        case DataOpenError::NoSuchStream:
            return " has " + streamLabel(args) + ".";
        case DataOpenError::PastMft:
            return " does not exist: the MFT holds fewer records (list shows the records of "
                   "deleted files).";
        case DataOpenError::PastSourceEnd:
            return " lies past the end of the source, which is cut short: its data cannot be "
                   "read from this image or device (use a complete copy of the volume).";
        default:
            return " cannot be opened: it is not a valid file record (damaged, or never used).";
    }
}

}  // namespace

int runCat(const std::vector<std::string>& args, Streams& io) {
    const std::optional<CatArgs> parsed = parseCatArgs(args, io);
    if (!parsed) return kExitUsage;
    ScanContext context;
    if (const int status = openVolume(parsed->source, parsed->choice, io, context, "NTFS",
                                      "no valid boot sector or MFT");
        status != kExitOk)
        return status;
    if (!context.fileSystem->capabilities().numberedRecords) {
        const std::string family = context.fileSystem->typeName();
        io.err << "rekkon-cli: \"" << parsed->source << "\" holds a " << family
               << " volume, which has no MFT records: cat reads NTFS volumes (use recover --only "
                  "LOCATION on "
               << family << ").\n";
        return kExitSource;
    }
    DataOpenError why = DataOpenError::None;
    auto data = openFileData(context, parsed->record, 0, parsed->stream, &why);
    if (!data) {
        io.err << "rekkon-cli: MFT record " << parsed->record << openFailureText(why, *parsed)
               << "\n";
        return kExitSource;
    }
    const std::uint64_t size = data->size();
    const CopyStats stats =
        copyFileData(*data, size, kChunkBytes, [&io](std::span<const std::uint8_t> bytes) {
            io.out.write(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<std::streamsize>(bytes.size()));
            return static_cast<bool>(io.out);
        });
    data.reset();
    const std::uint64_t unreadableSectors = context.volume.reader.unreadableSectors();
    const std::uint64_t pastEndSectors = context.volume.reader.pastEndSectors();
    unmountVolume(context);
    if (stats.sinkFailed) return kExitOutput;  // runCli says what happened
    if (stats.unreadableBytes != 0)
        io.err << "rekkon-cli: MFT record " << parsed->record << ": " << stats.unreadableBytes
               << " of " << size
               << " bytes could not be read and were written as zeros; the output is not the "
                  "whole data.\n";
    const bool sectorsLost =
        reportUnreadableSectors(io, parsed->source, unreadableSectors, pastEndSectors);
    return stats.unreadableBytes != 0 || sectorsLost ? kExitSkipped : kExitOk;
}

}  // namespace rekkon::cli
