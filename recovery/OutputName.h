#pragma once

#include <optional>
#include <string>

namespace rekkon {

// The name a recovered file is written under: a '/' or a control character becomes '_'
// (controlsAsUnderscores), "." and ".." get a '_' in front, the first ':' (an NTFS stream,
// "file:stream") becomes '-', and a name longer than 255 bytes is shortened on a UTF-8 boundary,
// keeping its extension.
std::string safeOutputName(const std::string& name);

// `text` (UTF-8) with each control character as one '_': C0 (U+0000..U+001F), DEL (U+007F) and
// C1 (U+0080..U+009F). Names with them reach a volume by damage or on purpose (an escape sequence
// in a name), and no file or folder is created under one.
std::string controlsAsUnderscores(const std::string& text);

// Splits "name:stream" at the first colon; the stream is empty when there is none.
std::pair<std::string, std::string> splitStreamName(const std::string& name);

// The numbered alternative N (1..499) for a file name: "base(N).ext", where the extension is
// the text after the name's last point; a name without a point gives "name(N).".
std::string numberedName(const std::string& fileName, int n);

inline constexpr int kMaxNumberedNames = 499;
// The longest name a Linux file system takes, in bytes.
inline constexpr std::size_t kMaxNameBytes = 255;

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cutUtf8(const std::string& text, std::size_t limit);

}  // namespace rekkon
