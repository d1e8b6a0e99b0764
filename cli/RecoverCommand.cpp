#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/Commands.h"
#include "cli/DfxmlOutput.h"
#include "cli/Interrupt.h"
#include "cli/JsonText.h"
#include "cli/RecoverProgress.h"
#include "cli/ScanSession.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/SameVolume.h"

namespace rekkon::cli {

namespace {

// --first-char C: that character for every '?' name, the proven ones included: asked each time,
// it gives the same answer.
class FixedAsker final : public FirstCharAsker {
  public:
    explicit FixedAsker(std::string c) : c_(std::move(c)) {}
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        return FirstCharAnswer{c_, false};
    }
    bool answersProvenNames() const override { return true; }

  private:
    std::string c_;
};

// Asks on the terminal, per file whose first character is not proven; an answer ending in '!'
// applies to all the rest of them.
class TerminalAsker final : public FirstCharAsker {
  public:
    explicit TerminalAsker(Streams& io) : io_(io) {}
    // The progress line to erase before each question (none: nothing to erase).
    void erasesFirst(RecoverProgressLine* progress) { progress_ = progress; }
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>&) override {
        if (progress_) progress_->clear();
        while (true) {
            io_.err << "Type in the first character of " << terminalText(name)
                    << " (end with ! to use it for all files whose first character is not "
                       "known; an empty line skips the file): "
                    << std::flush;
            std::string line;
            if (!std::getline(io_.in, line) || line.empty()) return std::nullopt;
            FirstCharAnswer answer;
            answer.useForAll = line.size() > 1 && line.back() == '!';
            if (answer.useForAll) line.pop_back();
            if (legalFirstChar(line)) {
                answer.character = line;
                return answer;
            }
            io_.err << "You need to type in any legal character\n";
        }
    }

  private:
    Streams& io_;
    RecoverProgressLine* progress_ = nullptr;
};

// --first-char auto: the proven character where there is one (the rule uses it unasked); for
// the rest the terminal is asked, or without a terminal '_' is used.
class AutoAsker final : public FirstCharAsker {
  public:
    AutoAsker(FirstCharAsker& terminal, bool hasTerminal)
        : terminal_(terminal), hasTerminal_(hasTerminal) {}
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>& suggestion) override {
        if (hasTerminal_) return terminal_.ask(name, suggestion);
        return FirstCharAnswer{"_", true};
    }

  private:
    FirstCharAsker& terminal_;
    bool hasTerminal_;
};

