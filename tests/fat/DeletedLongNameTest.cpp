// Long names of deleted entries, rebuilt from pieces whose sequence byte is 0xE5: byte-built
// slots for the cases real tools do not leave behind.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "fat/DeletedLongName.h"
#include "fat/SlotNames.h"

namespace rekkon {
namespace {

using Slot = std::array<std::uint8_t, kDirEntrySize>;
using ShortName = std::array<std::uint8_t, 11>;

constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

ShortName shortName(const std::string& name11) {
    ShortName n{};
    std::copy_n(name11.begin(), n.size(), n.begin());
    return n;
}

std::uint8_t checksumOf(const std::string& name11) {
    return shortNameChecksum(shortName(name11));
}

// One piece holding exactly these 13 units.
Slot piece(const std::u16string& units, std::uint8_t checksum, std::uint8_t sequence = 0xE5) {
    Slot s{};
    s[0] = sequence;
    s[0x0B] = kAttrLongNamePiece;
    s[0x0D] = checksum;
    for (std::size_t k = 0; k < 13; ++k) {
        const std::uint16_t unit = k < units.size() ? units[k] : 0xFFFF;
        s[kOffsets[k]] = static_cast<std::uint8_t>(unit);
        s[kOffsets[k] + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    return s;
}

// The pieces of `name` as a deletion leaves them, closest to the short entry first.
std::vector<Slot> deletedPieces(const std::u16string& name, std::uint8_t checksum) {
    std::vector<Slot> out;
    for (std::size_t at = 0; at < name.size() || at == 0; at += 13) {
        std::u16string units = name.substr(at, 13);
        if (units.size() < 13) units.push_back(u'\0');  // the end mark, then 0xFFFF padding
        out.push_back(piece(units, checksum));
    }
    return out;
}

Slot shortSlot(const std::string& name11) {
    Slot s{};
    std::copy_n(name11.begin(), 11, s.begin());
    s[0x0B] = 0x20;
    s[0x1A] = 5;
    return s;
}

std::optional<DeletedLongName> rebuild(const std::vector<Slot>& before, const std::string& name11) {
    return recoverDeletedLongName(before, shortName(name11));
}

TEST(DeletedLongNameTest, PiecesBeforeADeletedEntryGiveItsNameAndFirstByte) {
    const auto pieces = deletedPieces(u"Budget Forecast 2020.txt", checksumOf("BUDGET~1TXT"));
    ASSERT_EQ(pieces.size(), 2u);
    auto found = rebuild(pieces, "\xE5UDGET~1TXT");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "Budget Forecast 2020.txt");
    EXPECT_EQ(found->firstByte, 'B');
    // What lies beyond the farthest piece does not matter once the name has ended.
    auto more = pieces;
    more.push_back(piece(u"stale pieces!", checksumOf("BUDGET~1TXT")));
    EXPECT_EQ(rebuild(more, "\xE5UDGET~1TXT")->name, "Budget Forecast 2020.txt");
    // Units outside the basic plane come back as one character.
    const auto wide = deletedPieces(u"\u00C4rger \U0001F600.txt", checksumOf("\x8ERGER~1TXT"));
    found = rebuild(wide, "\xE5RGER~1TXT");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "\u00C4rger \U0001F600.txt");
    EXPECT_EQ(firstCharText(found->firstByte), "\u00C4");  // CP437 0x8E
}

TEST(DeletedLongNameTest, ANameThatFillsItsPiecesNeedsNoPieceBeyondIt) {
    const std::u16string name = u"Exactly twenty-six units.x";  // two full pieces
    ASSERT_EQ(name.size(), 26u);
    const std::uint8_t sum = checksumOf("EXACTL~1X  ");
    std::vector<Slot> pieces = {piece(name.substr(0, 13), sum), piece(name.substr(13), sum)};
    EXPECT_EQ(rebuild(pieces, "?XACTL~1X  ")->name, "Exactly twenty-six units.x");
    EXPECT_FALSE(rebuild(pieces, "?XACTL~1X  ")->cut);
    auto afterEntry = pieces;
    afterEntry.push_back(shortSlot("OTHER   TXT"));
    EXPECT_TRUE(rebuild(afterEntry, "?XACTL~1X  "));
    // A piece of another name beyond it: the name's farthest piece may be missing.
    auto mixed = pieces;
    mixed.push_back(piece(u"other", checksumOf("OTHER   TXT")));
    EXPECT_FALSE(rebuild(mixed, "?XACTL~1X  "));
}

TEST(DeletedLongNameTest, PiecesWithoutTheNamesEndAreMarkedCutOff) {
    // A later entry took the slot of piece 2 ("ong name.bin"): piece 1 is full and has no end
    // mark, and the short name's extension is not in it.
    const std::string entry =
        "\xE5"
        "FILEW~1BIN";
    const auto pieces = deletedPieces(u"B file with long name.bin", checksumOf("BFILEW~1BIN"));
    for (const std::vector<Slot>& before :
         {std::vector<Slot>{pieces[0], shortSlot("NEWER   TXT")}, std::vector<Slot>{pieces[0]}}) {
        const auto found = rebuild(before, entry);
        ASSERT_TRUE(found);
        EXPECT_TRUE(found->cut);
        EXPECT_EQ(found->name, "B file with l\u2026");
        EXPECT_EQ(found->firstByte, 'B');  // every piece carries the checksum
    }
    EXPECT_FALSE(rebuild(pieces, entry)->cut);
    // Full pieces whose extension gives the short name's are whole ("Exactly twenty-six
    // units.x" above); without an extension in the short name nothing shows that they are.
    const auto folder = deletedPieces(u"Documentation", checksumOf("DOCUME~1   "));
    EXPECT_EQ(rebuild({folder[0]}, "?OCUME~1   ")->name, "Documentation\u2026");
    const std::u16string units = u"Notes v1 2020 .t x";
    EXPECT_FALSE(fullPiecesMayBeCut(std::vector<std::uint16_t>(units.begin(), units.end()),
                                    shortName("NOTESV~1TX ")));
    EXPECT_TRUE(fullPiecesMayBeCut(std::vector<std::uint16_t>(units.begin(), units.end()),
                                   shortName("NOTESV~1TXT")));
}

TEST(DeletedLongNameTest, PiecesOfAnotherNameAreNotTaken) {
    const std::string entry = "\xE5UDGET~1TXT";
    // The closest piece carries another short name's checksum.
    EXPECT_FALSE(rebuild(deletedPieces(u"Budget.txt", checksumOf("BUDGET  TXT")), entry));
    // Sandwiched: a piece of another name between the two pieces of this one.
    const std::uint8_t sum = checksumOf("BUDGET~1TXT");
    EXPECT_FALSE(rebuild(
        {piece(u"Budget Foreca", sum), piece(u"x", sum ^ 1), piece(u"st.txt", sum)}, entry));
}

TEST(DeletedLongNameTest, OnlyConsecutiveDeletedPiecesCount) {
    const std::uint8_t sum = checksumOf("NOTES   TXT");
    const std::vector<Slot> good = {piece(std::u16string(u"notes.txt") + u'\0', sum)};
    ASSERT_TRUE(rebuild(good, "?OTES   TXT"));
    // Another entry lies between the pieces and the short entry.
    EXPECT_FALSE(rebuild({shortSlot("\xE5THER   TXT"), good[0]}, "?OTES   TXT"));
    EXPECT_FALSE(rebuild({}, "?OTES   TXT"));
    // A live (numbered) piece, or one that is not a plausible piece.
    auto live = good;
    live[0][0] = 0x41;
    EXPECT_FALSE(rebuild(live, "?OTES   TXT"));
    for (const auto& [offset, value] : std::vector<std::pair<std::size_t, std::uint8_t>>{
             {0x0B, 0x3F}, {0x0C, 1}, {0x1A, 2}, {0x1B, 1}}) {
        auto bad = good;
        bad[0][offset] = value;
        EXPECT_FALSE(rebuild(bad, "?OTES   TXT")) << offset;
    }
}

TEST(DeletedLongNameTest, ANameMustEndProperly) {
    const std::uint8_t sum = checksumOf("NOTES   TXT");
    auto units = [](std::u16string text, std::initializer_list<char16_t> tail) {
        for (char16_t u : tail)
            text.push_back(u);
        text.resize(13, u'\xFFFF');
        return text;
    };
    EXPECT_TRUE(rebuild({piece(units(u"notes.txt", {0}), sum)}, "?OTES   TXT"));
    // Something after the end mark other than padding, padding without the end mark, an
    // empty name.
    EXPECT_FALSE(rebuild({piece(units(u"notes.txt", {0, u'x'}), sum)}, "?OTES   TXT"));
    EXPECT_FALSE(rebuild({piece(units(u"notes.txt", {0xFFFF}), sum)}, "?OTES   TXT"));
    EXPECT_FALSE(rebuild({piece(units(u"", {0}), sum)}, "?OTES   TXT"));
    // Characters no long name holds: the pieces are not a name.
    for (const char16_t bad : {u'\\', u'/', u'\x01', u':'})
        EXPECT_FALSE(rebuild({piece(units(std::u16string(u"no") + bad + u"tes.txt", {0}), sum)},
                             "?OTES   TXT"));
    // An end mark at the start of a second piece: no real name leaves one.
    const std::uint8_t exact = checksumOf("EXACTL~1TXT");
    EXPECT_FALSE(
        rebuild({piece(u"exactly13.txt", exact), piece(units(u"", {0}), exact)}, "?XACTL~1TXT"));
    // No more than 20 pieces are looked at: a run of full ones without an end is no name.
    EXPECT_FALSE(rebuild(std::vector<Slot>(21, piece(u"abcdefghijklm", sum)), "?OTES   TXT"));
}

TEST(DeletedLongNameTest, TheChecksumMustProveAFirstByteAShortNameCanHave) {
    // Over the 256 first bytes the checksum takes every value once, so it never fits two.
    std::set<std::uint8_t> sums;
    for (unsigned b = 0; b < 256; ++b) {
        ShortName n = shortName("?UDGET~1TXT");
        n[0] = static_cast<std::uint8_t>(b);
        sums.insert(shortNameChecksum(n));
    }
    EXPECT_EQ(sums.size(), 256u);
    // Pieces whose checksum fits only a byte no short name begins with prove nothing.
    for (const char* impossible : {"bUDGET~1TXT", " UDGET~1TXT", ".UDGET~1TXT", "?UDGET~1TXT",
                                   "\x01UDGET~1TXT", "\xE5UDGET~1TXT"}) {
        const auto pieces = deletedPieces(u"Budget Forecast 2020.txt", checksumOf(impossible));
        EXPECT_FALSE(rebuild(pieces, "?UDGET~1TXT")) << impossible;
    }
    // 0x05 stands for a name that begins with the character 0xE5 (CP437 sigma).
    const auto pieces = deletedPieces(u"\u03C3igma.txt", checksumOf("\x05IGMA   TXT"));
    const auto found = rebuild(pieces, "?IGMA   TXT");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->firstByte, 0x05);
    EXPECT_EQ(firstCharText(found->firstByte), "\u03C3");
    // Letters of the code page are first bytes too.
    EXPECT_TRUE(possibleFirstNameByte(0x8E));
    EXPECT_FALSE(possibleFirstNameByte('a'));
    EXPECT_FALSE(possibleFirstNameByte('+'));
}

TEST(DeletedLongNameTest, SlotNamesFollowAFolderAcrossManySlots) {
    SlotNames names;
    // Many slots of another kind first: only the last 20 are kept.
    for (int i = 0; i < 50; ++i)
        names.advance(shortSlot("FILLER  TXT"));
    const auto pieces = deletedPieces(u"Budget Forecast 2020.txt", checksumOf("BUDGET~1TXT"));
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        names.advance(*it);
        EXPECT_FALSE(names.liveName());
    }
    names.advance(shortSlot("\xE5UDGET~1TXT"));
    const auto found = names.deletedName();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "Budget Forecast 2020.txt");
    EXPECT_FALSE(names.liveName());  // deleted pieces give no live name
    // The next entry has no pieces before it.
    names.advance(shortSlot("\xE5THER   TXT"));
    EXPECT_FALSE(names.deletedName());

    // A live name is assembled from numbered pieces as before.
    Slot live = piece(std::u16string(u"Live.txt") + u'\0', checksumOf("LIVE    TXT"), 0x41);
    names.advance(live);
    names.advance(shortSlot("LIVE    TXT"));
    EXPECT_EQ(names.liveName(), "Live.txt");
    EXPECT_FALSE(names.deletedName());
}

}  // namespace
}  // namespace rekkon
