#include "fs/FoundList.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "fs/FoundEntry.h"

namespace rekkon {

namespace {

constexpr std::uint8_t kTimesUtc = 1;
constexpr std::uint8_t kLongNameCut = 2;
constexpr std::uint8_t kLowerCaseBase = 4;

}  // namespace

std::uint64_t TextArena::add(std::string_view text) {
    if (text.size() > UINT32_MAX) throw std::length_error("text too long to keep");
    const std::size_t need = sizeof(std::uint32_t) + text.size();
    // A block is never appended to past its capacity, so what it holds never moves. A text
    // larger than a block gets one of its own, and the current block stays current.
    std::size_t at = current_;
    if (need > kBlockBytes) {
        blocks_.emplace_back().reserve(need);
        at = blocks_.size() - 1;
    } else if (current_ >= blocks_.size() ||
               blocks_[current_].size() + need > blocks_[current_].capacity()) {
        blocks_.emplace_back().reserve(kBlockBytes);
        at = current_ = blocks_.size() - 1;
    }
    std::vector<char>& block = blocks_[at];
    const std::uint64_t ref = (static_cast<std::uint64_t>(at) << 32) | block.size();
    const auto length = static_cast<std::uint32_t>(text.size());
    char bytes[sizeof length];
    std::memcpy(bytes, &length, sizeof length);
    block.insert(block.end(), bytes, bytes + sizeof length);
    block.insert(block.end(), text.begin(), text.end());
    return ref;
}

std::string_view TextArena::text(std::uint64_t ref) const {
    if (ref == kNone) return {};
    const char* at = blocks_[ref >> 32].data() + (ref & 0xFFFFFFFFu);
    std::uint32_t length = 0;
    std::memcpy(&length, at, sizeof length);
    return {at + sizeof length, length};
}

void TextArena::clear() {
    blocks_.clear();
    current_ = 0;
}

std::size_t TextArena::memoryBytes() const {
    std::size_t bytes = 0;
    for (const auto& block : blocks_)
        bytes += block.capacity();
    return bytes;
}

FoundList::FoundList(std::initializer_list<DeletedFileEntry> entries) {
    for (const DeletedFileEntry& e : entries)
        push_back(e);
}

FoundList::FoundList(const FoundList& other)
    : chunks_(other.chunks_),
      count_(other.count_),
      texts_(other.texts_),
      views_(other.views_),
      folders_(other.folders_),
      extras_(other.extras_) {
    // The index's keys are views of this list's own texts, not of the other's.
    for (std::uint32_t i = 0; i < folders_.size(); ++i)
        folderIndex_.emplace(texts_.text(folders_[i]), i);
}

FoundList& FoundList::operator=(const FoundList& other) {
    if (this != &other) *this = FoundList(other);
    return *this;
}

void FoundList::clear() {
    chunks_.clear();
    count_ = 0;
    texts_.clear();
    views_.clear();
    folders_.clear();
    folderIndex_.clear();
    extras_.clear();
}

void FoundList::reserve(std::size_t entries) {
    chunks_.reserve((count_ + entries + kChunkEntries - 1) / kChunkEntries);
}

std::uint16_t FoundList::viewIndex(std::string_view view) {
    for (std::size_t i = 0; i < views_.size(); ++i)
        if (views_[i].data() == view.data() && views_[i].size() == view.size())
            return static_cast<std::uint16_t>(i);
    for (std::size_t i = 0; i < views_.size(); ++i)
        if (views_[i] == view) return static_cast<std::uint16_t>(i);
    if (views_.size() > UINT16_MAX) throw std::length_error("too many distinct origins");
    views_.push_back(view);
    return static_cast<std::uint16_t>(views_.size() - 1);
}

std::uint32_t FoundList::folderIndex(std::string_view folder) {
    if (const auto it = folderIndex_.find(folder); it != folderIndex_.end()) return it->second;
    const auto index = static_cast<std::uint32_t>(folders_.size());
    folders_.push_back(texts_.add(folder));
    folderIndex_.emplace(texts_.text(folders_.back()), index);
    return index;
}

FoundList::Packed FoundList::pack(const DeletedFileEntry& e) {
    Packed p;
    p.location = e.location;
    p.slot = e.slot;
    p.size = e.size;
    p.createTime = e.createTime;
    p.accessTime = e.accessTime;
    p.writeTime = e.writeTime;
    p.lastAccessTime = e.lastAccessTime;
    p.birthTime = e.birthTime;
    p.changeTime = e.changeTime;
    p.name = texts_.add(e.name);
    if (e.longName) p.longName = texts_.add(*e.longName);
    p.folder = folderIndex(e.folder);
    p.attributes = e.attributes;
    p.origin = viewIndex(e.origin);
    p.status = e.status;
    p.flags = static_cast<std::uint8_t>((e.timesUtc ? kTimesUtc : 0) |
                                        (e.longNameCut ? kLongNameCut : 0) |
                                        (e.lowerCaseBase ? kLowerCaseBase : 0));
    if (!e.stream.empty() || e.firstChar || !e.contentType.empty() || !e.contentCheck.empty() ||
        e.firstFragmentBytes != 0 || e.fragmentGapBytes != 0) {
        Extra x;
        if (!e.stream.empty()) x.stream = texts_.add(e.stream);
        if (e.firstChar) x.firstChar = texts_.add(*e.firstChar);
        if (!e.contentCheck.empty()) x.contentCheck = texts_.add(e.contentCheck);
        x.contentType = viewIndex(e.contentType);
        x.firstFragmentBytes = e.firstFragmentBytes;
        x.fragmentGapBytes = e.fragmentGapBytes;
        if (extras_.size() >= UINT32_MAX) throw std::length_error("too many entries");
        extras_.push_back(x);
        p.extra = static_cast<std::uint32_t>(extras_.size());
    }
    return p;
}

void FoundList::push_back(const DeletedFileEntry& entry) {
    if (count_ % kChunkEntries == 0) {
        std::vector<Packed> chunk;
        chunk.reserve(kChunkEntries);
        chunks_.push_back(std::move(chunk));
    }
    chunks_.back().push_back(pack(entry));
    ++count_;
}

void FoundList::replace(std::size_t index, const DeletedFileEntry& entry) {
    if (index >= count_) throw std::out_of_range("no such entry");
    chunks_[index / kChunkEntries][index % kChunkEntries] = pack(entry);
}

const DeletedFileEntry FoundList::operator[](std::size_t index) const {
    if (index >= count_) throw std::out_of_range("no such entry");
    const Packed& p = packed(index);
    DeletedFileEntry e;
    e.origin = views_[p.origin];
    e.location = p.location;
    e.slot = p.slot;
    e.timesUtc = (p.flags & kTimesUtc) != 0;
    e.attributes = p.attributes;
    e.size = p.size;
    e.createTime = p.createTime;
    e.accessTime = p.accessTime;
    e.name = texts_.text(p.name);
    e.status = p.status;
    e.folder = texts_.text(folders_[p.folder]);
    if (p.longName != TextArena::kNone) e.longName = std::string(texts_.text(p.longName));
    e.longNameCut = (p.flags & kLongNameCut) != 0;
    e.lowerCaseBase = (p.flags & kLowerCaseBase) != 0;
    e.writeTime = p.writeTime;
    e.lastAccessTime = p.lastAccessTime;
    e.birthTime = p.birthTime;
    e.changeTime = p.changeTime;
    if (const Extra* x = extraOf(p)) {
        e.stream = texts_.text(x->stream);
        if (x->firstChar != TextArena::kNone) e.firstChar = std::string(texts_.text(x->firstChar));
        e.contentType = views_[x->contentType];
        e.contentCheck = texts_.text(x->contentCheck);
        e.firstFragmentBytes = x->firstFragmentBytes;
        e.fragmentGapBytes = x->fragmentGapBytes;
    }
    return e;
}

const DeletedFileEntry FoundList::at(std::size_t index) const {
    return (*this)[index];
}

const DeletedFileEntry FoundList::front() const {
    return (*this)[0];
}

const DeletedFileEntry FoundList::back() const {
    if (count_ == 0) throw std::out_of_range("no such entry");
    return (*this)[count_ - 1];
}

const DeletedFileEntry FoundList::const_iterator::operator*() const {
    return (*list_)[index_];
}

std::string_view FoundList::name(std::size_t index) const {
    return texts_.text(packed(index).name);
}

std::string_view FoundList::folder(std::size_t index) const {
    return texts_.text(folders_[packed(index).folder]);
}

std::optional<std::string_view> FoundList::longName(std::size_t index) const {
    const Packed& p = packed(index);
    if (p.longName == TextArena::kNone) return std::nullopt;
    return texts_.text(p.longName);
}

std::string_view FoundList::origin(std::size_t index) const {
    return views_[packed(index).origin];
}

std::string_view FoundList::stream(std::size_t index) const {
    const Extra* x = extraOf(packed(index));
    return x ? texts_.text(x->stream) : std::string_view();
}

std::string_view FoundList::contentType(std::size_t index) const {
    const Extra* x = extraOf(packed(index));
    return x ? views_[x->contentType] : std::string_view();
}

std::uint64_t FoundList::location(std::size_t index) const {
    return packed(index).location;
}

std::uint64_t FoundList::fileSize(std::size_t index) const {
    return packed(index).size;
}

std::uint64_t FoundList::createTime(std::size_t index) const {
    return packed(index).createTime;
}

std::uint64_t FoundList::accessTime(std::size_t index) const {
    return packed(index).accessTime;
}

std::uint8_t FoundList::status(std::size_t index) const {
    return packed(index).status;
}

std::size_t FoundList::memoryBytes() const {
    return chunks_.size() * kChunkEntries * sizeof(Packed) + texts_.memoryBytes() +
           extras_.capacity() * sizeof(Extra) + folders_.capacity() * sizeof(std::uint64_t) +
           folderIndex_.size() * (sizeof(std::string_view) + 3 * sizeof(void*));
}

}  // namespace rekkon
