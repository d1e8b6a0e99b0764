#include "volume/AlignedBuffer.h"

#include <algorithm>
#include <new>

namespace rekkon {

namespace {

constexpr std::align_val_t kPage{AlignedBuffer::kAlignment};

}  // namespace

void AlignedBuffer::Delete::operator()(std::uint8_t* p) const {
    ::operator delete[](p, kPage);
}

std::span<std::uint8_t> AlignedBuffer::reserve(std::size_t bytes, std::size_t growLimit) {
    if (bytes > capacity_) {
        const std::size_t grown = std::min(capacity_ * 2, growLimit);
        const std::size_t wanted = std::max(bytes, grown);
        if (wanted > SIZE_MAX - kAlignment) throw std::bad_alloc();
        const std::size_t size = (wanted + kAlignment - 1) / kAlignment * kAlignment;
        data_.reset();  // the old block goes before the new one is taken
        capacity_ = 0;
        data_.reset(static_cast<std::uint8_t*>(::operator new[](size, kPage)));
        capacity_ = size;
    }
    return {data_.get(), capacity_};
}

}  // namespace rekkon
