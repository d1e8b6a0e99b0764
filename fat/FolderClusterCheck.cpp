#include "fat/FolderClusterCheck.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

constexpr std::size_t kUnitsPerPiece = 13;
// Byte offsets of the 13 UTF-16 units of a long-name piece.
constexpr std::size_t kUnitOffsets[kUnitsPerPiece] = {0x01, 0x03, 0x05, 0x07, 0x09, 0x0E, 0x10,
                                                      0x12, 0x14, 0x16, 0x18, 0x1C, 0x1E};
constexpr std::string_view kInvalidNameChars = "\".:*+{}[]/\\><?=,;|";
// Bits of byte 0x0C that a short entry may carry: lower-case base and extension.
constexpr std::uint8_t kCaseFlags = 0x18;

using Slot = std::span<const std::uint8_t, kDirEntrySize>;

bool validDate(std::uint16_t date) {
    return dosDateTimeToFileTime(date, 0) != 0;
}
bool validDateTime(std::uint16_t date, std::uint16_t time) {
    return dosDateTimeToFileTime(date, time) != 0;
}

// A byte a stored 8.3 name may hold: printable, not lower case, none of the reserved marks.
bool validNameByte(std::uint8_t b) {
    if (b < 0x20 || b == 0x7F || (b >= 'a' && b <= 'z')) return false;
    return kInvalidNameChars.find(static_cast<char>(b)) == std::string_view::npos;
}

// Base and extension: valid bytes, blank padded at the end only; the base is not blank.
// Byte 0 is checked by the caller (it may be the deleted mark).
bool validShortName(const std::array<std::uint8_t, 11>& name) {
    auto part = [&](std::size_t from, std::size_t to) {
        bool padding = false;
        for (std::size_t i = from; i < to; ++i) {
            if (name[i] == ' ') {
                padding = true;
            } else if (padding || !validNameByte(name[i])) {
                return false;
            }
        }
        return true;
    };
    return name[0] != ' ' && part(1, 8) && part(8, 11);
}

bool isDotName(const std::array<std::uint8_t, 11>& name, std::size_t dots) {
    for (std::size_t i = 0; i < name.size(); ++i)
        if (name[i] != (i < dots ? '.' : ' ')) return false;
    return true;
}

bool allZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// A long-name piece in itself: type byte and first cluster zero, and its units a run of
// characters, then (in the piece that ends the name) one zero unit and 0xFFFF padding.
struct Piece {
    bool deleted = false;
    std::uint8_t number = 0;  // 1..20 for a live piece
    bool opening = false;
    std::uint8_t checksum = 0;
    bool ended = false;  // holds the name's terminating zero unit or padding
    std::array<std::uint16_t, kUnitsPerPiece> units{};
    std::size_t unitCount = 0;
};

std::optional<Piece> readPiece(Slot raw) {
    const LeReader r(raw);
    if (raw[0x0B] != kAttrLongNamePiece || raw[0x0C] != 0 || *r.u16(0x1A) != 0) return std::nullopt;
    Piece p;
    p.deleted = raw[0] == kDeletedMarker;
    if (!p.deleted) {
        p.number = raw[0] & 0x3F;
        p.opening = (raw[0] & 0x40) != 0;
        if ((raw[0] & 0x80) != 0 || p.number == 0 || p.number > kMaxLongNamePieces)
            return std::nullopt;
    }
    p.checksum = raw[0x0D];
    bool padding = false;
    for (std::size_t offset : kUnitOffsets) {
        const std::uint16_t unit = *r.u16(offset);
        if (padding) {
            if (unit != 0xFFFF) return std::nullopt;
        } else if (unit == 0x0000) {
            padding = true;
        } else if (unit < 0x20 || unit == 0xFFFF) {
            return std::nullopt;
        } else {
            p.units[p.unitCount++] = unit;
        }
    }
    p.ended = padding;
    if (p.unitCount == 0) return std::nullopt;  // a piece holds at least one character
    return p;
}

// Consecutive pieces before a short entry, physically first = highest numbered.
// A run that opens a cluster may be the rest of a name whose first pieces lie at the end of the
// folder's cluster before.
struct PieceRun {
    std::vector<Piece> pieces;
    bool broken = false;     // not one name: mixed live and deleted, numbers or checksums disagree
    bool continued = false;  // opens the cluster without the piece that opens a name

