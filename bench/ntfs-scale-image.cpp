// Writes a sparse NTFS image with millions of deleted file records, for the list's time and
// memory at scale (bench/scale-bench.sh).
//
//   ntfs-scale-image OUT.img [RECORDS]     (default 5,000,000 deleted records)
//
// 4096-byte clusters, 1024-byte records. The $MFT is one contiguous run that holds the system
// records 0-23, about 2,000 live folders (a tree under the root, each folder listing its
// subfolders in a resident $I30 index) spread among the deleted records, and RECORDS deleted
// files: not in use, each with a $STANDARD_INFORMATION, a Win32 $FILE_NAME in one of the
// folders and a $DATA, resident for small files, else runs into the data area. One record in a
// thousand carries a Zone.Identifier stream. The data area is never written: it stays a hole.
// The image is written in pieces of a few MiB; only the MFT, its bitmap and the system files
// take room on disk. The same RECORDS give the same image.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs/NtfsBuilder.h"

using namespace rekkon::test;

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kCluster = 4096;
constexpr std::uint64_t kRecord = 1024;
constexpr std::uint64_t kFirstUserRecord = 24;
constexpr std::uint64_t kRootRecord = 5;
constexpr std::uint16_t kRootSequence = 5;
constexpr std::uint64_t kDefaultRecords = 5'000'000;
constexpr std::uint64_t kFolders = 2000;
constexpr std::size_t kFanOut = 6;  // subfolders per folder: six entries fit a resident index
constexpr std::uint64_t kChunkRecords = 4096;  // 4 MiB of MFT written at a time

// Fixed cluster places of the system files.
constexpr std::uint64_t kBootClusters = 2;
constexpr std::uint64_t kMirrorCluster = 2;
constexpr std::uint64_t kAttrDefCluster = 3;
constexpr std::uint64_t kUpcaseCluster = 4;
constexpr std::uint64_t kUpcaseClusters = 32;  // 65,536 UTF-16 units
constexpr std::uint64_t kBitmapCluster = kUpcaseCluster + kUpcaseClusters;

// Types and flags.
constexpr std::uint32_t kStandardInformation = 0x10, kFileName = 0x30, kVolumeName = 0x60,
                        kVolumeInformation = 0x70, kData = 0x80, kIndexRoot = 0x90, kBitmap = 0xB0;
constexpr std::uint32_t kArchive = 0x20, kSystemHidden = 0x06, kFolderFlag = 0x10000000;
constexpr std::uint8_t kWin32 = 1, kWin32AndDos = 3;

// FILETIMEs: 2015-01-01 and the span up to mid-2026.
constexpr std::uint64_t kTime2015 = (1420070400ull + 11644473600ull) * 10'000'000ull;
constexpr std::uint64_t kTimeSpan = 362'000'000ull * 10'000'000ull;

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t below(std::uint64_t& state, std::uint64_t n) {
    return splitmix(state) % n;
}

