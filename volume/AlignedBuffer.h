#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace rekkon {

// Memory that starts on a 4096-byte page, which is also a multiple of every logical block size
// up to 4096. The kernel copies page-cache pages into a buffer that sits a few bytes past a page
// boundary (as a plain heap block does) several times slower, since each store then lands just
// past the page offset of the load before it.
class AlignedBuffer {
  public:
    static constexpr std::size_t kAlignment = 4096;

    AlignedBuffer() = default;
    // A buffer of `bytes` bytes (rounded up to whole pages), contents unset.
    explicit AlignedBuffer(std::size_t bytes) { reserve(bytes); }

    // At least `bytes` bytes (their contents not kept when the buffer has to grow). The buffer
    // grows at least twofold each time, up to `growLimit`, so that a caller asking for slowly
    // growing sizes allocates only a few times; it never shrinks.
    std::span<std::uint8_t> reserve(std::size_t bytes, std::size_t growLimit = 0);
    std::size_t capacity() const { return capacity_; }
    std::span<std::uint8_t> bytes() { return {data_.get(), capacity_}; }

  private:
    struct Delete {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t[], Delete> data_;
    std::size_t capacity_ = 0;
};

}  // namespace rekkon