    void add(const Piece& p, bool atClusterStart) {
        if (!pieces.empty()) {
            const Piece& last = pieces.back();
            if (p.deleted != last.deleted || p.checksum != last.checksum || p.ended ||
                (!p.deleted && (p.opening || p.number + 1 != last.number)))
                broken = true;
        } else if (p.deleted ? !p.ended : !p.opening) {
            // The piece that opens a name holds its end (unless the name fills its pieces).
            if (atClusterStart)
                continued = true;
            else if (!p.deleted)
                broken = true;
        }
        if (pieces.size() >= kMaxLongNamePieces) broken = true;
        pieces.push_back(p);
    }
    // Whether the run ends a name: live runs end with piece 1.
    bool complete() const {
        return !pieces.empty() && !broken && (pieces.front().deleted || pieces.back().number == 1);
    }
    // Whether it is one whole name.
    bool whole() const { return complete() && !continued; }
    std::vector<std::uint16_t> units() const {
        std::vector<std::uint16_t> out;
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
            out.insert(out.end(), it->units.begin(), it->units.begin() + it->unitCount);
        return out;
    }
    std::string name() const { return utf16ToUtf8(units()); }
    NamePart part() const {
        NamePart p;
        p.units = units();
        p.checksum = pieces.front().checksum;
        p.lowest = pieces.back().number;
        p.highest = pieces.front().number;
        return p;
    }
};

// The first byte that makes the checksum of `name` (its other ten bytes as stored) `checksum`;
// the checksum is a bijection of that byte, so there is exactly one.
std::uint8_t firstByteFor(std::array<std::uint8_t, 11> name, std::uint8_t checksum) {
    for (int b = 0; b < 256; ++b) {
        name[0] = static_cast<std::uint8_t>(b);
        if (shortNameChecksum(name) == checksum) return static_cast<std::uint8_t>(b);
    }
    return 0;
}

// A short entry other than "." and "..": sane attributes, reserved bytes, dates, cluster, size.
bool plausibleShortEntry(const DirEntry& e, Slot raw, const FolderClusterLimits& limits) {
    if ((e.attributes & 0xC8) != 0) return false;  // reserved bits, or a volume label
    if ((raw[0x0C] & ~kCaseFlags) != 0 || raw[0x0D] >= 200) return false;
    if (limits.kind != FileSystemKind::Fat32 && e.clusterHigh != 0) return false;
    const std::uint8_t b0 = e.name[0];
    if (b0 != kDeletedMarker && b0 != kKanjiE5Marker && !validNameByte(b0)) return false;
    if (!validShortName(e.name)) return false;
    if (!validDateTime(e.writeDate, e.writeTime)) return false;
    if ((e.createDate != 0 || e.createTime != 0) && !validDateTime(e.createDate, e.createTime))
        return false;
    const std::uint16_t accessDate = *LeReader(raw).u16(0x12);
    if (accessDate != 0 && !validDate(accessDate)) return false;
    const std::uint32_t cluster = e.firstCluster(limits.kind);
    if (cluster == 1 || cluster > limits.maxCluster) return false;
    if (e.isFolder()) return e.size == 0 && cluster >= 2;
    return e.size <= limits.dataBytes && (e.size == 0 || cluster >= 2);
}

// "." (dots = 1) or ".." (dots = 2): a folder entry with no size and sane dates.
bool plausibleDotEntry(const DirEntry& e, Slot raw, const FolderClusterLimits& limits) {
    if ((e.attributes & 0xC8) != 0 || !e.isFolder() || e.size != 0) return false;
    if ((raw[0x0C] & ~kCaseFlags) != 0 || raw[0x0D] >= 200) return false;
    if (limits.kind != FileSystemKind::Fat32 && e.clusterHigh != 0) return false;
    if ((e.writeDate != 0 || e.writeTime != 0) && !validDateTime(e.writeDate, e.writeTime))
        return false;
    if ((e.createDate != 0 || e.createTime != 0) && !validDateTime(e.createDate, e.createTime))
        return false;
    const std::uint32_t cluster = e.firstCluster(limits.kind);
    return cluster != 1 && cluster <= limits.maxCluster;
}

}  // namespace

