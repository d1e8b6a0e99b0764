#include "cli/EntryOutput.h"

#include <array>
#include <charconv>
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

}  // namespace

void printTable(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    FoundList list;
    for (const DeletedFileEntry* e : entries)
        list.push_back(*e);
    printTable(out, list);
}

void printTable(std::ostream& out, const FoundList& entries) {
    using Row = std::array<std::string, kTableColumns>;
    const Row titles = {"Location",    "File Name",        "Long Name",        "Size (kB)",
                        "Create Time", "Last Access Time", "Estimated Status", "Type"};
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
    // Built in place, without a string per field: a long list writes millions of these.
    const auto field = [&text](std::string_view name) {
        text += "    \"";
        text += name;
        text += "\": ";
    };
    const auto number = [&](std::string_view name, std::uint64_t value) {
        field(name);
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text.append(digits, end);
        text += ",\n";
    };
    const auto string = [&](std::string_view name, std::string_view value) {
        field(name);
        appendJsonString(text, value);
        text += ",\n";
    };
    // null when absent.
    const auto optionalText = [&](std::string_view name, const std::string* value) {
        field(name);
        if (value != nullptr)
            appendJsonString(text, *value);
        else
            text += "null";
    };
    const auto time = [&](std::string_view name, std::uint64_t value) {
        field(name);
        text += '"';
        if (!appendIsoTime(text, value)) {
            text.back() = 'n';
            text += "ull";
        } else {
            text += '"';
        }
        text += ",\n";
    };
    text += "  {\n";
    number("location", e.location);
    string("name", e.name);
    number("size", e.size);
    time("createTime", e.createTime);
    time("accessTime", e.accessTime);
    number("status", e.status);
    string("statusText", statusText(e.status));
    const auto dot = e.name.rfind('.');
    string("type", dot == std::string::npos ? std::string_view()
                                            : std::string_view(e.name).substr(dot + 1));
    number("attributes", e.attributes);
    string("folder", e.folder);
    optionalText("longName", e.longName ? &*e.longName : nullptr);
    text += ",\n";
    field("longNameCut");
    text += e.longNameCut ? "true,\n" : "false,\n";
    optionalText("firstChar", e.firstChar ? &*e.firstChar : nullptr);
    text += ",\n";
    string("origin", e.origin);
    // Files found by their content: the format and what its check found.
    field("format");
    if (e.contentType.empty())
        text += "null";
    else
        appendJsonString(text, e.contentType);
    text += ",\n";
    optionalText("check", e.contentCheck.empty() ? nullptr : &e.contentCheck);
    text += "\n  }";
}

const char* csvHeader() {
    return "location,name,size,createTime,accessTime,status,statusText,type,attributes,folder,"
           "longName,longNameCut,firstChar,origin,format,check\r\n";
}

void appendCsvLine(std::string& text, const DeletedFileEntry& e) {
    const auto number = [&text](std::uint64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text.append(digits, end);
        text += ',';
    };
    const auto field = [&text](std::string_view value) {
        if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
            text += value;
        } else {
            text += '"';
            for (char c : value) {
                if (c == '"') text += '"';
                text += c;
            }
            text += '"';
        }
    };
    number(e.location);
    field(e.name);
    text += ',';
    number(e.size);
    appendIsoTime(text, e.createTime);
    text += ',';
    appendIsoTime(text, e.accessTime);
    text += ',';
    number(e.status);
    field(statusText(e.status));
    text += ',';
    field(typeText(e.name));
    text += ',';
    number(e.attributes);
    const auto optional = [](const std::optional<std::string>& value) {
        return value ? std::string_view(*value) : std::string_view();
    };
    for (const std::string_view value : {std::string_view(e.folder), optional(e.longName),
                                         std::string_view(e.longNameCut ? "true" : "false"),
                                         optional(e.firstChar), e.origin, e.contentType}) {
        field(value);
        text += ',';
    }
    field(e.contentCheck);
    text += "\r\n";
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
