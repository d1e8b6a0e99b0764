#include "cli/ScanSession.h"

#include <fnmatch.h>

#include <algorithm>
#include <chrono>
#include <ostream>

#include "cli/Interrupt.h"
#include "cli/VolumeSelect.h"
#include "recovery/CarveMount.h"

namespace rekkon::cli {

bool nameMatches(const std::string& glob, const std::string& name) {
    return ::fnmatch(glob.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

bool reportUnreadableSectors(Streams& io, const std::string& source, std::uint64_t sectors,
                             std::uint64_t pastEnd) {
    if (sectors == 0) return false;
    io.err << "rekkon-cli: " << sectors << (sectors == 1 ? " sector" : " sectors") << " of \""
           << source << "\" could not be read; files stored there are incomplete, and deleted "
           << "files recorded there may be missing.\n";
    if (pastEnd != 0)
        io.err << "rekkon-cli: " << (pastEnd == sectors ? "all of them" : std::to_string(pastEnd))
               << " lie past the end of \"" << source << "\", which seems cut short: make "
               << "the image again from the whole device.\n";
    return true;
}

bool reportScanGaps(Streams& io, const ScanSession& session) {
    const auto& reader = session.context.volume.reader;
    const bool sectorsLost = reportUnreadableSectors(io, session.source, reader.unreadableSectors(),
                                                     reader.pastEndSectors());
    return sectorsLost || session.context.lastScan.foldersNotEntered != 0 ||
           session.context.lastScan.lostEntriesLeftOut != 0;
}

void reportInterruptedScan(Streams& io, const ScanSession& session, const std::string& what) {
    const int found = session.context.foundCount;
    io.err << "rekkon-cli: the scan of \"" << session.target << "\" was interrupted; the list is "
           << "incomplete (" << found << (found == 1 ? " deleted file" : " deleted files")
           << " found so far)" << (what.empty() ? "" : "; " + what) << ".\n";
}

namespace {

void reportFoldersNotEntered(Streams& io, const std::string& source, std::uint64_t folders,
                             int depthLimit) {
    if (folders == 0) return;
    const bool one = folders == 1;
    io.err << "rekkon-cli: " << folders << (one ? " folder" : " folders") << " of \"" << source
           << "\" " << (one ? "lies" : "lie") << " deeper than " << depthLimit << " levels and "
           << (one ? "was" : "were") << " not entered; the deleted files in "
           << (one ? "it are" : "them are") << " not listed. Give --folder with a folder further "
           << "down to reach them.\n";
}

}  // namespace

namespace {

bool parseLocation(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    out = std::stoull(text);
    return true;
}

void reportLostEntriesLeftOut(Streams& io, std::uint64_t entries, std::size_t limit) {
    if (entries == 0) return;
    io.err << "rekkon-cli: the search of free space found more lost-folder entries than the "
           << limit << " it keeps; " << entries
           << " were left out. The free space holds damaged or crafted folder data; list without "
              "--deep to see the files the folders still record.\n";
}

}  // namespace

int openAndScan(const Options& options, Streams& io, ScanSession& session) {
    if (options.positional.size() != 1) {
        io.err << "rekkon-cli: give exactly one SOURCE (a device or image file); see rekkon-cli "
                  "--help\n";
        return kExitUsage;
    }
    // LOCATION, or ORIGIN:LOCATION to tell apart entries of different origins there.
    std::vector<std::uint64_t> only;
    std::vector<std::string> onlyOrigins;
    for (const std::string& text : options.all("only")) {
        const std::size_t colon = text.rfind(':');
        const std::string number = colon == std::string::npos ? text : text.substr(colon + 1);
        std::uint64_t location = 0;
        if (!parseLocation(number, location) || colon == 0) {
            io.err << "rekkon-cli: --only wants a location number, not \"" << text << "\"\n";
            return kExitUsage;
        }
        only.push_back(location);
        onlyOrigins.push_back(colon == std::string::npos ? std::string() : text.substr(0, colon));
    }
    session.source = options.positional[0];
    const std::string folder = options.value("folder").value_or("");
    SourceChoice choice;
    if (!readSourceChoice(options, io, choice)) return kExitUsage;
    std::optional<CarveChoice> carve;
    if (!readCarveChoice(options, io, carve)) return kExitUsage;
    if (const int status =
            openVolume(session.source, choice, io, session.context, "FAT, exFAT or NTFS", "",
                       &session.volumeOffset, carve ? &*carve : nullptr);
        status != kExitOk)
        return status;
    const auto& names = options.all("name");
    const auto wanted = [&](const DeletedFileEntry& e) {
        if (!names.empty() && std::none_of(names.begin(), names.end(), [&](const std::string& g) {
                return nameMatches(g, e.name) || (e.longName && nameMatches(g, *e.longName));
            }))
            return false;
        bool match = only.empty();
        for (std::size_t i = 0; i < only.size() && !match; ++i)
            match = only[i] == e.location && (onlyOrigins[i].empty() || onlyOrigins[i] == e.origin);
        return match;
    };
    const FoundSink sink = [&](const DeletedFileEntry& e) {
        if (!wanted(e)) return;
        session.stream(e);
        ++session.streamed;
    };
    const bool streaming = session.stream && !carve;
    if (io.errIsTerminal && !(streaming && io.outIsTerminal)) {
        // One updating line, redrawn at most every 50 ms so a large scan is not slowed by it.
        session.context.progress =
            [&io, last = std::chrono::steady_clock::time_point{}](const std::string& text) mutable {
                const auto now = std::chrono::steady_clock::now();
                if (now - last < std::chrono::milliseconds(50)) return;
                last = now;
                io.err << '\r' << text << "\x1b[K" << std::flush;
            };
    }
    ScanOptions scanOptions;
    scanOptions.deep = options.has("deep");
    if (streaming) {
        scanOptions.sink = &sink;
        scanOptions.keep = false;
    }
    const bool bare = searchedRawOnly(session.context);
    if (scanOptions.deep && !bare && !session.context.fileSystem->capabilities().lostFolderSearch)
        io.err << "rekkon-cli: --deep searches free space of FAT and exFAT volumes only; this "
               << session.context.fileSystem->name() << " volume is scanned as usual"
               << (session.context.fileSystem->capabilities().numberedRecords
                       ? " (its scan reads every MFT record anyway)"
                       : "")
               << ".\n";
    int found = 0;
    {
        // The signal's handler requests the scan's stop; the scan returns what it found.
        InterruptWatch interrupts(&session.context.cancel);
        found = scanVolume(session.context, folder, only, scanOptions);
        session.interrupted = InterruptWatch::interrupted();
    }
    if (session.context.progress) io.err << "\r\x1b[K" << std::flush;
    std::string shown = folder.empty() ? "\\" : folder;
    std::replace(shown.begin(), shown.end(), '/', '\\');
    if (shown.front() != '\\') shown.insert(shown.begin(), '\\');
    session.target = session.source + ":" + shown;
    if (found == kScanFolderNotFound) {
        io.err << "rekkon-cli: folder \"" << folder << "\" was not found on " << session.source
               << ". Give a path of folders from the root, for example /DCIM/100CANON.\n";
        // A folder on the way may be among what could not be read.
        reportUnreadableSectors(io, session.source,
                                session.context.volume.reader.unreadableSectors());
        return kExitUsage;
    }
    const ScanOutcome& scan = session.context.lastScan;
    reportFoldersNotEntered(io, session.source, scan.foldersNotEntered, scan.folderDepthLimit);
    reportLostEntriesLeftOut(io, scan.lostEntriesLeftOut, scan.lostEntryLimit);
    if (streaming) return kExitOk;
    for (const DeletedFileEntry& e : session.context.foundList)
        if (wanted(e)) {
            if (session.stream)
                sink(e);
            else
                session.wanted.push_back(e);
        }
    for (const DeletedFileEntry& e : session.wanted)
        session.entries.push_back(&e);
    return kExitOk;
}

}  // namespace rekkon::cli
