#include "ntfs/AttributeIndex.h"

namespace rekkon {

const std::size_t* AttributeIndex::find(const AttributeKey& key) const {
    if (!tree_.empty()) {
        const auto held = tree_.find(key);
        return held != tree_.end() ? &held->second : nullptr;
    }
    for (std::size_t i = 0; i < listed_; ++i)
        if (list_[i].first == key) return &list_[i].second;
    return nullptr;
}

void AttributeIndex::add(AttributeKey key, std::size_t entry) {
    if (tree_.empty() && listed_ < kListed) {
        if (listed_ == list_.size()) list_.emplace_back();
        list_[listed_].first.typeCode = key.typeCode;
        // Assigned, not moved: the list's name keeps its memory for the next file.
        list_[listed_].first.foldedName.assign(key.foldedName.begin(), key.foldedName.end());
        list_[listed_].second = entry;
        ++listed_;
        return;
    }
    if (tree_.empty()) {
        for (std::size_t i = 0; i < listed_; ++i)
            tree_.emplace(list_[i].first, list_[i].second);
        listed_ = 0;
    }
    tree_.emplace(std::move(key), entry);
}

void AttributeIndex::renumber(const std::vector<std::size_t>& newEntry) {
    for (std::size_t i = 0; i < listed_; ++i)
        list_[i].second = newEntry[list_[i].second];
    for (auto& held : tree_)
        held.second = newEntry[held.second];
}

void AttributeIndex::clear() {
    listed_ = 0;
    tree_.clear();
}

}  // namespace rekkon
