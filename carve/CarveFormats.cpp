// The formats carving knows: one line each, in the order their start tests are tried (the more
// specific signatures first).
#include <algorithm>

#include "carve/CarveFormat.h"
#include "carve/IsoBmffFormat.h"
#include "carve/Mp3Format.h"
#include "carve/RiffFormat.h"

namespace rekkon {

const std::vector<CarveFormat>& carveFormats() {
    static const std::vector<CarveFormat> formats = {
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

}  // namespace rekkon
