#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace rekkon {

// Bounds-checked little-endian reads over bytes that came from a volume. Every accessor fails
// (returns nullopt) instead of reading outside the span, so on-disk structures are never cast.
class LeReader {
  public:
    LeReader() = default;
    explicit LeReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // True when [offset, offset + length) lies inside the buffer (overflow-safe).
    bool fits(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    std::optional<std::uint8_t> u8(std::size_t offset) const {
        if (!fits(offset, 1)) return std::nullopt;
        return bytes_[offset];
    }
    std::optional<std::uint16_t> u16(std::size_t offset) const {
        return unsignedAt<std::uint16_t>(offset);
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const {
        return unsignedAt<std::uint32_t>(offset);
    }
    std::optional<std::uint64_t> u64(std::size_t offset) const {
        return unsignedAt<std::uint64_t>(offset);
    }
    std::optional<std::int8_t> i8(std::size_t offset) const {
        auto v = u8(offset);
        if (!v) return std::nullopt;
        return static_cast<std::int8_t>(*v);
    }

    // Little-endian unsigned value of 1..8 bytes (run-list fields have such widths).
    std::optional<std::uint64_t> uN(std::size_t offset, std::size_t width) const {
        if (width == 0 || width > 8 || !fits(offset, width)) return std::nullopt;
        std::uint64_t v = 0;
        for (std::size_t i = width; i-- > 0;)
            v = (v << 8) | bytes_[offset + i];
        return v;
    }
    // Little-endian two's-complement value of 1..8 bytes, sign-extended.
    std::optional<std::int64_t> iN(std::size_t offset, std::size_t width) const {
        auto v = uN(offset, width);
        if (!v) return std::nullopt;
        if (width < 8 && (*v >> (width * 8 - 1)) & 1) *v |= ~std::uint64_t{0} << (width * 8);
        return static_cast<std::int64_t>(*v);
    }

    std::optional<std::span<const std::uint8_t>> slice(std::size_t offset,
                                                       std::size_t length) const {
        if (!fits(offset, length)) return std::nullopt;
        return bytes_.subspan(offset, length);
    }

  private:
    template <typename T>
    std::optional<T> unsignedAt(std::size_t offset) const {
        if (!fits(offset, sizeof(T))) return std::nullopt;
        T v = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // The checked bytes copied into the value: one load, whatever their alignment.
            std::memcpy(&v, bytes_.data() + offset, sizeof(T));
        } else {
            for (std::size_t i = sizeof(T); i-- > 0;)
                v = static_cast<T>((v << 8) | bytes_[offset + i]);
        }
        return v;
    }

    std::span<const std::uint8_t> bytes_;
};

}  // namespace rekkon