std::u16string widen(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::uint64_t reference(std::uint64_t record, std::uint16_t sequence) {
    return record | std::uint64_t{sequence} << 48;
}

struct Times {
    std::uint64_t create, write, change, access;
};

Times randomTimes(std::uint64_t& rng) {
    Times t{};
    t.create = kTime2015 + below(rng, kTimeSpan);
    t.write = t.create + below(rng, kTimeSpan / 8);
    t.change = t.write + below(rng, 10'000'000ull * 3600);
    t.access = t.change + below(rng, 10'000'000ull * 86400 * 30);
    return t;
}

Bytes standardInformation(const Times& t, std::uint32_t flags, bool version3) {
    Bytes v(version3 ? 72 : 48, 0);
    put64(v, 0x00, t.create);
    put64(v, 0x08, t.write);
    put64(v, 0x10, t.change);
    put64(v, 0x18, t.access);
    put32(v, 0x20, flags);
    return v;
}

Bytes fileName(std::uint64_t parent, const Times& t, std::uint64_t allocated, std::uint64_t size,
               std::uint32_t flags, const std::u16string& name, std::uint8_t space = kWin32) {
    Bytes v(0x42 + 2 * name.size(), 0);
    put64(v, 0x00, parent);
    put64(v, 0x08, t.create);
    put64(v, 0x10, t.write);
    put64(v, 0x18, t.change);
    put64(v, 0x20, t.access);
    put64(v, 0x28, allocated);
    put64(v, 0x30, size);
    put32(v, 0x38, flags);
    v[0x40] = static_cast<std::uint8_t>(name.size());
    v[0x41] = space;
    for (std::size_t i = 0; i < name.size(); ++i)
        put16(v, 0x42 + 2 * i, name[i]);
    return v;
}

// A record's attributes, each given its own attribute id.
class Attributes {
  public:
    Attributes& add(Bytes attribute) {
        put16(attribute, 0x0E, next_++);
        list_.push_back(std::move(attribute));
        return *this;
    }
    Attributes& resident(std::uint32_t type, const Bytes& value, const std::u16string& name = u"") {
        return add(residentAttribute(type, name, value));
    }
    Attributes& runs(std::uint32_t type, const std::vector<Run>& runs, std::uint64_t size,
                     const std::u16string& name = u"") {
        std::uint64_t clusters = 0;
        for (const Run& r : runs)
            clusters += r.length;
        const NonResident sizes{0, clusters - 1, clusters * kCluster, size, size, 0};
        return add(nonResidentAttribute(type, name, sizes, mappingPairs(runs)));
    }
    // The record as on disk: sequence number, flags, next attribute id and own number set.
    Bytes record(std::uint64_t number, std::uint16_t sequence, std::uint16_t flags) const {
        Bytes r = fileRecord(list_, kRecord);
        put16(r, 0x10, sequence);
        put16(r, 0x16, flags);
        put16(r, 0x28, next_);
        put32(r, 0x2C, static_cast<std::uint32_t>(number));
        return r;
    }

  private:
    std::vector<Bytes> list_;
    std::uint16_t next_ = 0;
};

struct Folder {
    std::uint64_t record = 0;
    std::uint64_t parent = 0;  // index into the folders, or kNoParent for the root's children
    std::u16string name;
    Times times{};
    std::vector<std::size_t> children;
};
constexpr std::uint64_t kNoParent = ~std::uint64_t{0};

// The folder tree: six at the top, then each folder in turn given up to six subfolders until
// `count` exist; records spread evenly over the user part of the MFT.
std::vector<Folder> makeFolders(std::uint64_t count, std::uint64_t deleted) {
    static const char* const top[] = {"Users", "ProgramData", "Projects",
                                      "Mail",  "Archive",     "Temp"};
    static const char* const words[] = {"Inbox",   "cache", "build",  "Photos", "Docs", "src",
                                        "AppData", "Local", "backup", "logs",   "tmp",  "Music"};
    std::vector<Folder> folders;
    folders.reserve(count);
    std::uint64_t rng = 22;
    for (std::size_t i = 0; i < kFanOut && folders.size() < count; ++i)
        folders.push_back({0, kNoParent, widen(top[i]), randomTimes(rng), {}});
    for (std::size_t p = 0; folders.size() < count; ++p) {
        for (std::size_t i = 0; i < kFanOut && folders.size() < count; ++i) {
            const std::string name = std::string(words[below(rng, std::size(words))]) + "-" +
                                     std::to_string(i + 1 + kFanOut * (p % 7));
            folders[p].children.push_back(folders.size());
            folders.push_back({0, p, widen(name), randomTimes(rng), {}});
        }
    }
    for (std::uint64_t i = 0; i < folders.size(); ++i)
        folders[i].record = kFirstUserRecord + i * (folders.size() + deleted) / folders.size();
    return folders;
}

// A resident $I30 index root listing `children` by name.
Bytes indexRoot(const std::vector<Folder>& folders, std::vector<std::size_t> children) {
    // In the index's order: by name, letters compared in upper case (the names are ASCII).
    const auto upper = [](std::u16string s) {
        for (char16_t& c : s)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
        return s;
    };
    std::sort(children.begin(), children.end(), [&](std::size_t a, std::size_t b) {
        return upper(folders[a].name) < upper(folders[b].name);
    });
    Bytes entries;
    for (const std::size_t c : children) {
        const Folder& f = folders[c];
        const std::uint64_t parent = f.parent == kNoParent ? reference(kRootRecord, kRootSequence)
                                                           : reference(folders[f.parent].record, 1);
        const Bytes key = fileName(parent, f.times, 0, 0, kFolderFlag, f.name);
        Bytes e((0x10 + key.size() + 7) / 8 * 8, 0);
        put64(e, 0x00, reference(f.record, 1));
        put16(e, 0x08, static_cast<std::uint16_t>(e.size()));
        put16(e, 0x0A, static_cast<std::uint16_t>(key.size()));
        std::copy(key.begin(), key.end(), e.begin() + 0x10);
        entries.insert(entries.end(), e.begin(), e.end());
    }
    Bytes last(0x10, 0);
    put16(last, 0x08, 0x10);
    put32(last, 0x0C, 2);  // the last entry
    entries.insert(entries.end(), last.begin(), last.end());
    Bytes v(0x20, 0);
    put32(v, 0x00, kFileName);
    put32(v, 0x04, 1);  // collation by file name
    put32(v, 0x08, kCluster);
    v[0x0C] = 1;
    put32(v, 0x10, 0x10);
    put32(v, 0x14, static_cast<std::uint32_t>(0x10 + entries.size()));
    put32(v, 0x18, static_cast<std::uint32_t>(0x10 + entries.size()));
    v.insert(v.end(), entries.begin(), entries.end());
    return v;
}

Bytes folderRecord(const std::vector<Folder>& folders, std::size_t i) {
    const Folder& f = folders[i];
    const std::uint64_t parent = f.parent == kNoParent ? reference(kRootRecord, kRootSequence)
                                                       : reference(folders[f.parent].record, 1);
    Attributes a;
    a.resident(kStandardInformation, standardInformation(f.times, 0, false))
        .resident(kFileName, fileName(parent, f.times, 0, 0, kFolderFlag, f.name))
        .resident(kIndexRoot, indexRoot(folders, f.children), u"$I30");
    return a.record(f.record, 1, 0x03);
}

// A deleted file's name, 8 to 40 units, from the kinds of names a busy volume loses by the
// million.
std::u16string deletedName(std::uint64_t& rng, std::uint64_t n) {
    char buf[64];
    std::u16string name;
    switch (below(rng, 12)) {
        case 0:
        case 1:
            std::snprintf(buf, sizeof buf, "mail-%07llu.eml", static_cast<unsigned long long>(n));
            break;
        case 2:
        case 3: {
            // 2 to 31 hex digits.
            std::string hex = "cache_";
            for (std::uint64_t d = 2 + below(rng, 30); d > 0; --d)
                hex += "0123456789abcdef"[below(rng, 16)];
            std::snprintf(buf, sizeof buf, "%s", hex.c_str());
            break;
        }
        case 4:
            std::snprintf(buf, sizeof buf, "IMG_%04llu.JPG",
                          static_cast<unsigned long long>(below(rng, 10000)));
            break;
        case 5:
            std::snprintf(buf, sizeof buf, "~WRL%04llu.tmp",
                          static_cast<unsigned long long>(below(rng, 10000)));
            break;
        case 6:
            std::snprintf(buf, sizeof buf, "Quarterly report %llu (final) v%llu.docx",
                          static_cast<unsigned long long>(2015 + below(rng, 12)),
                          static_cast<unsigned long long>(below(rng, 9) + 1));
            break;
        case 7:
            std::snprintf(buf, sizeof buf, "f%07llu",
                          static_cast<unsigned long long>(n % 10'000'000));
            break;
        case 8:
            std::snprintf(buf, sizeof buf, "thumbcache_%llu.db",
                          static_cast<unsigned long long>(below(rng, 4096)));
            break;
        case 9:
            name = u"R\u00e9sum\u00e9 ";
            std::snprintf(buf, sizeof buf, "%llu.pdf", static_cast<unsigned long long>(n));
            break;
        case 10:
            name = u"\u041e\u0442\u0447\u0451\u0442_";
            std::snprintf(buf, sizeof buf, "%llu.xlsx",
                          static_cast<unsigned long long>(below(rng, 100000)));
            break;
        default:
            name = u"\u5199\u771f_";
            std::snprintf(buf, sizeof buf, "%llu.jpg", static_cast<unsigned long long>(n));
            break;
    }
    name += widen(buf);
    if (name.size() > 40) name.resize(40);
    return name;
}

struct Layout {
    std::uint64_t deleted = 0;
    std::uint64_t records = 0;  // in the $MFT
    std::uint64_t mftCluster = 0, mftClusters = 0;
    std::uint64_t mftBitmapCluster = 0, mftBitmapBytes = 0;
    std::uint64_t bitmapBytes = 0;
    std::uint64_t dataCluster = 0, dataClusters = 0;
    std::uint64_t usedDataClusters = 0;  // the start of the data area, in use by live files
    std::uint64_t clusters = 0;          // the whole volume
};

std::uint64_t clustersFor(std::uint64_t bytes) {
    return (bytes + kCluster - 1) / kCluster;
}

Layout makeLayout(std::uint64_t deleted, std::uint64_t folders) {
    Layout l;
    l.deleted = deleted;
    l.records = kFirstUserRecord + folders + deleted;
    l.mftBitmapBytes = (l.records + 63) / 64 * 8;
    l.dataClusters = std::max<std::uint64_t>(deleted, 65536);
    l.usedDataClusters = l.dataClusters / 4;
    l.mftClusters = clustersFor(l.records * kRecord);
    // The volume bitmap's size depends on the volume's: take it for a volume a little larger.
    const std::uint64_t estimate =
        kBitmapCluster + 1 + clustersFor(l.mftBitmapBytes) + l.mftClusters + l.dataClusters;
    const std::uint64_t bitmapClusters = clustersFor((estimate + 8 * kCluster) / 8);
    l.mftBitmapCluster = kBitmapCluster + bitmapClusters;
    l.mftCluster = l.mftBitmapCluster + clustersFor(l.mftBitmapBytes);
    l.dataCluster = l.mftCluster + l.mftClusters;
    l.clusters = l.dataCluster + l.dataClusters;
    l.bitmapBytes = (l.clusters + 63) / 64 * 8;
    if (clustersFor(l.bitmapBytes) > bitmapClusters) std::abort();  // the estimate was short
    return l;
}

Bytes bootSector(const Layout& l) {
    Bytes b(kSector, 0);
    std::copy_n("\xEB\x52\x90NTFS    ", 11, b.begin());
    put16(b, 0x0B, kSector);
    b[0x0D] = kCluster / kSector;
    b[0x15] = 0xF8;
    put16(b, 0x18, 63);
    put16(b, 0x1A, 255);
    put32(b, 0x24, 0x00800080);
    put64(b, 0x28, l.clusters * (kCluster / kSector) - 1);  // the last sector holds the copy
    put64(b, 0x30, l.mftCluster);
    put64(b, 0x38, kMirrorCluster);
    b[0x40] = 0xF6;  // 2^10-byte records
    b[0x44] = 1;     // one cluster per index block
    put64(b, 0x48, 0x5CA1E0005CA1E000ull);
    b[0x1FE] = 0x55;
    b[0x1FF] = 0xAA;
    return b;
}

Times systemTimes() {
    return {kTime2015, kTime2015, kTime2015, kTime2015};
}

Attributes systemFile(const char* name, std::uint32_t nameFlags = kSystemHidden) {
    Attributes a;
    a.resident(kStandardInformation, standardInformation(systemTimes(), kSystemHidden, false))
        .resident(kFileName, fileName(reference(kRootRecord, kRootSequence), systemTimes(), 0, 0,
                                      nameFlags, widen(name), kWin32AndDos));
    return a;
}

Bytes attributeDefinitions() {
    static const std::pair<const char*, std::uint32_t> defs[] = {{"$STANDARD_INFORMATION", 0x10},
                                                                 {"$ATTRIBUTE_LIST", 0x20},
                                                                 {"$FILE_NAME", 0x30},
                                                                 {"$OBJECT_ID", 0x40},
                                                                 {"$SECURITY_DESCRIPTOR", 0x50},
                                                                 {"$VOLUME_NAME", 0x60},
                                                                 {"$VOLUME_INFORMATION", 0x70},
                                                                 {"$DATA", 0x80},
                                                                 {"$INDEX_ROOT", 0x90},
                                                                 {"$INDEX_ALLOCATION", 0xA0},
                                                                 {"$BITMAP", 0xB0},
                                                                 {"$REPARSE_POINT", 0xC0},
                                                                 {"$EA_INFORMATION", 0xD0},
                                                                 {"$EA", 0xE0},
                                                                 {"$LOGGED_UTILITY_STREAM", 0x100}};
    Bytes table(std::size(defs) * 160, 0);
    for (std::size_t i = 0; i < std::size(defs); ++i) {
        const std::string_view name = defs[i].first;
        for (std::size_t k = 0; k < name.size(); ++k)
            put16(table, i * 160 + 2 * k, static_cast<std::uint8_t>(name[k]));
        put32(table, i * 160 + 0x80, defs[i].second);
        put64(table, i * 160 + 0x90, 0);
        put64(table, i * 160 + 0x98, ~std::uint64_t{0});
    }
    return table;
}

// System records 0-23 as on disk.
std::vector<Bytes> systemRecords(const Layout& l, const std::vector<Folder>& folders) {
    std::vector<Bytes> r(kFirstUserRecord);
    const auto inUse = [](const Attributes& a, std::uint64_t n, std::uint16_t flags = 0x01) {
        return a.record(n, static_cast<std::uint16_t>(std::max<std::uint64_t>(n, 1)), flags);
    };
    r[0] = inUse(
        systemFile("$MFT")
            .runs(kData, {{static_cast<std::int64_t>(l.mftCluster), l.mftClusters}},
                  l.records * kRecord)
            .runs(kBitmap,
                  {{static_cast<std::int64_t>(l.mftBitmapCluster), clustersFor(l.mftBitmapBytes)}},
                  l.mftBitmapBytes),
        0);
    r[1] = inUse(systemFile("$MFTMirr").runs(kData, {{kMirrorCluster, 1}}, 4 * kRecord), 1);
    r[2] = inUse(systemFile("$LogFile").resident(kData, {}), 2);
    Bytes info(12, 0);
    info[8] = 3;
    info[9] = 1;
    Bytes label;
    for (const char c : std::string_view("SCALE"))
        label.insert(label.end(), {static_cast<std::uint8_t>(c), 0});
    r[3] = inUse(systemFile("$Volume")
                     .resident(kVolumeName, label)
                     .resident(kVolumeInformation, info)
                     .resident(kData, {}),
                 3);
    r[4] = inUse(
        systemFile("$AttrDef").runs(kData, {{kAttrDefCluster, 1}}, attributeDefinitions().size()),
        4);
    std::vector<std::size_t> top;
    for (std::size_t i = 0; i < folders.size(); ++i)
        if (folders[i].parent == kNoParent) top.push_back(i);
    r[5] = inUse(systemFile(".", kSystemHidden | kFolderFlag)
                     .resident(kIndexRoot, indexRoot(folders, top), u"$I30"),
                 5, 0x03);
    r[6] = inUse(systemFile("$Bitmap").runs(kData, {{kBitmapCluster, clustersFor(l.bitmapBytes)}},
                                            l.bitmapBytes),
                 6);
    r[7] =
        inUse(systemFile("$Boot").runs(kData, {{0, kBootClusters}}, kBootClusters * kCluster), 7);
    r[8] = inUse(systemFile("$BadClus")
                     .resident(kData, {})
                     .runs(kData, {{-1, l.clusters}}, l.clusters * kCluster, u"$Bad"),
                 8);
    r[9] = inUse(systemFile("$Secure").resident(kData, {}, u"$SDS"), 9);
    r[10] = inUse(systemFile("$UpCase").runs(kData, {{kUpcaseCluster, kUpcaseClusters}},
                                             kUpcaseClusters * kCluster),
                  10);
    r[11] = inUse(systemFile("$Extend", kSystemHidden | kFolderFlag)
                      .resident(kIndexRoot, indexRoot(folders, {}), u"$I30"),
                  11, 0x03);
    for (std::uint64_t n = 12; n < kFirstUserRecord; ++n) {
        Attributes a;
        a.resident(kStandardInformation, standardInformation(systemTimes(), kSystemHidden, false));
        r[n] = inUse(a, n);
    }
    return r;
}

Bytes upcaseTable() {
    Bytes t(kUpcaseClusters * kCluster);
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
        std::uint32_t up = u;
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) up = u - 0x20;
        if (u >= 0x430 && u <= 0x44F) up = u - 0x20;  // Cyrillic а..я
        if (u >= 0x450 && u <= 0x45F) up = u - 0x50;  // ѐ..џ
        put16(t, 2 * u, static_cast<std::uint16_t>(up));
    }
    return t;
}

