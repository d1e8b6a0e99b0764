#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace rekkon {

// Where a piece of a found file's data lies on its volume.
struct StoredExtent {
    std::uint64_t volumeOffset = 0;  // the byte offset in the volume of the byte asked about
    std::uint64_t bytes = 0;         // how many bytes from there on lie in one piece (> 0)
};

// One found file's data (on NTFS one data stream of it), read back at any position whatever
// file system it came from. Closing is destruction.
class FileDataHandle {
  public:
    virtual ~FileDataHandle() = default;
    // The bytes the data holds as recorded: the entry's size on FAT, the attribute's data size
    // on NTFS.
    virtual std::uint64_t size() const = 0;
    // Fills `buffer` with the bytes at `position`; returns how many were delivered. Fewer than
    // asked means the data ends, a read failed there, or a hole starts there (holeBytesAt): a
    // call at the position after them tells which (0 at a position below size() is an
    // unreadable range).
    virtual std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) = 0;
    // How many bytes from `position` on are a hole: held nowhere on the volume, reading as
    // zeros (NTFS: sparse clusters, compression units without clusters, bytes past the
    // initialized size). 0 where the data is stored, or cannot be read; never past size().
    virtual std::uint64_t holeBytesAt(std::uint64_t /*position*/) const { return 0; }
    // Where the byte at `position` is stored on the volume, and how many bytes after it lie
    // there in one piece (never past size()); nullopt where that cannot be told: a hole, data
    // kept inside a record, compressed data, a position past the data.
    virtual std::optional<StoredExtent> storedAt(std::uint64_t /*position*/) {
        return std::nullopt;
    }
};

enum class DataOpenError {
    None,
    CannotLocate,   // FAT: first cluster 0 or past the volume; NTFS: the record cannot be loaded
    NoSuchStream,   // NTFS: the record has no data attribute of that name
    PastMft,        // NTFS: the $MFT holds no record of that number
    PastSourceEnd,  // NTFS: the record lies past the end of the source (a cut-short image)
};

}  // namespace rekkon
