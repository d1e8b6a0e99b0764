#include "carve/TiffFormat.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "carve/TiffIfd.h"

namespace rekkon {
namespace {

constexpr std::uint64_t kMinBytes = 64;

bool makeIs(const std::string& make, const char* brand) {
    std::string upper;
    for (char c : make)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.rfind(brand, 0) == 0;
}

bool hasCrMark(CarveInput& input) {
    std::uint8_t head[11] = {};
    return input.read(0, head) == sizeof head && cr2Starts(head);
}

}  // namespace

bool tiffStarts(std::span<const std::uint8_t> head) {
    if (head.size() < 8) return false;
    std::uint32_t first = 0;
    if (head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) {
        first =
            std::uint32_t{head[4]} | head[5] << 8 | head[6] << 16 | std::uint32_t{head[7]} << 24;
    } else if (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42) {
        first = std::uint32_t{head[4]} << 24 | head[5] << 16 | head[6] << 8 | head[7];
    } else {
        return false;
    }
    return first >= 8;
}

bool cr2Starts(std::span<const std::uint8_t> head) {
    return head.size() >= 11 && head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0 &&
           head[8] == 'C' && head[9] == 'R' && head[10] == 2;
}

CarveResult checkTiff(CarveInput& input) {
    const TiffWalk w = walkTiff(input);
    if (!w.plausible || w.extent < kMinBytes) return {};
    CarveResult r;
    if (w.pastLimit) {
        r.verdict = CarveVerdict::Truncated;
        r.length = r.validBytes = input.limit();
        r.problem = "cut short at " + std::to_string(input.limit());
    } else if (w.brokenAt != 0) {
        r.verdict = CarveVerdict::Damaged;
        r.length = w.extent;
        r.validBytes = std::min(w.brokenAt, w.extent);
        r.problem = w.problem;
    } else {
        r.verdict = CarveVerdict::Whole;
        r.length = r.validBytes = w.extent;
    }
    if (w.dng) {
        r.extension = "dng";
    } else if (makeIs(w.exif.make, "NIKON")) {
        r.extension = "nef";
    } else if (makeIs(w.exif.make, "SONY")) {
        r.extension = "arw";
    } else if (makeIs(w.exif.make, "CANON") && hasCrMark(input)) {
        r.extension = "cr2";
    }
    nameFromExif(w.exif, r);
    return r;
}

CarveResult checkCr2(CarveInput& input) {
    if (!hasCrMark(input)) return {};
    CarveResult r = checkTiff(input);
    if (r.extension == "cr2") r.extension.clear();
    return r;
}

}  // namespace rekkon
