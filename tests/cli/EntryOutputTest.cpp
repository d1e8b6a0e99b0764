// Names from a volume in the list's outputs: the table cannot be driven by the control
// characters a name holds, JSON and CSV keep every name exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/EntryOutput.h"
#include "cli/JsonText.h"

namespace rekkon::cli {
namespace {

TEST(EntryOutputTest, ControlCharactersInNamesAreEscapedInTheTableOnly) {
    // An escape sequence that clears the screen, a line that forges a row, a C1 control.
    DeletedFileEntry e;
    e.location = 64;
    e.name = "x\x1b[2J\n65  forged.txt";
    e.longName =
        "tab\there\r\xC2\x9B"
        "done";
    e.folder = "\\evil\x07";
    const std::vector<const DeletedFileEntry*> entries = {&e};

    std::ostringstream table;
    printTable(table, entries);
    const std::string text = table.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;  // header and one row
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_NE(text.find("x\\x1b[2J\\n65  forged.txt"), std::string::npos) << text;
    EXPECT_NE(text.find("tab\\there\\r\\u009bdone"), std::string::npos) << text;

    std::ostringstream json;
    printJson(json, entries);
    const auto parsed = nlohmann::json::parse(json.str());
    EXPECT_EQ(parsed[0]["name"], e.name);
    EXPECT_EQ(parsed[0]["longName"], *e.longName);
    EXPECT_EQ(parsed[0]["folder"], e.folder);
    EXPECT_EQ(parsed[0]["longNameCut"], false);

    std::ostringstream csv;
    printCsv(csv, entries);
    EXPECT_NE(csv.str().find("64,\"x\x1b[2J\n65  forged.txt\","), std::string::npos) << csv.str();

    // Bytes that are not UTF-8 are shown by value; a backslash stays (it separates folders).
    EXPECT_EQ(terminalText("\\a\\b \xFF\xC3 \x7F \xC3\xA9"), "\\a\\b \\xff\\xc3 \\x7f \xC3\xA9");
}

}  // namespace
}  // namespace rekkon::cli
