#include <algorithm>
#include <filesystem>
#include <istream>
#include <ostream>

#include "cli/Commands.h"
#include "cli/ScanSession.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/SameVolume.h"

namespace rekkon::cli {

namespace {

// --first-char: the same answer for every '?' name, as if "Use for all files" were ticked.
class FixedAsker final : public FirstCharAsker {
  public:
    explicit FixedAsker(std::string c) : c_(std::move(c)) {}
    std::optional<FirstCharAnswer> ask(const std::string&) override {
        return FirstCharAnswer{c_, true};
    }

  private:
    std::string c_;
};

// Asks on the terminal, per file; an answer ending in '!' applies to all the rest.
class TerminalAsker final : public FirstCharAsker {
  public:
    explicit TerminalAsker(Streams& io) : io_(io) {}
    std::optional<FirstCharAnswer> ask(const std::string& name) override {
        while (true) {
            io_.err << "Type in the first character of " << name
                    << " (end with ! to use it for all files; an empty line skips the file): "
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

}  // namespace

int runRecover(const std::vector<std::string>& args, Streams& io) {
    std::string error;
    auto options = parseOptions(args, {"folder", "to", "first-char", "partition", "offset"},
                                {"name", "only"}, {"allow-same-volume", "deep"}, error);
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
    const auto firstChar = options->value("first-char");
    if (firstChar && !legalFirstChar(*firstChar)) {
        io.err << "rekkon-cli: --first-char wants one printable character other than ?, / or a "
                  "blank\n";
        return kExitUsage;
    }

    ScanSession session;
    if (const int status = openAndScan(*options, io, session); status != kExitOk) return status;
    const auto unreadable = [&session] {
        return session.context.volume.reader.unreadableSectors();
    };
    if (session.entries.empty()) {
        io.err << "Could not find deleted files located in \"" << session.target << "\"\n";
        return reportUnreadableSectors(io, session.source, unreadable()) ? kExitSkipped : kExitOk;
    }
    const bool ntfs = isNtfsKind(session.context.volume.kind);
    const bool needsFirstChar =
        !ntfs && std::any_of(session.entries.begin(), session.entries.end(),
                             [](const DeletedFileEntry* e) { return e->name.rfind('?', 0) == 0; });
    if (needsFirstChar && !firstChar && !io.inIsTerminal) {
        io.err << "rekkon-cli: some names lost their first character (shown as ?); give it with "
                  "--first-char C, "
                  "since there is no terminal to ask on. Nothing was written.\n";
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
    std::error_code ec;
    std::filesystem::create_directories(*destination, ec);
    if (!std::filesystem::is_directory(*destination, ec)) {
        io.err << "rekkon-cli: cannot use \"" << *destination << "\" as the destination folder"
               << (ec ? ": " + ec.message() : std::string())
               << ". Give a folder you can write to.\n";
        return kExitUsage;
    }

    FixedAsker fixed(firstChar.value_or(""));
    TerminalAsker terminal(io);
    FirstCharAsker& asker = firstChar ? static_cast<FirstCharAsker&>(fixed) : terminal;
    RecoveryOptions recovery;
    recovery.destination = *destination;
    const auto outcomes = recoverEntries(session.context, session.entries, recovery, asker);
    bool allWritten = outcomes.size() == session.entries.size();
    bool outputLost = !allWritten;  // stopped early: the destination cannot take more
    for (const RecoveryOutcome& o : outcomes) {
        io.out << describeOutcome(o) << '\n';
        allWritten = allWritten && o.result == RecoveryResult::Written;
        outputLost = outputLost || outputFailed(o);
    }
    if (outcomes.size() < session.entries.size())
        io.err << "rekkon-cli: stopped after " << outcomes.size() << " of "
               << session.entries.size() << " files because the destination cannot take more.\n";
    const bool sectorsLost = reportUnreadableSectors(io, session.source, unreadable());
    if (outputLost) return kExitOutput;
    return allWritten && !sectorsLost ? kExitOk : kExitSkipped;
}

}  // namespace rekkon::cli