// The folder a report file is written into ("." for a bare name).
std::string reportFolder(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

// Checks --report FILE before anything is written: it must not exist (it is never replaced)
// and must not lie on the scanned device. Prints why not and returns false.
bool reportUsable(const std::string& report, const ScanSession& session, bool allowSameVolume,
                  Streams& io) {
    struct stat st {};
    if (::lstat(report.c_str(), &st) == 0) {
        io.err << "rekkon-cli: the report file \"" << report
               << "\" exists already, and an existing file is never replaced. Give a new name "
                  "with --report. Nothing was written.\n";
        return false;
    }
    if (!allowSameVolume &&
        destinationOnSourceDevice(session.source, reportFolder(report), io.deviceProbe)) {
        io.err << "rekkon-cli: the report file \"" << report << "\" lies on " << session.source
               << ", the device being scanned; writing there may overwrite the deleted data. "
                  "Put it on another disk, or pass --allow-same-volume. Nothing was written.\n";
        return false;
    }
    return true;
}

// Creates the report file; null after saying why not.
std::unique_ptr<ReportFile> createReport(const std::string& report, Streams& io) {
    int error = 0;
    auto file = ReportFile::create(report, error);
    if (!file)
        io.err << "rekkon-cli: cannot create the report file \"" << report
               << "\": " << std::strerror(error)
               << (error == EEXIST ? " (an existing file is never replaced)" : "")
               << ". Give a new file in a folder you can write to. No file was recovered.\n";
    return file;
}

// Writes the report text into its file; false after saying why not (the file is then gone).
bool finishReport(ReportFile& file, const std::string& text, Streams& io) {
    int error = 0;
    if (file.write(text, error)) return true;
    io.err << "rekkon-cli: could not write the report file \"" << file.path()
           << "\": " << std::strerror(error)
           << ". It was removed; the recovered files are in place.\n";
    return false;
}

// What `recover` was asked for, checked before the source is opened.
struct RecoverArgs {
    Options options;
    std::string destination;
    std::optional<std::string> report;
    bool reportDfxml = false;              // --report-format dfxml
    std::string commandLine;               // for a DFXML report
    std::optional<std::string> firstChar;  // "auto", or the character to use
    bool longNames = false;
    bool allowSameVolume = false;
};

// nullopt after saying what is wrong with the arguments.
std::optional<RecoverArgs> parseRecoverArgs(const std::vector<std::string>& args, Streams& io) {
    std::string error;
    auto options = parseOptions(
        args,
        {"folder", "to", "first-char", "partition", "offset", "report", "report-format", "type"},
        {"name", "only"},
        {"allow-same-volume", "long-names", "keep-folders", "deep", "carve", "raw"}, error);
    if (!options) {
        io.err << "rekkon-cli: " << error << "; see rekkon-cli --help\n";
        return std::nullopt;
    }
    const auto destination = options->value("to");
    if (!destination || destination->empty()) {
        io.err
            << "rekkon-cli: recover needs --to DIR, the folder to write the recovered files into\n";
        return std::nullopt;
    }
    const auto report = options->value("report");
    if (report && report->empty()) {
        io.err << "rekkon-cli: --report wants the name of a new file to write the report into\n";
        return std::nullopt;
    }
    const std::string reportFormat = options->value("report-format").value_or("json");
    if (reportFormat != "json" && reportFormat != "dfxml") {
        io.err << "rekkon-cli: --report-format must be json or dfxml\n";
        return std::nullopt;
    }
    const auto firstChar = options->value("first-char");
    if (firstChar && *firstChar != "auto" && !legalFirstChar(*firstChar)) {
        io.err << "rekkon-cli: --first-char wants auto or one printable character other than ?, "
                  "/ or a blank\n";
        return std::nullopt;
    }
    RecoverArgs parsed;
    parsed.destination = *destination;
    parsed.report = report;
    parsed.reportDfxml = reportFormat == "dfxml";
    parsed.commandLine = "rekkon-cli recover";
    for (const std::string& arg : args)
        parsed.commandLine += " " + arg;
    parsed.firstChar = firstChar;
    parsed.longNames = options->has("long-names");
    parsed.allowSameVolume = options->has("allow-same-volume");
    parsed.options = std::move(*options);
    return parsed;
}

// The report's text: JSON, or Digital Forensics XML with the hashes of the files written.
std::string reportText(const RecoverArgs& args, ScanSession& session,
                       const std::vector<RecoveryOutcome>& outcomes) {
    const std::span<const DeletedFileEntry* const> notTried =
        std::span(session.entries).subspan(std::min(outcomes.size(), session.entries.size()));
    if (!args.reportDfxml)
        return recoveryReportJson({session.source, session.volumeOffset}, outcomes, notTried);
    std::map<const DeletedFileEntry*, DfxmlHashes> hashes;
    for (const RecoveryOutcome& o : outcomes)
        if (o.entry != nullptr && !o.md5.empty()) hashes[o.entry] = {o.md5, o.sha256};
    std::ostringstream text;
    printDfxml(text, session.context, {session.source, session.volumeOffset, args.commandLine},
               session.entries, hashes);
    return text.str();
}

// The scan found nothing: says so, and writes a report of an empty list when one is asked for.
int recoverNothingFound(const RecoverArgs& args, ScanSession& session, Streams& io) {
    io.err << "Could not find deleted files located in \"" << session.target << "\"\n";
    const bool sectorsLost = reportScanGaps(io, session);
    if (args.report) {
        if (!reportUsable(*args.report, session, args.allowSameVolume, io)) return kExitUsage;
        const auto file = createReport(*args.report, io);
        if (!file) return kExitUsage;
        if (!finishReport(*file, reportText(args, session, {}), io)) return kExitOutput;
    }
    return sectorsLost ? kExitSkipped : kExitOk;
}

// False after saying so when names lost their first character, none was given and there is no
// terminal to ask on. Only a name whose first character the volume does not prove is asked about.
bool firstCharsObtainable(const RecoverArgs& args, const ScanSession& session, Streams& io) {
    const bool longNames = args.longNames;
    const bool needsFirstChar =
        session.context.fileSystem->capabilities().namesLoseFirstChar &&
        std::any_of(session.entries.begin(), session.entries.end(),
                    [longNames](const DeletedFileEntry* e) {
                        return outputNameOf(*e, longNames).rfind('?', 0) == 0 &&
                               !(e->firstChar && legalFirstChar(*e->firstChar));
                    });
    if (!needsFirstChar || args.firstChar || io.inIsTerminal) return true;
    io.err << "rekkon-cli: some names lost their first character (shown as ?); give it with "
              "--first-char C, or --first-char auto to use the one their long names prove "
              "and _ for the rest, since there is no terminal to ask on. Nothing was "
              "written.\n";
    return false;
}

// Whether the destination (and the report file) may be written, with the destination folder
// made; false after saying why not.
bool destinationReady(const RecoverArgs& args, const ScanSession& session, Streams& io) {
    const std::string& destination = args.destination;
    // The check comes before anything is created: a folder that does not exist yet would be
    // made on the device it lies on, which may be the one being scanned.
    if (!args.allowSameVolume &&
        destinationOnSourceDevice(session.source, destination, io.deviceProbe)) {
        io.err << "rekkon-cli: \"" << destination << "\" lies on " << session.source
               << ", the device being scanned; writing there may overwrite the deleted data. "
                  "Choose a folder on another disk, or pass --allow-same-volume. Nothing was "
                  "written.\n";
        return false;
    }
    if (args.report && !reportUsable(*args.report, session, args.allowSameVolume, io)) return false;
    std::error_code ec;
    std::filesystem::create_directories(destination, ec);
    if (!std::filesystem::is_directory(destination, ec)) {
        io.err << "rekkon-cli: cannot use \"" << destination << "\" as the destination folder"
               << (ec ? ": " + ec.message() : std::string())
               << ". Give a folder you can write to.\n";
        return false;
    }
    return true;
}

// The asker --first-char chooses: the given character, auto, or the terminal.
class FirstCharAskers {
  public:
    FirstCharAskers(const RecoverArgs& args, Streams& io)
        : fixed_(args.firstChar.value_or("")),
          terminal_(io),
          automatic_(terminal_, io.inIsTerminal),
          chosen_(args.firstChar == "auto" ? static_cast<FirstCharAsker&>(automatic_)
                  : args.firstChar         ? static_cast<FirstCharAsker&>(fixed_)
                                           : terminal_) {}
    FirstCharAsker& chosen() { return chosen_; }
    // Questions on the terminal first erase `progress`.
    void erasesFirst(RecoverProgressLine* progress) { terminal_.erasesFirst(progress); }

  private:
    FixedAsker fixed_;
    TerminalAsker terminal_;
    AutoAsker automatic_;
    FirstCharAsker& chosen_;
};

RecoveryOptions recoveryOptions(const RecoverArgs& args, bool hashes) {
    RecoveryOptions recovery;
    recovery.destination = args.destination;
    recovery.longNames = args.longNames;
    recovery.keepFolders = args.options.has("keep-folders");
    recovery.hashes = hashes;
    recovery.cancelled = [] { return InterruptWatch::interrupted(); };
    return recovery;
}

// Prints each file's outcome, says why the recovery stopped early, writes the report; returns
// the exit status.
int finishRecovery(const RecoverArgs& args, ScanSession& session,
                   const std::vector<RecoveryOutcome>& outcomes,
                   std::unique_ptr<ReportFile>& reportFile, Streams& io) {
    bool allWritten = outcomes.size() == session.entries.size();
    bool outputLost = !allWritten;  // stopped early: the destination cannot take more
    for (const RecoveryOutcome& o : outcomes) {
        io.out << terminalText(describeOutcome(o)) << '\n';  // names from the volume
        allWritten = allWritten && o.result == RecoveryResult::Written;
        outputLost = outputLost || outputFailed(o);
    }
    if (InterruptWatch::interrupted()) {
        reportFile.reset();  // removed: it would not be whole
        io.err << "rekkon-cli: interrupted: the recovery was stopped; a file being copied was "
                  "not kept and later ones were not tried"
               << (args.report ? "; the report file \"" + *args.report +
                                     "\" was removed, as it was not whole"
                               : "")
               << ". Run the command again to recover the rest.\n";
        return kExitSkipped;
    }
    if (outcomes.size() < session.entries.size())
        io.err << "rekkon-cli: stopped after " << outcomes.size() << " of "
               << session.entries.size() << " files because the destination cannot take more.\n";
    const bool sectorsLost = reportScanGaps(io, session);
    if (reportFile && !finishReport(*reportFile, reportText(args, session, outcomes), io))
        return kExitOutput;
    if (outputLost) return kExitOutput;
    return allWritten && !sectorsLost ? kExitOk : kExitSkipped;
}

}  // namespace

