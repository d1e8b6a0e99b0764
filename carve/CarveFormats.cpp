// The formats carving knows: one line each, in the order their start tests are tried (the more
// specific signatures first).
#include <algorithm>

#include "carve/BmpFormat.h"
#include "carve/CarveFormat.h"
#include "carve/GifFormat.h"
#include "carve/JpegFormat.h"
#include "carve/PngFormat.h"
#include "carve/TiffFormat.h"

namespace rekkon {

const std::vector<CarveFormat>& carveFormats() {
    constexpr std::uint64_t MiB = 1024 * 1024;
    static const std::vector<CarveFormat> formats = {
        {"jpg", "JPEG image", jpegStarts, checkJpeg, 512 * MiB},
        {"png", "PNG image", pngStarts, checkPng, 512 * MiB},
        {"gif", "GIF image", gifStarts, checkGif, 256 * MiB},
        {"cr2", "Canon raw photo", cr2Starts, checkCr2, 1024 * MiB},
        {"tif", "TIFF image or raw photo", tiffStarts, checkTiff, 1024 * MiB},
        {"bmp", "BMP image", bmpStarts, checkBmp, 512 * MiB},
    };
    return formats;
}

const CarveFormat* findCarveFormat(std::string_view type) {
    const auto& all = carveFormats();
    const auto it = std::find_if(all.begin(), all.end(),
                                 [type](const CarveFormat& f) { return f.type == type; });
    return it == all.end() ? nullptr : &*it;
}

}  // namespace rekkon
