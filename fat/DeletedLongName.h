#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "fat/DirEntry.h"

namespace rekkon {

// The checksum a long-name piece keeps (byte 13) of the 11-byte short name it belongs to, as
// stored in the short entry: rotate the sum right by one bit, then add the next byte.
std::uint8_t shortNameChecksum(std::span<const std::uint8_t, 11> shortName);

// Whether `b` can be the first byte of a stored short name. Not: 0x00 (end of folder), 0xE5
// (the deleted mark; a name beginning with that character stores 0x05 instead, which is
// allowed), other control bytes, the blank (no name begins with one), '.' (only the "." and
// ".." entries, which have no long name), lower-case ASCII letters (short names are stored
// upper-cased), 0x7F and the characters no short name may hold: " * + , / : ; < = > ? [ \ ] |.
// Bytes from 0x80 on are letters of the OEM code page and allowed.
bool possibleFirstNameByte(std::uint8_t b);

// The character a short name's first byte stands for, in UTF-8: the byte read in the volume's
// OEM code page (CP437, the only one read), with 0x05 standing for 0xE5.
std::string firstCharText(std::uint8_t firstByte);

// What ends a long name that is only the start of a longer one: U+2026 (an ellipsis).
inline constexpr std::string_view kCutNameMark = "\u2026";

// Whether a deleted long name whose pieces are all full (`units`, no end mark) may be only the
// start of a longer name. Not when its extension gives the short name's: the text after its last
// '.', blanks left out, in upper case, first three characters, each as the short name holds it (a
// character a short name cannot hold, or one beyond ASCII, stands for any byte but a blank). A
// short name without an extension proves nothing: the name's end may be missing either way.
bool fullPiecesMayBeCut(std::span<const std::uint16_t> units,
                        std::span<const std::uint8_t, 11> shortName);

// A deleted entry's long name rebuilt from the pieces before it, and the first byte of its
// short name that the pieces' checksum proves (every piece carries the checksum, so a cut-off
// name proves it as well as a whole one).
struct DeletedLongName {
    std::string name;  // UTF-8; a cut-off name ends in kCutNameMark
    std::uint8_t firstByte = 0;
    // The pieces end without the name's end mark, and nothing shows that the name ends there:
    // its farthest pieces may have been taken by a later entry.
    bool cut = false;
};

// Deleting a file writes 0xE5 over the sequence byte of each of its long-name pieces, so their
// order is known only by position: the slot just before the short entry holds piece 1, the one
// before that piece 2, and so on. `before` gives those slots, closest first (at most 20 are
// looked at). They are taken as this entry's long name when:
//   - they are consecutive pieces of a deleted name: sequence byte 0xE5, attribute 0x0F, type
//     byte 0 and first-cluster field 0;
//   - they all carry the same checksum;
//   - the name they form ends properly: the pieces are taken up to the first one that holds
//     0x0000 followed by 0xFFFF padding (after at least one unit of name); the ones before it
//     are full. Pieces that are all full are taken only when the slot before the farthest is no
//     long-name piece of any kind. Deletion wiped the mark (bit 0x40 of the sequence byte) that
//     told the farthest piece, so such a name may be whole, or only the start of a name whose
//     farthest pieces a later entry took: it is `cut` unless fullPiecesMayBeCut says otherwise
//     (a short name's extension is made from the long name's, which lies at its end);
//   - the name holds no control character and none of " * / : < > ? \ |, which no long name
//     may hold;
//   - exactly one first byte allowed by possibleFirstNameByte, together with bytes 1..10 of
//     `shortName`, gives that checksum.
// The checksum decides: pieces that do not agree with this short name belong to another entry.
// nullopt when no such pieces are there.
std::optional<DeletedLongName> recoverDeletedLongName(
    std::span<const std::array<std::uint8_t, kDirEntrySize>> before,
    std::span<const std::uint8_t, 11> shortName);

}  // namespace rekkon
