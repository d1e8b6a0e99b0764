#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rekkon {

// Appends the UTF-8 form of one code point (U+FFFD for values that are not scalar values).
void appendUtf8(std::string& out, char32_t codePoint);

// Converts UTF-16 units (as NTFS and FAT long names store them) to UTF-8, whole: surrogate
// pairs become one code point, an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::span<const std::uint16_t> units);
// The same into `out`, replacing what it held (its memory is reused).
void utf16ToUtf8(std::span<const std::uint16_t> units, std::string& out);

// FAT 8.3 names are bytes in the volume's OEM code page; CP437 is the default.
std::string cp437ToUtf8(std::string_view bytes);
// The CP437 bytes of a UTF-8 text, or nullopt when a character has no CP437 form or the text
// is not valid UTF-8.
std::optional<std::string> utf8ToCp437(std::string_view utf8);

// Decodes the UTF-8 text into code points; invalid sequences become U+FFFD.
std::u32string utf8ToCodePoints(std::string_view utf8);

// ASCII letters to upper case, every other byte unchanged.
std::string asciiUpper(std::string_view text);

}  // namespace rekkon
