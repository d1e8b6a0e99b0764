#include "fat/DeletedLongName.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "fat/LongName.h"
#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

constexpr std::size_t kChecksumOffset = 0x0D;
constexpr std::size_t kTypeOffset = 0x0C;
constexpr std::size_t kPieceClusterOffset = 0x1A;

// Characters that never occur in a stored short name.
constexpr std::string_view kNeverInShortName = "\"*+,./:;<=>?[\\]|";
// Characters that never occur in a long name (besides the control characters).
constexpr std::u16string_view kNeverInLongName = u"\"*/:<>?\\|";

bool possibleLongNameUnit(std::uint16_t unit) {
    return unit >= 0x20 &&
           kNeverInLongName.find(static_cast<char16_t>(unit)) == std::u16string_view::npos;
}

bool isDeletedPiece(std::span<const std::uint8_t, kDirEntrySize> slot) {
    const LeReader r(slot);
    return slot[0] == kDeletedMarker && slot[0x0B] == kAttrLongNamePiece &&
           slot[kTypeOffset] == 0 && *r.u16(kPieceClusterOffset) == 0;
}

// How a piece's units end the name: Full (13 name units), Ends (some units, then 0x0000 and
// only 0xFFFF after it) or Broken (anything else).
enum class PieceEnd { Full, Ends, Broken };

PieceEnd pieceEnd(const std::array<std::uint16_t, kUnitsPerPiece>& units, std::size_t& length) {
    const auto zero = std::find(units.begin(), units.end(), std::uint16_t{0});
    const auto pad = std::find(units.begin(), zero, std::uint16_t{0xFFFF});
    length = static_cast<std::size_t>(pad - units.begin());
    if (pad != zero) return PieceEnd::Broken;  // padding without the end mark before it
    if (zero == units.end()) return PieceEnd::Full;
    const bool padded =
        std::all_of(zero + 1, units.end(), [](std::uint16_t u) { return u == 0xFFFF; });
    return padded ? PieceEnd::Ends : PieceEnd::Broken;
}

}  // namespace

std::uint8_t shortNameChecksum(std::span<const std::uint8_t, 11> shortName) {
    std::uint8_t sum = 0;
    for (const std::uint8_t b : shortName)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + b);
    return sum;
}

bool possibleFirstNameByte(std::uint8_t b) {
    if (b == kKanjiE5Marker) return true;
    if (b <= 0x20 || b == 0x7F || b == kDeletedMarker) return false;
    if (b >= 'a' && b <= 'z') return false;
    return b >= 0x80 || kNeverInShortName.find(static_cast<char>(b)) == std::string_view::npos;
}

bool fullPiecesMayBeCut(std::span<const std::uint16_t> units,
                        std::span<const std::uint8_t, 11> shortName) {
    if (shortName[8] == ' ') return true;
    const auto dot = std::find(units.rbegin(), units.rend(), std::uint16_t{'.'});
    if (dot == units.rend()) return true;
    std::size_t at = 8;
    for (auto it = dot.base(); it != units.end(); ++it) {
        const std::uint16_t unit = *it;
        if (unit == ' ') continue;
        if (at == 11) break;
        const std::uint8_t stored = shortName[at++];
        const bool literal = unit < 0x80 && kNeverInShortName.find(static_cast<char>(unit)) ==
                                                std::string_view::npos;
        const auto upper =
            static_cast<std::uint8_t>(unit >= 'a' && unit <= 'z' ? unit - 0x20 : unit);
        if (literal ? stored != upper : stored == ' ') return true;
    }
    return at < 11 && shortName[at] != ' ';
}

std::string firstCharText(std::uint8_t firstByte) {
    const char byte = static_cast<char>(firstByte == kKanjiE5Marker ? kDeletedMarker : firstByte);
    return cp437ToUtf8(std::string_view(&byte, 1));
}

std::optional<DeletedLongName> recoverDeletedLongName(
    std::span<const std::array<std::uint8_t, kDirEntrySize>> before,
    std::span<const std::uint8_t, 11> shortName) {
    if (before.empty() || !isDeletedPiece(before[0])) return std::nullopt;
    const std::uint8_t checksum = before[0][kChecksumOffset];
    std::vector<std::uint16_t> units;
    bool ended = false;
    const std::size_t most = std::min<std::size_t>(before.size(), kMaxLongNamePieces);
    std::size_t taken = 0;
    for (; taken < most && !ended; ++taken) {
        const auto& slot = before[taken];
        if (!isDeletedPiece(slot) || slot[kChecksumOffset] != checksum) break;
        const auto held = pieceUnits(slot);
        std::size_t length = 0;
        switch (pieceEnd(held, length)) {
            case PieceEnd::Broken:
                return std::nullopt;
            case PieceEnd::Ends:
                // An end mark right at the start of a piece leaves it empty: no name does that.
                if (length == 0) return std::nullopt;
                ended = true;
                break;
            case PieceEnd::Full:
                break;
        }
        units.insert(units.end(), held.begin(), held.begin() + static_cast<std::ptrdiff_t>(length));
    }
    // A name that fills its pieces has no end mark; it is whole only when what lies before its
    // farthest piece is no long-name piece at all. A piece of another name (or a numbered one)
    // there means pieces were mixed up, and this name's farthest piece may be missing.
    if (!ended && taken < before.size() &&
        isLongNamePiece(std::span<const std::uint8_t, kDirEntrySize>(before[taken])))
        return std::nullopt;
    if (units.empty() || !std::all_of(units.begin(), units.end(), possibleLongNameUnit))
        return std::nullopt;
    const bool cut = !ended && fullPiecesMayBeCut(units, shortName);

    std::array<std::uint8_t, 11> candidate{};
    std::copy(shortName.begin(), shortName.end(), candidate.begin());
    std::optional<std::uint8_t> firstByte;
    for (unsigned b = 0; b < 256; ++b) {
        candidate[0] = static_cast<std::uint8_t>(b);
        if (shortNameChecksum(candidate) != checksum || !possibleFirstNameByte(candidate[0]))
            continue;
        if (firstByte) return std::nullopt;  // two first bytes fit: the pieces prove nothing
        firstByte = candidate[0];
    }
    if (!firstByte) return std::nullopt;
    std::string name = utf16ToUtf8(units);
    if (cut) name += kCutNameMark;
    return DeletedLongName{std::move(name), *firstByte, cut};
}

}  // namespace rekkon
