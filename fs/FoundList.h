#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rekkon {

struct DeletedFileEntry;

// Texts kept once each in blocks that never move, so a view of one stays valid while the arena
// lives. A text is named by a 64-bit reference: its block in the upper half, its offset in the
// lower, where a 32-bit length precedes its bytes.
class TextArena {
  public:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    std::uint64_t add(std::string_view text);
    // kNone gives an empty text.
    std::string_view text(std::uint64_t ref) const;
    void clear();
    // Bytes the blocks hold (their capacity).
    std::size_t memoryBytes() const;

  private:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    std::vector<std::vector<char>> blocks_;
    std::size_t current_ = 0;  // the block texts are appended to (blocks_.size(): none yet)
};

// The entries a scan found, packed: about 100 bytes an entry plus its name, with every folder
// path kept once and what few entries have (streams, lost first characters, what a search by
// content found) kept aside. Entries go in whole and come out whole, by value; the accessors
// below give single fields without building an entry, for sorting and filtering millions.
// Memory grows in fixed blocks, never by copying what is held.
class FoundList {
  public:
    class const_iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = DeletedFileEntry;
        using difference_type = std::ptrdiff_t;
        using reference = const DeletedFileEntry;
        using pointer = void;

        const_iterator() = default;
        const_iterator(const FoundList* list, std::size_t index) : list_(list), index_(index) {}
        const DeletedFileEntry operator*() const;
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

      private:
        const FoundList* list_ = nullptr;
        std::size_t index_ = 0;
    };
    using iterator = const_iterator;
    using value_type = DeletedFileEntry;
    using size_type = std::size_t;

    FoundList() = default;
    FoundList(std::initializer_list<DeletedFileEntry> entries);
    FoundList(const std::vector<DeletedFileEntry>& entries)  // NOLINT: a list is its entries
        : FoundList(entries.begin(), entries.end()) {}
    template <typename Iterator>
    FoundList(Iterator first, Iterator last) {
        for (; first != last; ++first)
            push_back(*first);
    }
    FoundList(const FoundList& other);
    FoundList& operator=(const FoundList& other);
    FoundList(FoundList&&) noexcept = default;
    FoundList& operator=(FoundList&&) noexcept = default;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    void clear();
    // Makes room for `entries` more in the index of blocks (the blocks come as they fill).
    void reserve(std::size_t entries);
    void push_back(const DeletedFileEntry& entry);
    // The entry at `index`, built from what is held (const: changing it changes nothing here).
    const DeletedFileEntry operator[](std::size_t index) const;
    const DeletedFileEntry at(std::size_t index) const;
    const DeletedFileEntry front() const;
    const DeletedFileEntry back() const;
    // Puts `entry` in place of the one at `index` (its texts are kept anew).
    void replace(std::size_t index, const DeletedFileEntry& entry);
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, count_}; }

    // Single fields of the entry at `index`.
    std::string_view name(std::size_t index) const;
    std::string_view folder(std::size_t index) const;
    std::optional<std::string_view> longName(std::size_t index) const;
    std::string_view origin(std::size_t index) const;
    std::string_view stream(std::size_t index) const;
    std::string_view contentType(std::size_t index) const;
    std::uint64_t location(std::size_t index) const;
    std::uint64_t fileSize(std::size_t index) const;
    std::uint64_t createTime(std::size_t index) const;
    std::uint64_t accessTime(std::size_t index) const;
    std::uint8_t status(std::size_t index) const;
    // Each folder path is kept once: the number of the one the entry at `index` was found in,
    // how many there are, and the path of number `folder`.
    std::uint32_t folderId(std::size_t index) const { return packed(index).folder; }
    std::size_t folderCount() const { return folders_.size(); }
    std::string_view folderText(std::uint32_t folder) const {
        return texts_.text(folders_[folder]);
    }

    // Bytes held for the entries and their texts.
    std::size_t memoryBytes() const;

  private:
    struct Packed {
        std::uint64_t location = 0;
        std::uint64_t slot = 0;
        std::uint64_t size = 0;
        std::uint64_t createTime = 0;
        std::uint64_t accessTime = 0;
        std::uint64_t writeTime = 0;
        std::uint64_t lastAccessTime = 0;
        std::uint64_t birthTime = 0;
        std::uint64_t changeTime = 0;
        std::uint64_t name = TextArena::kNone;
        std::uint64_t longName = TextArena::kNone;  // kNone: no long name
        std::uint32_t folder = 0;                   // index into folders_
        std::uint32_t attributes = 0;
        std::uint32_t extra = 0;   // 1 + index into extras_; 0: none
        std::uint16_t origin = 0;  // index into views_
        std::uint8_t status = 0;
        std::uint8_t flags = 0;
    };
    // What few entries carry.
    struct Extra {
        std::uint64_t stream = TextArena::kNone;
        std::uint64_t firstChar = TextArena::kNone;  // kNone: none
        std::uint64_t contentCheck = TextArena::kNone;
        std::uint64_t firstFragmentBytes = 0;
        std::uint64_t fragmentGapBytes = 0;
        std::uint16_t contentType = 0;  // index into views_
    };
    static constexpr std::size_t kChunkEntries = std::size_t{1} << 16;

    Packed pack(const DeletedFileEntry& entry);
    const Packed& packed(std::size_t index) const {
        return chunks_[index / kChunkEntries][index % kChunkEntries];
    }
    std::uint16_t viewIndex(std::string_view view);
    std::uint32_t folderIndex(std::string_view folder);
    const Extra* extraOf(const Packed& p) const {
        return p.extra ? &extras_[p.extra - 1] : nullptr;
    }

    std::vector<std::vector<Packed>> chunks_;
    std::size_t count_ = 0;
    TextArena texts_;
    // The fixed texts entries name (origins, content types), which have static storage.
    std::vector<std::string_view> views_;
    std::vector<std::uint64_t> folders_;  // folder index -> text
    std::unordered_map<std::string_view, std::uint32_t> folderIndex_;
    std::vector<Extra> extras_;
};

}  // namespace rekkon
