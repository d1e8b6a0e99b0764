#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rekkon {

// The bytes of a candidate file as they lie on the source from its first byte on. A format's
// check reads them through this and never past limit(): the end of the source, or the most a file
// of the format may take.
class CarveInput {
  public:
    virtual ~CarveInput() = default;
    // Up to out.size() bytes at `offset` from the candidate's first byte; fewer at limit() and
    // where the source cannot be read (then the bytes before the unreadable sector).
    virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    virtual std::uint64_t limit() const = 0;
};

// A candidate held in memory (tests, fuzz targets).
class MemoryCarveInput : public CarveInput {
  public:
    explicit MemoryCarveInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::uint64_t limit() const override { return bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
};

// Sequential and random reads over a CarveInput through a buffer of its own, for parsers that walk
// a file byte by byte or field by field. Every accessor fails (nullopt, false) at the input's
// limit or at bytes that cannot be read; position() then stays where the failed read began.
class CarveStream {
  public:
    explicit CarveStream(CarveInput& input, std::size_t bufferBytes = 64 * 1024);

    std::uint64_t position() const { return position_; }
    std::uint64_t limit() const { return input_.limit(); }
    // Moves to `offset`; false (and no move) past limit().
    bool seek(std::uint64_t offset);
    bool skip(std::uint64_t bytes);
    // Whether `bytes` more bytes from the position can be read (they are read to know).
    bool has(std::uint64_t bytes);

    std::optional<std::uint8_t> u8();
    std::optional<std::uint16_t> be16();
    std::optional<std::uint32_t> be32();
    std::optional<std::uint64_t> be64();
    std::optional<std::uint16_t> le16();
    std::optional<std::uint32_t> le32();
    std::optional<std::uint64_t> le64();
    // Exactly out.size() bytes, or false.
    bool bytes(std::span<std::uint8_t> out);
    // The next byte without moving past it.
    std::optional<std::uint8_t> peek();
    // The bytes buffered from the position on (at least one unless at the limit or an unreadable
    // stretch); consume() moves past some of them. For scanning long stretches (entropy-coded
    // data, deflate streams) without a call per byte.
    std::span<const std::uint8_t> window();
    void consume(std::size_t bytes);

  private:
    bool fill(std::size_t wanted);
    std::optional<std::uint64_t> unsignedOf(std::size_t width, bool bigEndian);

    CarveInput& input_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;  // input offset of buffer_[0]
    std::size_t buffered_ = 0;       // valid bytes in buffer_
    std::uint64_t position_ = 0;
};

}  // namespace rekkon
