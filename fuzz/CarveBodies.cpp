#include <algorithm>

#include "carve/CarveFormat.h"
#include "fuzz/EntryData.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/VolumeRun.h"
#include "recovery/CarveMount.h"
#include "volume/MemorySectorDevice.h"

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

void fuzzCarveScan(std::span<const std::uint8_t> data) {
    ScanContext context;
    const auto image = imageOf(data);
    auto source = std::make_unique<MemorySectorDevice>(MemorySectorDevice::Borrow{}, image);
    mountForCarving(context, std::move(source), {}, {});
    scanAndRead(context, controlOf(data));
    for (const DeletedFileEntry& e : context.foundList)
        if (!e.contentType.empty())
            fuzzCheck(e.size > 0 && e.size <= image.size(), "a carved file larger than its source");
    unmountVolume(context);
}

}  // namespace rekkon::fuzz