// Bits set for [first, first + count).
void setBits(Bytes& bitmap, std::uint64_t first, std::uint64_t count) {
    for (std::uint64_t k = first; k < first + count; ++k)
        bitmap[k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
}

class Writer {
  public:
    explicit Writer(const char* path) : path_(path) {
        fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd_ < 0) fail("cannot create");
    }
    ~Writer() {
        if (fd_ >= 0) ::close(fd_);
    }
    void size(std::uint64_t bytes) {
        if (::ftruncate(fd_, static_cast<off_t>(bytes)) != 0) fail("cannot size");
    }
    void at(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
        while (count > 0) {
            const ssize_t n = ::pwrite(fd_, data, count, static_cast<off_t>(offset));
            if (n <= 0) fail("cannot write");
            data += n;
            offset += static_cast<std::uint64_t>(n);
            count -= static_cast<std::size_t>(n);
        }
    }
    void at(std::uint64_t offset, const Bytes& bytes) { at(offset, bytes.data(), bytes.size()); }
    void close() {
        if (::close(fd_) != 0) fail("cannot close");
        fd_ = -1;
    }

  private:
    [[noreturn]] void fail(const char* what) const {
        std::fprintf(stderr, "ntfs-scale-image: %s %s: %s\n", what, path_, std::strerror(errno));
        std::exit(1);
    }
    const char* path_;
    int fd_ = -1;
};

