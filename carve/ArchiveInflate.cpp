#include "carve/ArchiveInflate.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace rekkon {

namespace {

void keepBytes(std::string* keep, std::size_t keepMax, const std::uint8_t* data, std::size_t n) {
    if (keep == nullptr || keep->size() >= keepMax) return;
    keep->append(reinterpret_cast<const char*>(data), std::min(n, keepMax - keep->size()));
}

}  // namespace

InflateOutcome inflateRaw(CarveStream& s, std::uint64_t maxIn, std::uint64_t maxOut,
                          std::string* keep, std::size_t keepMax) {
    InflateOutcome out;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return out;
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    for (;;) {
        if (out.consumed >= maxIn) {
            out.end = InflateEnd::Corrupt;
            break;
        }
        auto w = s.window();
        if (w.empty()) {
            out.end = InflateEnd::Truncated;
            break;
        }
        const std::size_t offered = static_cast<std::size_t>(
            std::min<std::uint64_t>({w.size(), maxIn - out.consumed, 1u << 30}));
        z.next_in = const_cast<Bytef*>(w.data());
        z.avail_in = static_cast<uInt>(offered);
        int rc = Z_OK;
        while (rc == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            rc = inflate(&z, Z_NO_FLUSH);
            const std::size_t made = buffer.size() - z.avail_out;
            crc = static_cast<std::uint32_t>(crc32(crc, buffer.data(), static_cast<uInt>(made)));
            keepBytes(keep, keepMax, buffer.data(), made);
            out.produced += made;
            if (out.produced > maxOut) rc = Z_DATA_ERROR;
        }
        const std::size_t used = offered - z.avail_in;
        s.consume(used);
        out.consumed += used;
        if (rc == Z_STREAM_END) {
            out.end = InflateEnd::Done;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            out.end = InflateEnd::Corrupt;
            break;
        }
    }
    inflateEnd(&z);
    out.crc = crc;
    return out;
}

std::optional<std::uint32_t> crcOfStretch(CarveStream& s, std::uint64_t bytes, std::string* keep,
                                          std::size_t keepMax) {
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    while (bytes > 0) {
        auto w = s.window();
        if (w.empty()) return std::nullopt;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>({w.size(), bytes, 1u << 30}));
        crc = static_cast<std::uint32_t>(crc32(crc, w.data(), static_cast<uInt>(n)));
        keepBytes(keep, keepMax, w.data(), n);
        s.consume(n);
        bytes -= n;
    }
    return crc;
}

std::uint64_t fileTimeOfUnix(std::int64_t seconds) {
    constexpr std::int64_t kEpochDelta = 11644473600;  // 1601-01-01 to 1970-01-01
    if (seconds < -kEpochDelta) return 0;
    return static_cast<std::uint64_t>(seconds + kEpochDelta) * 10000000u;
}

std::uint64_t fileTimeOfCivil(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return 0;
    // Days since 1970-01-01 of a proleptic Gregorian date.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
    return fileTimeOfUnix(days * 86400 + hour * 3600 + minute * 60 + second);
}

}  // namespace rekkon
