#include "cli/DfxmlOutput.h"

#include <ostream>

#include "cli/BodyfileOutput.h"
#include "recovery/ByteRuns.h"
#include "recovery/EntryText.h"
#include "recovery/FileData.h"
#include "volume/TextEncoding.h"

#ifndef REKKON_VERSION
#define REKKON_VERSION "0"
#endif

namespace rekkon::cli {

namespace {

// A time element, left out for an unknown time; "Z" after a UTC time.
void appendTime(std::string& out, const char* name, std::uint64_t fileTime, bool utc) {
    const auto iso = isoTimeText(fileTime);
    if (!iso) return;
    out += "      <";
    out += name;
    out += '>';
    out += *iso;
    if (utc) out += 'Z';
    out += "</";
    out += name;
    out += ">\n";
}

void appendElement(std::string& out, const char* name, const std::string& value) {
    out += "      <";
    out += name;
    out += '>';
    out += value;
    out += "</";
    out += name;
    out += ">\n";
}

}  // namespace

std::string xmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : utf8ToCodePoints(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default: {
                const bool allowed = c == 0x09 || c == 0x0A || c == 0x0D ||
                                     (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
                                     (c >= 0x10000 && c <= 0x10FFFF);
                appendUtf8(out, allowed ? c : char32_t{0xFFFD});
            }
        }
    }
    return out;
}

void printDfxml(std::ostream& out, ScanContext& context, const DfxmlSource& source,
                const std::vector<const DeletedFileEntry*>& entries,
                const std::map<const DeletedFileEntry*, DfxmlHashes>& hashes) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<dfxml xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\"\n"
           "       xmlns:dc=\"http://purl.org/dc/elements/1.1/\" version=\"1.0\">\n"
           "  <metadata>\n"
           "    <dc:type>Deleted files found</dc:type>\n"
           "  </metadata>\n"
           "  <creator>\n"
           "    <program>rekkon-cli</program>\n"
           "    <version>" REKKON_VERSION
           "</version>\n"
           "    <execution_environment>\n"
           "      <command_line>"
        << xmlText(source.commandLine)
        << "</command_line>\n"
           "    </execution_environment>\n"
           "  </creator>\n"
           "  <source>\n"
           "    <image_filename>"
        << xmlText(source.imageFilename)
        << "</image_filename>\n"
           "  </source>\n"
           "  <volume offset=\""
        << source.volumeOffset << "\">\n";
    if (context.fileSystem)
        out << "    <ftype_str>" << xmlText(context.fileSystem->name()) << "</ftype_str>\n";
    std::string text;
    for (const DeletedFileEntry* e : entries) {
        text = "    <fileobject>\n";
        // The path without the " (deleted)" a timeline gives it.
        std::string path = timelinePath(*e);
        path.resize(path.size() - std::string_view(" (deleted)").size());
        appendElement(text, "filename", xmlText(path.substr(1)));
        appendElement(text, "filesize", std::to_string(e->size));
        appendElement(text, "alloc", "0");
        appendElement(text, "name_type", "r");
        appendElement(text, "inode", std::to_string(e->location));
        appendTime(text, "mtime", e->writeTime, e->timesUtc);
        appendTime(text, "atime", e->lastAccessTime, e->timesUtc);
        appendTime(text, "ctime", e->changeTime, e->timesUtc);
        appendTime(text, "crtime", e->birthTime, e->timesUtc);
        if (std::unique_ptr<FileDataHandle> data = openFileData(context, *e)) {
            const ByteRunList list = byteRunsOf(*data, e->size);
            text += list.complete ? "      <byte_runs>\n" : "      <byte_runs incomplete=\"1\">\n";
            for (const ByteRun& run : list.runs) {
                text += "        <byte_run file_offset=\"" + std::to_string(run.fileOffset) + "\"";
                if (run.hole)
                    text += " fill=\"0\"";
                else
                    text += " fs_offset=\"" + std::to_string(run.volumeOffset) +
                            "\" img_offset=\"" +
                            std::to_string(source.volumeOffset + run.volumeOffset) + "\"";
                text += " len=\"" + std::to_string(run.bytes) + "\"/>\n";
            }
            text += "      </byte_runs>\n";
        }
        if (const auto found = hashes.find(e); found != hashes.end()) {
            text += "      <hashdigest type=\"md5\">" + found->second.md5 + "</hashdigest>\n";
            text += "      <hashdigest type=\"sha256\">" + found->second.sha256 + "</hashdigest>\n";
        }
        text += "    </fileobject>\n";
        out << text;
    }
    out << "  </volume>\n</dfxml>\n";
}

}  // namespace rekkon::cli
