// The list's JSON strings against a JSON library's own: escapes, UTF-8 kept, and bytes that are
// not UTF-8 replaced the same way.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/JsonText.h"

namespace rekkon::cli {
namespace {

using namespace std::string_literals;

TEST(JsonText, StringsAreWrittenAsAJsonLibraryWritesThem) {
    const std::string cases[] = {
        "",
        "plain name.txt",
        "quote \" backslash \\ slash /",
        "controls \x01\x08\t\n\f\r\x1F and \x7F"s,
        "nul \0 inside"s,
        "résumé 日本語 😀",
        "\\old-project\\sub",
        "bad \xFF byte, cut \xE6\x97 sequence, overlong \xC0\xAF, surrogate \xED\xA0\x80",
        "lone continuation \x80 and 5-byte lead \xF8\x88\x80\x80\x80",
    };
    for (const std::string& text : cases) {
        std::string ours;
        appendJsonString(ours, text);
        const std::string theirs =
            nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        EXPECT_EQ(ours, theirs) << text;
    }
}

}  // namespace
}  // namespace rekkon::cli
