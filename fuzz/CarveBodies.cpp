#include <algorithm>

#include "carve/CarveFormat.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"

namespace rekkon::fuzz {

void fuzzCarveFormat(std::string_view type, std::span<const std::uint8_t> data) {
    const CarveFormat* format = findCarveFormat(type);
    fuzzCheck(format != nullptr, "a fuzz target for a format carving does not know");
    (void)format->starts(data.first(std::min(data.size(), kCarveHeadBytes)));
    MemoryCarveInput input(data);
    const CarveResult r = format->check(input);
    if (r.verdict == CarveVerdict::NotFormat) return;
    fuzzCheck(r.length <= data.size(), "a carved file reaching past its input");
    fuzzCheck(r.validBytes <= r.length, "more bytes checked than the file holds");
    fuzzCheck(r.verdict != CarveVerdict::Whole || r.validBytes == r.length,
              "a whole file with bytes that do not check out");
    fuzzCheck(r.length > 0, "a carved file of no bytes");
}

}  // namespace rekkon::fuzz
