#include "cli/EntryOutput.h"

#include <array>
#include <ostream>
#include <string>

#include "cli/EntryStream.h"
#include "cli/JsonText.h"
#include "recovery/EntryText.h"
#include "volume/TextEncoding.h"

namespace rekkon::cli {

namespace {

std::size_t displayWidth(const std::string& text) {
    return utf8ToCodePoints(text).size();
}

constexpr std::size_t kTableColumns = 8;

// Names come from the volume: their control characters are shown escaped (terminalText).
std::array<std::string, kTableColumns> tableRow(const DeletedFileEntry& e) {
    return {std::to_string(e.location),
            terminalText(e.name),
            terminalText(e.longName.value_or("")),
            sizeText(e.size),
            timeText(e.createTime),
            timeText(e.accessTime),
            statusText(e.status),
            terminalText(typeText(e.name))};
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

void printTable(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    FoundList list;
    for (const DeletedFileEntry* e : entries)
        list.push_back(*e);
    printTable(out, list);
}

void printTable(std::ostream& out, const FoundList& entries) {
    using Row = std::array<std::string, kTableColumns>;
    const Row titles = {"Location",         "File Name",        "Long Name", "Size (kB)",
                        "Create Time",      "Last Access Time", "Estimated Status", "Type"};
    // Two passes over the list, a row at a time: the widths, then the lines.
    std::array<std::size_t, kTableColumns> widths{};
    const auto measure = [&widths](const Row& row) {
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    };
    measure(titles);
    for (const DeletedFileEntry& e : entries)
        measure(tableRow(e));
    std::string line;
    const auto print = [&](const Row& row) {
        line.clear();
        for (std::size_t c = 0; c < row.size(); ++c) {
            // Numbers are right-aligned, texts left-aligned.
            const bool right = c == 0 || c == 3;
            const std::string pad(widths[c] - displayWidth(row[c]), ' ');
            line += right ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : "");
            if (c + 1 < row.size()) line += "  ";
        }
        line += '\n';
        out << line;
    };
    print(titles);
    for (const DeletedFileEntry& e : entries)
        print(tableRow(e));
}

void appendJsonEntry(std::string& text, const DeletedFileEntry& e) {
    const auto field = [&text](const char* name) {
        text += "    \"";
        text += name;
        text += "\": ";
    };
    const auto optionalText = [&](const char* name, const std::optional<std::string>& value) {
        field(name);
        if (value)
            appendJsonString(text, *value);
        else
            text += "null";
    };
    const auto time = [&](const char* name, std::uint64_t value) {
        field(name);
        if (const auto iso = isoTimeText(value))
            appendJsonString(text, *iso);
        else
            text += "null";
        text += ",\n";
    };
    text += "  {\n";
    field("location");
    text += std::to_string(e.location) + ",\n";
    field("name");
    appendJsonString(text, e.name);
    text += ",\n";
    field("size");
    text += std::to_string(e.size) + ",\n";
    time("createTime", e.createTime);
    time("accessTime", e.accessTime);
    field("status");
    text += std::to_string(unsigned{e.status}) + ",\n";
    field("statusText");
    appendJsonString(text, statusText(e.status));
    text += ",\n";
    field("type");
    appendJsonString(text, typeText(e.name));
    text += ",\n";
    field("attributes");
    text += std::to_string(e.attributes) + ",\n";
    field("folder");
    appendJsonString(text, e.folder);
    text += ",\n";
    optionalText("longName", e.longName);
    text += ",\n";
    field("longNameCut");
    text += e.longNameCut ? "true,\n" : "false,\n";
    optionalText("firstChar", e.firstChar);
    text += ",\n";
    field("origin");
    appendJsonString(text, std::string(e.origin));
    text += ",\n";
    // Files found by their content: the format and what its check found.
    optionalText("format",
                 e.contentType.empty() ? std::nullopt : std::optional<std::string>(e.contentType));
    text += ",\n";
    optionalText("check", e.contentCheck.empty() ? std::nullopt
                                                 : std::optional<std::string>(e.contentCheck));
    text += "\n  }";
}

const char* csvHeader() {
    return "location,name,size,createTime,accessTime,status,statusText,type,attributes,folder,"
           "longName,longNameCut,firstChar,origin,format,check\r\n";
}

void writeCsvLine(std::ostream& out, const DeletedFileEntry& e) {
    out << e.location << ',' << csvField(e.name) << ',' << e.size << ','
        << isoTimeText(e.createTime).value_or("") << ',' << isoTimeText(e.accessTime).value_or("")
        << ',' << unsigned{e.status} << ',' << csvField(statusText(e.status)) << ','
        << csvField(typeText(e.name)) << ',' << e.attributes << ',' << csvField(e.folder) << ','
        << csvField(e.longName.value_or("")) << ',' << (e.longNameCut ? "true" : "false") << ','
        << csvField(e.firstChar.value_or("")) << ',' << csvField(std::string(e.origin)) << ','
        << csvField(std::string(e.contentType)) << ',' << csvField(e.contentCheck) << "\r\n";
}

void printJson(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    EntryStream stream(out, EntryStream::Format::Json);
    for (const DeletedFileEntry* e : entries)
        stream.add(*e);
    stream.finish();
}

void printCsv(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    EntryStream stream(out, EntryStream::Format::Csv);
    for (const DeletedFileEntry* e : entries)
        stream.add(*e);
    stream.finish();
}

}  // namespace rekkon::cli
