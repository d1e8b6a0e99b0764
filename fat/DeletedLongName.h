#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

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

// A deleted entry's long name rebuilt from the pieces before it, and the first byte of its
// short name that the pieces' checksum proves.
struct DeletedLongName {
    std::string name;  // UTF-8
    std::uint8_t firstByte = 0;
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
//     are full. A name that fills its pieces exactly is taken only when the slot before its
//     farthest piece is no long-name piece of any kind;
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
