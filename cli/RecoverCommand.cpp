#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <istream>
#include <ostream>

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/JsonText.h"
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
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>&) override {
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

}  // namespace

int runRecover(const std::vector<std::string>& args, Streams& io) {
    std::string error;
    auto options = parseOptions(
        args, {"folder", "to", "first-char", "partition", "offset", "report"}, {"name", "only"},
        {"allow-same-volume", "long-names", "keep-folders", "deep"}, error);
    if (!options) {
        io.err << "rekkon-cli: " << error << "; see rekkon-cli --help\n";
        return kExitUsage;
    }
    const auto destination = options->value("to");
    if (!destination || destination->empty()) {
        io.err
            << "rekkon-cli: recover needs --to DIR, the folder to write the recovered files into\n";
        return kExitUsage;
    }
    const auto report = options->value("report");
    if (report && report->empty()) {
        io.err << "rekkon-cli: --report wants the name of a new file to write the report into\n";
        return kExitUsage;
    }
    const auto firstChar = options->value("first-char");
    const bool autoFirstChar = firstChar == "auto";
    if (firstChar && !autoFirstChar && !legalFirstChar(*firstChar)) {
        io.err << "rekkon-cli: --first-char wants auto or one printable character other than ?, "
                  "/ or a blank\n";
        return kExitUsage;
    }
    const bool longNames = options->has("long-names");

    ScanSession session;
    if (const int status = openAndScan(*options, io, session); status != kExitOk) return status;
    if (session.entries.empty()) {
        io.err << "Could not find deleted files located in \"" << session.target << "\"\n";
        const bool sectorsLost = reportScanGaps(io, session);
        // The report says so too: an empty list.
        if (report) {
            if (!reportUsable(*report, session, options->has("allow-same-volume"), io))
                return kExitUsage;
            const auto file = createReport(*report, io);
            if (!file) return kExitUsage;
            if (!finishReport(*file, recoveryReportJson({session.source, session.volumeOffset}, {}),
                              io))
                return kExitOutput;
        }
        return sectorsLost ? kExitSkipped : kExitOk;
    }
    // Only a name whose first character the volume does not prove is asked about.
    const bool needsFirstChar =
        session.context.fileSystem->capabilities().namesLoseFirstChar &&
        std::any_of(session.entries.begin(), session.entries.end(),
                    [longNames](const DeletedFileEntry* e) {
                        return outputNameOf(*e, longNames).rfind('?', 0) == 0 &&
                               !(e->firstChar && legalFirstChar(*e->firstChar));
                    });
    if (needsFirstChar && !firstChar && !io.inIsTerminal) {
        io.err << "rekkon-cli: some names lost their first character (shown as ?); give it with "
                  "--first-char C, or --first-char auto to use the one their long names prove "
                  "and _ for the rest, since there is no terminal to ask on. Nothing was "
                  "written.\n";
        return kExitUsage;
    }

    // The check comes before anything is created: a folder that does not exist yet would be
    // made on the device it lies on, which may be the one being scanned.
    if (!options->has("allow-same-volume") &&
        destinationOnSourceDevice(session.source, *destination, io.deviceProbe)) {
        io.err << "rekkon-cli: \"" << *destination << "\" lies on " << session.source
               << ", the device being scanned; writing there may overwrite the deleted data. "
                  "Choose a folder on another disk, or pass --allow-same-volume. Nothing was "
                  "written.\n";
        return kExitUsage;
    }
    if (report && !reportUsable(*report, session, options->has("allow-same-volume"), io))
        return kExitUsage;
    std::error_code ec;
    std::filesystem::create_directories(*destination, ec);
    if (!std::filesystem::is_directory(*destination, ec)) {
        io.err << "rekkon-cli: cannot use \"" << *destination << "\" as the destination folder"
               << (ec ? ": " + ec.message() : std::string())
               << ". Give a folder you can write to.\n";
        return kExitUsage;
    }
    // From here on SIGINT and SIGTERM stop the recovery at its next step: the file being copied
    // and an unwritten report are removed before the process ends by the signal.
    InterruptWatch interrupts;
    // Taken now, so a name that turned up meanwhile is still refused before any file is written.
    std::unique_ptr<ReportFile> reportFile;
    if (report) {
        reportFile = createReport(*report, io);
        if (!reportFile) return kExitUsage;
    }

    FixedAsker fixed(firstChar.value_or(""));
    TerminalAsker terminal(io);
    AutoAsker automatic(terminal, io.inIsTerminal);
    FirstCharAsker& asker = autoFirstChar ? static_cast<FirstCharAsker&>(automatic)
                            : firstChar   ? static_cast<FirstCharAsker&>(fixed)
                                          : terminal;
    RecoveryOptions recovery;
    recovery.destination = *destination;
    recovery.longNames = longNames;
    recovery.keepFolders = options->has("keep-folders");
    recovery.hashes = reportFile != nullptr;
    recovery.cancelled = [] { return InterruptWatch::interrupted(); };
    const auto outcomes = recoverEntries(session.context, session.entries, recovery, asker);
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
               << (report ? "; the report file \"" + *report + "\" was removed, as it was not whole"
                          : "")
               << ". Run the command again to recover the rest.\n";
        return kExitSkipped;
    }
    if (outcomes.size() < session.entries.size())
        io.err << "rekkon-cli: stopped after " << outcomes.size() << " of "
               << session.entries.size() << " files because the destination cannot take more.\n";
    const bool sectorsLost = reportScanGaps(io, session);
    if (reportFile) {
        const std::span<const DeletedFileEntry* const> notTried =
            std::span(session.entries).subspan(outcomes.size());
        if (!finishReport(
                *reportFile,
                recoveryReportJson({session.source, session.volumeOffset}, outcomes, notTried), io))
            return kExitOutput;
    }
    if (outputLost) return kExitOutput;
    return allWritten && !sectorsLost ? kExitOk : kExitSkipped;
}

}  // namespace rekkon::cli