FolderClusterLimits folderClusterLimits(const FatVolume& fat) {
    FolderClusterLimits limits;
    limits.kind = fat.volume.kind;
    limits.maxCluster = fat.geometry.maxCluster();
    limits.dataBytes = std::uint64_t{fat.geometry.clusterCount()} * fat.geometry.clusterBytes();
    return limits;
}

std::optional<FolderCluster> readFolderCluster(std::span<const std::uint8_t> bytes,
                                               std::uint32_t cluster,
                                               const FolderClusterLimits& limits) {
    const std::size_t slots = bytes.size() / kDirEntrySize;
    if (slots < 2) return std::nullopt;
    FolderCluster out;
    PieceRun run;
    bool realEntry = false;
    std::size_t index = 0;
    for (; index < slots; ++index) {
        const Slot raw(bytes.data() + index * kDirEntrySize, kDirEntrySize);
        if (raw[0] == 0x00) break;  // the end marker
        if ((raw[0x0B] & 0x3F) == kAttrLongNamePiece) {
            const auto piece = readPiece(raw);
            if (!piece || (out.first && index == 1)) return std::nullopt;
            // Deleted pieces end where another name's pieces begin: a live piece, one with a
            // name's end or another checksum. Those before are left over from a name whose
            // slots were partly reused.
            if (!run.pieces.empty() && run.pieces.front().deleted &&
                (!piece->deleted || piece->ended || piece->checksum != run.pieces.front().checksum))
                run = PieceRun{};
            run.add(*piece, index == 0);
            continue;
        }
        const DirEntry e = *parseDirEntry(raw);
        if (index < 2 && isDotName(e.name, index + 1)) {
            if (!run.pieces.empty() || !plausibleDotEntry(e, raw, limits)) return std::nullopt;
            const std::uint32_t named = e.firstCluster(limits.kind);
            if (index == 0) {
                if (named != cluster) return std::nullopt;
                out.first = realEntry = true;
            } else {
                if (!out.first || named == cluster) return std::nullopt;
                out.parentCluster = named;
            }
            continue;
        }
        if (out.first && index == 1) return std::nullopt;  // "." without ".."
        if (!plausibleShortEntry(e, raw, limits)) return std::nullopt;
        FolderSlot slot;
        slot.entry = e;
        slot.index = index;
        slot.deleted = e.name[0] == kDeletedMarker;
        if (!run.pieces.empty()) {
            const bool deletedRun = run.pieces.front().deleted;
            const std::uint8_t checksum = run.pieces.front().checksum;
            if (!deletedRun) {
                // Live pieces belong to the live entry after them, or the slots are not a folder.
                if (slot.deleted || !run.complete() || shortNameChecksum(e.name) != checksum)
                    return std::nullopt;
                if (!run.continued)
                    slot.longName = run.name();
                else if (out.entries.empty())
                    out.head = NameHead{0, checksum, run.part()};
            } else if (slot.deleted && run.whole()) {
                // A deleted name's pieces: kept when some valid first byte gives their checksum.
                // Others are pieces left over from an entry whose slots were partly reused.
                const std::uint8_t b0 = firstByteFor(e.name, checksum);
                if (possibleFirstNameByte(b0)) {
                    // Full pieces without the name's end may be only its start.
                    const std::vector<std::uint16_t> units = run.units();
                    slot.longNameCut =
                        !run.pieces.front().ended && fullPiecesMayBeCut(units, e.name);
                    slot.longName = utf16ToUtf8(units);
                    if (slot.longNameCut) *slot.longName += kCutNameMark;
                    slot.firstByte = b0;
                }
            }
        } else if (index == 0 && !slot.deleted)
            out.head = NameHead{0, shortNameChecksum(e.name), std::nullopt};
        run = PieceRun{};
        realEntry = true;
        out.entries.push_back(std::move(slot));
    }
    if (out.first && index < 2) return std::nullopt;
    // Live pieces with no short entry after them, unless their name goes on in the folder's
    // next cluster.
    if (!run.pieces.empty() && !run.pieces.front().deleted && (index < slots || run.broken))
        return std::nullopt;
    if (!run.pieces.empty() && !run.pieces.front().deleted && !run.continued) out.tail = run.part();
    if (!realEntry) return std::nullopt;
    if (!allZero(bytes.subspan(index * kDirEntrySize))) return std::nullopt;
    return out;
}

}  // namespace rekkon