int runRecover(const std::vector<std::string>& args, Streams& io) {
    const std::optional<RecoverArgs> parsed = parseRecoverArgs(args, io);
    if (!parsed) return kExitUsage;
    ScanSession session;
    if (const int status = openAndScan(parsed->options, io, session); status != kExitOk)
        return status;
    if (session.interrupted) {
        reportInterruptedScan(io, session, "nothing was written");
        return kExitInterrupted;
    }
    if (session.entries.empty()) return recoverNothingFound(*parsed, session, io);
    if (!firstCharsObtainable(*parsed, session, io) || !destinationReady(*parsed, session, io))
        return kExitUsage;
    // From here on SIGINT and SIGTERM stop the recovery at its next step: the file being copied
    // and an unwritten report are removed before the process ends by the signal.
    InterruptWatch interrupts;
    // Taken now, so a name that turned up meanwhile is still refused before any file is written.
    std::unique_ptr<ReportFile> reportFile;
    if (parsed->report) {
        reportFile = createReport(*parsed->report, io);
        if (!reportFile) return kExitUsage;
    }
    FirstCharAskers askers(*parsed, io);
    RecoveryOptions recovery = recoveryOptions(*parsed, reportFile != nullptr);
    std::optional<RecoverProgressLine> progress;
    if (io.errIsTerminal) {
        // Bytes, rate and time left on one line of the terminal while the files are copied.
        std::uint64_t totalBytes = 0;
        for (const DeletedFileEntry* e : session.entries)
            totalBytes += e->size;
        progress.emplace(io.err, totalBytes);
        recovery.copied = [&progress](std::uint64_t bytes) { progress->add(bytes); };
        askers.erasesFirst(&*progress);
    }
    const auto outcomes =
        recoverEntries(session.context, session.entries, recovery, askers.chosen());
    askers.erasesFirst(nullptr);
    progress.reset();  // erased before the outcomes are told
    return finishRecovery(*parsed, session, outcomes, reportFile, io);
}

}  // namespace rekkon::cli