// Deleted record `n` (the n-th deleted file) at record `number`.
Bytes deletedRecord(const Layout& l, const std::vector<Folder>& folders, std::uint64_t number,
                    std::uint64_t n) {
    std::uint64_t rng = number * 0x2545F4914F6CDD1Dull;
    const Times t = randomTimes(rng);
    const Folder& parent = folders[below(rng, folders.size())];
    const std::u16string name = deletedName(rng, n);
    Attributes a;
    a.resident(kStandardInformation, standardInformation(t, kArchive, true));
    std::uint64_t size = 0;
    std::uint64_t allocated = 0;
    if (below(rng, 4) == 0) {
        // A small file, held in the record.
        size = 1 + below(rng, 500);
        Bytes content(size);
        for (std::size_t i = 0; i < size; ++i)
            content[i] = static_cast<std::uint8_t>("Subject: deleted\r\n"[(i + n) % 18]);
        a.resident(kFileName, fileName(reference(parent.record, 1), t, 0, size, kArchive, name))
            .resident(kData, content);
    } else {
        // 700 bytes to 8 MiB, evenly on a log scale, in one run or a few.
        size = static_cast<std::uint64_t>(
            std::exp(std::log(700.0) + (std::log(8.0 * 1024 * 1024) - std::log(700.0)) *
                                           static_cast<double>(below(rng, 1 << 20)) / (1 << 20)));
        const std::uint64_t clusters = clustersFor(size);
        allocated = clusters * kCluster;
        const std::uint64_t pieces = below(rng, 5) == 0 ? std::min<std::uint64_t>(clusters, 3) : 1;
        std::vector<Run> runs;
        std::uint64_t left = clusters;
        for (std::uint64_t p = 0; p < pieces; ++p) {
            const std::uint64_t length = p + 1 == pieces ? left : left / (pieces - p);
            left -= length;
            runs.push_back(
                {static_cast<std::int64_t>(l.dataCluster + below(rng, l.dataClusters - length)),
                 length});
        }
        a.resident(kFileName,
                   fileName(reference(parent.record, 1), t, allocated, size, kArchive, name))
            .runs(kData, runs, size);
    }
    if (n % 1000 == 999) {
        static const std::string_view zone = "[ZoneTransfer]\r\nZoneId=3\r\n";
        a.resident(kData, Bytes(zone.begin(), zone.end()), u"Zone.Identifier");
    }
    return a.record(number, 2, 0x00);  // freed: not in use, sequence counted up
}

