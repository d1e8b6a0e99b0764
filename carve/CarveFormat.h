#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "carve/CarveInput.h"

namespace rekkon {

// What a format's check found at a candidate's first byte.
enum class CarveVerdict : std::uint8_t {
    NotFormat,  // not a file of this format after all (a signature met by chance)
    Whole,      // the structure is followed to its end and checks out: `length` is the file
    Truncated,  // the structure checks out as far as the source (or the format's limit) goes
    Damaged,    // the structure breaks at `validBytes` (a bad CRC, a scan that stops decoding)
};

struct CarveResult {
    CarveVerdict verdict = CarveVerdict::NotFormat;
    // The file's bytes from its start: where its structure ends (Whole), or how far the file
    // seems to reach (Truncated, Damaged: what is worth recovering, at least validBytes).
    std::uint64_t length = 0;
    // Of them, the bytes whose structure checks out (length for a Whole file).
    std::uint64_t validBytes = 0;
    // The extension the content asks for ("docx" for a ZIP holding a Word document); empty: the
    // format's own.
    std::string extension;
    // A name from the content, without extension ("2024-05-01 12.30.05 Canon EOS 5D", a
    // document's title): UTF-8, may hold any character (front ends make it safe); empty: none.
    std::string name;
    // When the content says it was made (Exif DateTimeOriginal, MP4 creation time, a PDF's
    // CreationDate) as a Windows FILETIME (100 ns since 1601-01-01), 0 when it does not.
    std::uint64_t time = 0;
    bool timeUtc = false;  // whether `time` is UTC (else the camera's local time)
    // For a file that is not Whole: what broke, in a few words ("CRC of a PNG chunk at 4096").
    std::string problem;
};

// Bytes a format's start test sees at each candidate position (fewer only at the source's end).
inline constexpr std::size_t kCarveHeadBytes = 64;

// One file format carving knows: a cheap test of a candidate's first bytes, called at every
// cluster (or sector) of the space searched, and the check that follows the structure.
struct CarveFormat {
    std::string_view type;         // the name `--type` takes and the default extension: "jpg"
    std::string_view description;  // for users: "JPEG image"
    // Whether a file of this format may start with `head` (kCarveHeadBytes, fewer at the end).
    bool (*starts)(std::span<const std::uint8_t> head);
    // Follows the file from its first byte; reads nothing past input.limit().
    CarveResult (*check)(CarveInput& input);
    // The most bytes a file of the format is taken to hold; the input's limit is at most this.
    std::uint64_t maxBytes;
    // Formats whose broken files are tried as two fragments: whether a unit (a cluster or sector)
    // of bytes may lie inside the file's data past its headers. Null: such files stay broken.
    bool (*continues)(std::span<const std::uint8_t> unit) = nullptr;
};

// Every format, in the order their start tests are tried.
const std::vector<CarveFormat>& carveFormats();
// The format named `type`, or null.
const CarveFormat* findCarveFormat(std::string_view type);
// The format whose files may be named `name`: a format's type, or an extension its content gives
// ("nef" a TIFF-based raw photo, "docx" a ZIP-based document, "jpeg"); null when none.
const CarveFormat* carveFormatNamed(std::string_view name);
// The extensions carveFormatNamed takes besides the formats' types, for messages.
std::string_view carveFormatAliases();

}  // namespace rekkon
