#include <optional>
#include <ostream>

#include "cli/Commands.h"
#include "cli/DfxmlOutput.h"
#include "cli/EntryOutput.h"
#include "cli/EntryStream.h"
#include "cli/ScanSession.h"

namespace rekkon::cli {

int runList(const std::vector<std::string>& args, Streams& io) {
    std::string error;
    auto options = parseOptions(args, {"folder", "format", "partition", "offset", "type"},
                                {"name", "only"}, {"deep", "carve", "raw"}, error);
    if (!options) {
        io.err << "rekkon-cli: " << error << "; see rekkon-cli --help\n";
        return kExitUsage;
    }
    const std::string format = options->value("format").value_or("table");
    if (format != "table" && format != "json" && format != "csv" && format != "bodyfile" &&
        format != "dfxml") {
        io.err << "rekkon-cli: --format must be table, json, csv, bodyfile or dfxml\n";
        return kExitUsage;
    }
    ScanSession session;
    // JSON, CSV and body files are written as the scan finds the entries.
    std::optional<EntryStream> stream;
    if (format == "json") stream.emplace(io.out, EntryStream::Format::Json);
    if (format == "csv") stream.emplace(io.out, EntryStream::Format::Csv);
    if (format == "bodyfile") stream.emplace(io.out, EntryStream::Format::Bodyfile);
    // A table is measured before it is written: its rows are kept packed until the scan ends.
    FoundList tableRows;
    if (stream)
        session.stream = [&stream](const DeletedFileEntry& e) { stream->add(e); };
    else if (format == "table")
        session.stream = [&tableRows](const DeletedFileEntry& e) { tableRows.push_back(e); };
    if (const int status = openAndScan(*options, io, session); status != kExitOk) return status;
    if (stream) stream->finish();
    if (session.streamed == 0 && session.entries.empty() && !session.interrupted)
        io.err << "Could not find deleted files located in \"" << session.target << "\"\n";
    if (stream) {
        // Written above.
    } else if (format == "dfxml") {
        std::string commandLine = "rekkon-cli list";
        for (const std::string& arg : args)
            commandLine += " " + arg;
        printDfxml(io.out, session.context, {session.source, session.volumeOffset, commandLine},
                   session.entries);
    } else if (!tableRows.empty())
        printTable(io.out, tableRows);
    if (session.interrupted) {
        // What was found is printed whole (a complete json or csv document) before this.
        reportInterruptedScan(io, session, "");
        reportScanGaps(io, session);
        return kExitInterrupted;
    }
    // The list may miss files recorded in sectors that could not be read (those past the end of
    // a cut-short source included), in folders too deep to enter or past the limit of lost-folder
    // entries kept (both told by openAndScan).
    return reportScanGaps(io, session) ? kExitSkipped : kExitOk;
}

}  // namespace rekkon::cli
