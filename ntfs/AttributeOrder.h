#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rekkon {

struct AttributeDescriptor;
struct NtfsVolume;

// The order of a file's attribute table while its entries arrive. An arriving entry goes before
// the first entry held that compares greater: a greater type code, or the same type code and a
// name that is greater at the first unit (case folded) where the two names differ within their
// common length. Names that agree over their common length (one a prefix of the other, or one
// empty) compare equal, so that relation orders no set of names by itself and the places are
// found by that search, not by a sort.
// The entries sit in blocks that each know their greatest entry in plain lexical order (type code,
// then the folded name unit by unit, a prefix first): an entry compares greater than the arriving
// one exactly when it lies lexically beyond every name that starts with the arriving name, so a
// block whose greatest entry does not holds none that does. A placement looks at the blocks'
// greatest entries and inside one block only.
class AttributeOrder {
  public:
    // Entries per block before it is split in two.
    static constexpr std::size_t kBlockEntries = 256;

    // Places entry `index` of `table` (whose earlier entries are placed); true when it went last.
    bool place(std::span<const AttributeDescriptor> table, const NtfsVolume& volume,
               std::uint32_t index);
    // The placed entries in table order.
    std::vector<std::uint32_t> sequence() const;
    // Holds entries 0 .. count - 1 of `table` in that order (a table already sorted).
    void reset(std::span<const AttributeDescriptor> table, const NtfsVolume& volume,
               std::size_t count);
    // Holds nothing; the blocks' memory is kept for the next table (a walk opens one record
    // after another).
    void clear() { used_ = 0; }

  private:
    struct Block {
        std::vector<std::uint32_t> entries;
        std::uint32_t top = 0;  // the lexically greatest entry
    };
    // A block holding `index` alone, inserted at `at` among the blocks in use (a spare block's
    // memory reused).
    Block& insertBlock(std::size_t at, std::uint32_t index);

    std::vector<Block> blocks_;  // the first used_ are in use, the rest spare
    std::size_t used_ = 0;
};

}  // namespace rekkon
