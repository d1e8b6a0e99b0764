#include "carve/CarveInput.h"

#include <algorithm>
#include <cstring>

namespace rekkon {

std::size_t MemoryCarveInput::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - offset));
    std::memcpy(out.data(), bytes_.data() + offset, n);
    return n;
}

CarveStream::CarveStream(CarveInput& input, std::size_t bufferBytes)
    : input_(input), buffer_(std::max<std::size_t>(bufferBytes, 64)) {}

bool CarveStream::seek(std::uint64_t offset) {
    if (offset > input_.limit()) return false;
    position_ = offset;
    return true;
}

bool CarveStream::skip(std::uint64_t bytes) {
    if (bytes > input_.limit() - position_) return false;
    position_ += bytes;
    return true;
}

// Makes the buffer hold `wanted` bytes from the position on (wanted <= buffer size) as far as the
// input gives them; true when it does.
bool CarveStream::fill(std::size_t wanted) {
    if (position_ >= bufferStart_ && position_ - bufferStart_ <= buffered_ &&
        buffered_ - (position_ - bufferStart_) >= wanted)
        return true;
    if (wanted > buffer_.size() || wanted > input_.limit() - std::min(position_, input_.limit()))
        return false;
    bufferStart_ = position_;
    buffered_ = input_.read(position_, buffer_);
    return buffered_ >= wanted;
}

bool CarveStream::has(std::uint64_t bytes) {
    if (bytes > input_.limit() - std::min(position_, input_.limit())) return false;
    if (bytes <= buffer_.size()) return fill(static_cast<std::size_t>(bytes));
    // Longer than the buffer: its last byte tells.
    std::uint8_t last = 0;
    return input_.read(position_ + bytes - 1, std::span(&last, 1)) == 1;
}

std::optional<std::uint64_t> CarveStream::unsignedOf(std::size_t width, bool bigEndian) {
    if (!fill(width)) return std::nullopt;
    const std::uint8_t* p = buffer_.data() + (position_ - bufferStart_);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v = bigEndian ? (v << 8) | p[i] : v | std::uint64_t{p[i]} << (8 * i);
    position_ += width;
    return v;
}

std::optional<std::uint8_t> CarveStream::u8() {
    const auto v = unsignedOf(1, true);
    if (!v) return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}
std::optional<std::uint16_t> CarveStream::be16() {
    const auto v = unsignedOf(2, true);
    if (!v) return std::nullopt;
    return static_cast<std::uint16_t>(*v);
}
std::optional<std::uint32_t> CarveStream::be32() {
    const auto v = unsignedOf(4, true);
    if (!v) return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}
std::optional<std::uint64_t> CarveStream::be64() {
    return unsignedOf(8, true);
}
std::optional<std::uint16_t> CarveStream::le16() {
    const auto v = unsignedOf(2, false);
    if (!v) return std::nullopt;
    return static_cast<std::uint16_t>(*v);
}
std::optional<std::uint32_t> CarveStream::le32() {
    const auto v = unsignedOf(4, false);
    if (!v) return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}
std::optional<std::uint64_t> CarveStream::le64() {
    return unsignedOf(8, false);
}

bool CarveStream::bytes(std::span<std::uint8_t> out) {
    if (out.empty()) return true;
    if (out.size() <= buffer_.size()) {
        if (!fill(out.size())) return false;
        std::memcpy(out.data(), buffer_.data() + (position_ - bufferStart_), out.size());
    } else {
        if (out.size() > input_.limit() - std::min(position_, input_.limit()) ||
            input_.read(position_, out) != out.size())
            return false;
    }
    position_ += out.size();
    return true;
}

std::optional<std::uint8_t> CarveStream::peek() {
    if (!fill(1)) return std::nullopt;
    return buffer_[position_ - bufferStart_];
}

std::span<const std::uint8_t> CarveStream::window() {
    if (!fill(1)) return {};
    const std::size_t at = static_cast<std::size_t>(position_ - bufferStart_);
    if (buffered_ - at < buffer_.size() / 2) fill(buffer_.size() / 2);  // a longer window
    const std::size_t from = static_cast<std::size_t>(position_ - bufferStart_);
    return std::span<const std::uint8_t>(buffer_).subspan(from, buffered_ - from);
}

void CarveStream::consume(std::size_t bytes) {
    position_ +=
        std::min<std::uint64_t>(bytes, input_.limit() - std::min(position_, input_.limit()));
}

}  // namespace rekkon
