#include <charconv>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/Commands.h"
#include "cli/SourceOpen.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsMount.h"

namespace rekkon::cli {

namespace {

constexpr const char* kCatUsage = "usage: rekkon-cli cat SOURCE RECORD [--stream NAME]\n";
constexpr std::size_t kChunkBytes = 1024 * 1024;

struct CatArgs {
    std::string source;
    std::uint64_t record = 0;
    std::string stream;  // empty: the unnamed data stream
};

std::optional<std::uint64_t> parseRecordNumber(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

std::optional<CatArgs> parseCatArgs(const std::vector<std::string>& args) {
    CatArgs parsed;
    std::vector<std::string> positional;
    bool streamGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--stream") {
            if (i + 1 >= args.size() || streamGiven) return std::nullopt;
            parsed.stream = args[++i];
            streamGiven = true;
        } else if (arg.rfind("--stream=", 0) == 0) {
            if (streamGiven) return std::nullopt;
            parsed.stream = arg.substr(9);
            streamGiven = true;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || (streamGiven && parsed.stream.empty())) return std::nullopt;
    const auto record = parseRecordNumber(positional[1]);
    if (!record) return std::nullopt;
    parsed.source = positional[0];
    parsed.record = *record;
    return parsed;
}

std::string streamLabel(const CatArgs& args) {
    return args.stream.empty() ? "no unnamed data stream"
                               : "no data stream named \"" + args.stream + "\"";
}

// Copies the stream to `out` chunk by chunk; false (with a message) when a read fails.
bool copyStream(MftFile& file, const NtfsVolume& ntfs, const CatArgs& args, std::uint64_t dataSize,
                Streams& io) {
    std::vector<std::uint8_t> chunk(kChunkBytes);
    std::uint64_t position = 0;
    while (position < dataSize) {
        TransferRequest request{true, chunk.data(), chunk.size()};
        const int result = readAttribute(file, ntfs.typeData, args.stream, position, request);
        if (result != kNtfsOk || request.count == 0) {
            io.err << "rekkon-cli: MFT record " << args.record << ": the data at byte " << position
                   << " cannot be read"
                   << (result == NTFS_NOT_AVAILABLE ? " (no run of the record describes it)" : "")
                   << "; " << position << " of " << dataSize << " bytes were written.\n";
            return false;
        }
        io.out.write(reinterpret_cast<const char*>(chunk.data()),
                     static_cast<std::streamsize>(request.count));
        position += request.count;
    }
    io.out.flush();
    return true;
}

}  // namespace

int runCat(const std::vector<std::string>& args, Streams& io) {
    const std::optional<CatArgs> parsed = parseCatArgs(args);
    if (!parsed) {
        io.err << kCatUsage;
        return kExitUsage;
    }
    VolumeContext volume;
    if (const int error = openDevice(volume, parsed->source); error != 0) {
        io.err << openFailureMessage(parsed->source, error) << '\n';
        return kExitSource;
    }
    NtfsVolume ntfs;
    if (mountNtfsOnOpenDevice(volume, ntfs) != 1) {
        io.err << "rekkon-cli: \"" << parsed->source
               << "\" holds no NTFS volume that can be read (no valid boot sector or MFT).\n";
        return kExitSource;
    }
    MftFile file;
    if (openMftFile(file, ntfs, parsed->record) != kNtfsOk) {
        io.err << "rekkon-cli: MFT record " << parsed->record
               << " cannot be opened (past the end of the MFT, or not a valid file record).\n";
        unmountNtfs(volume, ntfs);
        return kExitSource;
    }
    const AttributeDescriptor* data = findAttribute(file, ntfs.typeData, parsed->stream);
    if (data == nullptr) {
        io.err << "rekkon-cli: MFT record " << parsed->record << " has " << streamLabel(*parsed)
               << ".\n";
        closeMftFile(file);
        unmountNtfs(volume, ntfs);
        return kExitSource;
    }
    const bool copied = copyStream(file, ntfs, *parsed, data->dataSize, io);
    closeMftFile(file);
    unmountNtfs(volume, ntfs);
    return copied ? kExitOk : kExitFailure;
}

}  // namespace rekkon::cli
