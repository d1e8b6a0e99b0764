#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace rekkon {

// An attribute's identity in a file's table: its type code and its name case folded.
struct AttributeKey {
    std::uint32_t typeCode = 0;
    std::vector<std::uint16_t> foldedName;
    auto operator<=>(const AttributeKey&) const = default;
    bool operator==(const AttributeKey&) const = default;
};

// The table entry of each attribute of a file by its key. A record holds a handful: they are
// kept in a short list, searched in turn; past kListed entries (a file whose attribute list
// names many) they move to a tree. Emptied, it keeps its memory for the next file a walk opens.
class AttributeIndex {
  public:
    static constexpr std::size_t kListed = 16;

    // The entry `key` has, or null.
    const std::size_t* find(const AttributeKey& key) const;
    // Adds `key` (not held yet) with its entry.
    void add(AttributeKey key, std::size_t entry);
    // Gives each entry e the number newEntry[e].
    void renumber(const std::vector<std::size_t>& newEntry);
    bool empty() const { return listed_ == 0 && tree_.empty(); }
    void clear();

  private:
    std::vector<std::pair<AttributeKey, std::size_t>> list_;  // the first listed_ in use
    std::size_t listed_ = 0;
    std::map<AttributeKey, std::size_t> tree_;  // every key once there are more than kListed
};

}  // namespace rekkon
