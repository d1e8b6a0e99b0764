// A list long enough to go through the writer thread, and round its ring of batches more than
// once, comes out in the bytes and order of the entries formatted one by one.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/BodyfileOutput.h"
#include "cli/EntryOutput.h"
#include "cli/EntryStream.h"

namespace rekkon::cli {
namespace {

TEST(EntryStreamTest, LongListsKeepTheirOrderAndBytesInEveryFormat) {
    constexpr std::size_t kEntries = EntryStream::kBatchEntries * EntryStream::kBatches * 2 + 7;
    std::vector<DeletedFileEntry> entries(kEntries);
    for (std::size_t i = 0; i < kEntries; ++i) {
        DeletedFileEntry& e = entries[i];
        e.location = i;
        e.name = "file " + std::to_string(i) + (i % 3 == 0 ? ",\"quoted\".txt" : ".bin");
        e.folder = std::string(i % 50, 'd');  // texts of every length: storage reused unevenly
        e.size = i * 1000;
        e.createTime = 130000000000000000 + i;
        if (i % 5 == 0) e.longName = "Long Name " + std::to_string(i);
    }
    struct Case {
        EntryStream::Format format;
        std::string expected;
    };
    Case cases[] = {{EntryStream::Format::Json, "[\n"},
                    {EntryStream::Format::Csv, csvHeader()},
                    {EntryStream::Format::Bodyfile, ""}};
    for (std::size_t i = 0; i < kEntries; ++i) {
        if (i > 0) cases[0].expected += ",\n";
        appendJsonEntry(cases[0].expected, entries[i]);
        appendCsvLine(cases[1].expected, entries[i]);
        appendBodyfileLine(cases[2].expected, entries[i]);
    }
    cases[0].expected += "\n]\n";
    for (const Case& c : cases) {
        std::ostringstream out;
        {
            EntryStream stream(out, c.format);
            for (const DeletedFileEntry& e : entries)
                stream.add(e);
            stream.finish();
            EXPECT_EQ(stream.count(), kEntries);
        }
        EXPECT_EQ(out.str(), c.expected) << static_cast<int>(c.format);
    }

    // Destroyed without finish() (a scan that failed part way): what was added is written.
    std::ostringstream cut;
    {
        EntryStream stream(cut, EntryStream::Format::Bodyfile);
        for (const DeletedFileEntry& e : entries)
            stream.add(e);
    }
    EXPECT_EQ(cut.str(), cases[2].expected);
}

}  // namespace
}  // namespace rekkon::cli
