// The formats carving knows: one line each, in the order their start tests are tried (the more
// specific signatures first).
#include <algorithm>
#include <string>

#include "carve/BmpFormat.h"
#include "carve/CarveFormat.h"
#include "carve/GifFormat.h"
#include "carve/GzipFormat.h"
#include "carve/IsoBmffFormat.h"
#include "carve/JpegFormat.h"
#include "carve/Mp3Format.h"
#include "carve/PdfFormat.h"
#include "carve/PngFormat.h"
#include "carve/RarFormat.h"
#include "carve/RiffFormat.h"
#include "carve/SevenZipFormat.h"
#include "carve/SqliteFormat.h"
#include "carve/TiffFormat.h"
#include "carve/ZipFormat.h"

namespace rekkon {

const std::vector<CarveFormat>& carveFormats() {
    constexpr std::uint64_t MiB = 1024 * 1024;
    static const std::vector<CarveFormat> formats = {
        {"jpg", "JPEG image", jpegStarts, checkJpeg, 512 * MiB, jpegContinues},
        {"png", "PNG image", pngStarts, checkPng, 512 * MiB},
        {"gif", "GIF image", gifStarts, checkGif, 256 * MiB},
        {"cr2", "Canon raw photo", cr2Starts, checkCr2, 1024 * MiB},
        {"tif", "TIFF image or raw photo", tiffStarts, checkTiff, 1024 * MiB},
        {"bmp", "BMP image", bmpStarts, checkBmp, 512 * MiB},
        {"zip", "ZIP archive or document", zipStarts, checkZip, 1ull << 34},
        {"pdf", "PDF document", pdfStarts, checkPdf, 1ull << 31},
        {"sqlite", "SQLite database", sqliteStarts, checkSqlite, 1ull << 36},
        {"gz", "GZIP compressed file", gzipStarts, checkGzip, 1ull << 34},
        {"7z", "7z archive", sevenZipStarts, checkSevenZip, 1ull << 36},
        {"rar", "RAR archive", rarStarts, checkRar, 1ull << 36},
        {"mp4", "MP4 video", mp4Starts, checkIsoBmff, 64ull << 30},
        {"mov", "QuickTime movie", movStarts, checkIsoBmff, 64ull << 30},
        {"3gp", "3GPP video", threeGpStarts, checkIsoBmff, 4ull << 30},
        {"m4a", "MPEG-4 audio", m4aStarts, checkIsoBmff, 4ull << 30},
        {"heic", "HEIC image", heicStarts, checkIsoBmff, 1ull << 30},
        {"avif", "AVIF image", avifStarts, checkIsoBmff, 1ull << 30},
        {"avi", "AVI video", aviStarts, checkRiff, 64ull << 30},
        {"wav", "WAVE audio", wavStarts, checkRiff, (4ull << 30) + 8},
        {"webp", "WebP image", webpStarts, checkRiff, 256ull << 20},
        {"mp3", "MP3 audio", mp3Starts, checkMp3, 2ull << 30},
    };
    return formats;
}

const CarveFormat* findCarveFormat(std::string_view type) {
    const auto& all = carveFormats();
    const auto it = std::find_if(all.begin(), all.end(),
                                 [type](const CarveFormat& f) { return f.type == type; });
    return it == all.end() ? nullptr : &*it;
}

namespace {

struct Alias {
    std::string_view name;
    std::string_view type;
};
constexpr Alias kAliases[] = {
    {"jpeg", "jpg"}, {"tiff", "tif"}, {"nef", "tif"},  {"arw", "tif"},        {"dng", "tif"},
    {"docx", "zip"}, {"xlsx", "zip"}, {"pptx", "zip"}, {"odt", "zip"},        {"ods", "zip"},
    {"odp", "zip"},  {"epub", "zip"}, {"jar", "zip"},  {"sqlite3", "sqlite"},
};

}  // namespace

const CarveFormat* carveFormatNamed(std::string_view name) {
    for (const Alias& a : kAliases)
        if (a.name == name) return findCarveFormat(a.type);
    return findCarveFormat(name);
}

std::string_view carveFormatAliases() {
    static const std::string names = [] {
        std::string joined;
        for (const Alias& a : kAliases)
            joined += (joined.empty() ? "" : ", ") + std::string(a.name);
        return joined;
    }();
    return names;
}

}  // namespace rekkon
