#include "cli/EntryOutput.h"

#include <nlohmann/json.hpp>

#include <array>
#include <ostream>
#include <string>

#include "recovery/EntryText.h"
#include "volume/TextEncoding.h"

namespace rekkon::cli {

namespace {

std::size_t displayWidth(const std::string& text) {
    return utf8ToCodePoints(text).size();
}

std::array<std::string, 7> tableRow(const DeletedFileEntry& e) {
    return {std::to_string(e.location),
            e.name,
            sizeText(e.size),
            timeText(e.createTime),
            timeText(e.accessTime),
            statusText(e.status),
            typeText(e.name)};
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
    std::vector<std::array<std::string, 7>> rows;
    rows.push_back({"Location", "File Name", "Size (kB)", "Create Time", "Last Access Time",
                    "Estimated Status", "Type"});
    for (const DeletedFileEntry* e : entries)
        rows.push_back(tableRow(*e));
    std::array<std::size_t, 7> widths{};
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            // Numbers are right-aligned, texts left-aligned.
            const bool right = c == 0 || c == 2;
            const std::string pad(widths[c] - displayWidth(row[c]), ' ');
            line += right ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : "");
            if (c + 1 < row.size()) line += "  ";
        }
        out << line << '\n';
    }
}

void printJson(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const DeletedFileEntry* e : entries) {
        nlohmann::ordered_json j;
        j["location"] = e->location;
        j["name"] = e->name;
        j["size"] = e->size;
        const auto create = isoTimeText(e->createTime);
        const auto access = isoTimeText(e->accessTime);
        j["createTime"] =
            create ? nlohmann::ordered_json(*create) : nlohmann::ordered_json(nullptr);
        j["accessTime"] =
            access ? nlohmann::ordered_json(*access) : nlohmann::ordered_json(nullptr);
        j["status"] = e->status;
        j["statusText"] = statusText(e->status);
        j["type"] = typeText(e->name);
        j["attributes"] = e->attributes;
        j["folder"] = e->folder;
        list.push_back(std::move(j));
    }
    out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

void printCsv(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    out << "location,name,size,createTime,accessTime,status,statusText,type,attributes,folder\r\n";
    for (const DeletedFileEntry* e : entries) {
        out << e->location << ',' << csvField(e->name) << ',' << e->size << ','
            << isoTimeText(e->createTime).value_or("") << ','
            << isoTimeText(e->accessTime).value_or("") << ',' << unsigned{e->status} << ','
            << csvField(statusText(e->status)) << ',' << csvField(typeText(e->name)) << ','
            << e->attributes << ',' << csvField(e->folder) << "\r\n";
    }
}

}  // namespace rekkon::cli
