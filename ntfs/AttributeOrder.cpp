#include "ntfs/AttributeOrder.h"

#include <algorithm>

#include "ntfs/MftFile.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

namespace {

// The table's comparison: type codes, then the names over their common length: -1, 0 or 1.
int compareCommon(const NtfsVolume& volume, const AttributeDescriptor& a,
                  const AttributeDescriptor& b) {
    if (a.typeCode != b.typeCode) return a.typeCode < b.typeCode ? -1 : 1;
    const std::size_t common = std::min(a.attributeName.size(), b.attributeName.size());
    return compareWideNames(volume, a.attributeName, b.attributeName, common);
}

// Plain lexical order: as compareCommon, and of two names that agree over their common length
// the shorter first.
bool lexicallyBelow(const NtfsVolume& volume, const AttributeDescriptor& a,
                    const AttributeDescriptor& b) {
    const int common = compareCommon(volume, a, b);
    if (common != 0) return common < 0;
    return a.attributeName.size() < b.attributeName.size();
}

}  // namespace

bool AttributeOrder::place(std::span<const AttributeDescriptor> table, const NtfsVolume& volume,
                           std::uint32_t index) {
    const AttributeDescriptor& arriving = table[index];
    auto greater = [&](std::uint32_t held) {
        return compareCommon(volume, table[held], arriving) > 0;
    };
    for (std::size_t b = 0; b < used_; ++b) {
        Block& block = blocks_[b];
        if (!greater(block.top)) continue;
        const auto at = std::find_if(block.entries.begin(), block.entries.end(), greater);
        block.entries.insert(at, index);
        if (lexicallyBelow(volume, table[block.top], arriving)) block.top = index;
        if (block.entries.size() < 2 * kBlockEntries) return false;
        // Split the full block in two, each with its greatest entry.
        Block& upper = insertBlock(b + 1, 0);
        Block& lower = blocks_[b];  // insertBlock may have moved the blocks
        upper.entries.assign(lower.entries.begin() + kBlockEntries, lower.entries.end());
        lower.entries.resize(kBlockEntries);
        for (Block* part : {&lower, &upper}) {
            part->top = part->entries.front();
            for (const std::uint32_t e : part->entries)
                if (lexicallyBelow(volume, table[part->top], table[e])) part->top = e;
        }
        return false;
    }
    // No entry compares greater: the arriving one goes last.
    if (used_ == 0 || blocks_[used_ - 1].entries.size() >= kBlockEntries) {
        insertBlock(used_, index);
        return true;
    }
    Block& last = blocks_[used_ - 1];
    last.entries.push_back(index);
    if (lexicallyBelow(volume, table[last.top], arriving)) last.top = index;
    return true;
}

AttributeOrder::Block& AttributeOrder::insertBlock(std::size_t at, std::uint32_t index) {
    if (used_ == blocks_.size()) blocks_.emplace_back();
    // The first spare block moves to `at`.
    const auto first = blocks_.begin() + static_cast<std::ptrdiff_t>(at);
    const auto spare = blocks_.begin() + static_cast<std::ptrdiff_t>(used_);
    std::rotate(first, spare, spare + 1);
    ++used_;
    Block& block = blocks_[at];
    block.entries.assign(1, index);
    block.top = index;
    return block;
}

std::vector<std::uint32_t> AttributeOrder::sequence() const {
    std::vector<std::uint32_t> out;
    for (std::size_t b = 0; b < used_; ++b)
        out.insert(out.end(), blocks_[b].entries.begin(), blocks_[b].entries.end());
    return out;
}

void AttributeOrder::reset(std::span<const AttributeDescriptor> table, const NtfsVolume& volume,
                           std::size_t count) {
    used_ = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        if (used_ == 0 || blocks_[used_ - 1].entries.size() >= kBlockEntries) {
            insertBlock(used_, index);
            continue;
        }
        Block& last = blocks_[used_ - 1];
        last.entries.push_back(index);
        if (lexicallyBelow(volume, table[last.top], table[i])) last.top = index;
    }
}

}  // namespace rekkon