int usage() {
    std::fprintf(stderr,
                 "usage: ntfs-scale-image OUT.img [RECORDS]\n"
                 "Writes a sparse NTFS image with RECORDS deleted file records (default %llu).\n",
                 static_cast<unsigned long long>(kDefaultRecords));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) return usage();
    std::uint64_t deleted = kDefaultRecords;
    if (argc == 3) {
        const std::string_view s = argv[2];
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), deleted);
        if (ec != std::errc{} || end != s.data() + s.size() || deleted == 0 ||
            deleted > 100'000'000)
            return usage();
    }
    const auto began = std::chrono::steady_clock::now();
    const std::vector<Folder> folders = makeFolders(kFolders, deleted);
    const Layout l = makeLayout(deleted, folders.size());

    Writer out(argv[1]);
    out.size(l.clusters * kCluster);
    const Bytes boot = bootSector(l);
    out.at(0, boot);
    out.at(l.clusters * kCluster - kSector, boot);

    const std::vector<Bytes> system = systemRecords(l, folders);
    for (std::uint64_t n = 0; n < 4; ++n)
        out.at(kMirrorCluster * kCluster + n * kRecord, system[n]);
    out.at(kAttrDefCluster * kCluster, attributeDefinitions());
    out.at(kUpcaseCluster * kCluster, upcaseTable());

    Bytes bitmap(l.bitmapBytes, 0);
    setBits(bitmap, 0, l.dataCluster + l.usedDataClusters);
    out.at(kBitmapCluster * kCluster, bitmap);
    Bytes mftBitmap(l.mftBitmapBytes, 0);
    setBits(mftBitmap, 0, kFirstUserRecord);
    for (const Folder& f : folders)
        setBits(mftBitmap, f.record, 1);
    out.at(l.mftBitmapCluster * kCluster, mftBitmap);

    // The MFT, a chunk of records at a time.
    Bytes chunk;
    chunk.reserve(kChunkRecords * kRecord);
    std::size_t nextFolder = 0;
    std::uint64_t nextDeleted = 0;
    const std::uint64_t mftOffset = l.mftCluster * kCluster;
    for (std::uint64_t first = 0; first < l.records; first += kChunkRecords) {
        chunk.clear();
        const std::uint64_t last = std::min(l.records, first + kChunkRecords);
        for (std::uint64_t number = first; number < last; ++number) {
            Bytes record;
            if (number < kFirstUserRecord)
                record = system[number];
            else if (nextFolder < folders.size() && folders[nextFolder].record == number)
                record = folderRecord(folders, nextFolder++);
            else
                record = deletedRecord(l, folders, number, nextDeleted++);
            chunk.insert(chunk.end(), record.begin(), record.end());
        }
        out.at(mftOffset + first * kRecord, chunk);
    }
    out.close();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    // One "name value" a line, for the bench script to keep beside the image.
    const auto line = [](const char* name, std::uint64_t value) {
        std::printf("%s %llu\n", name, static_cast<unsigned long long>(value));
    };
    line("deleted-records", nextDeleted);
    line("folders", folders.size());
    line("mft-records", l.records);
    line("cluster-bytes", kCluster);
    line("clusters", l.clusters);
    line("mft-offset", l.mftCluster * kCluster);
    line("mft-bytes", l.records * kRecord);
    std::printf("seconds %.1f\n", seconds);
    return 0;
}
