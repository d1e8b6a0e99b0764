// The kernel move of a found file's stored bytes: pieces joined where they follow each other on
// the source, and a stop at a hole or at the end of a cut-short source, from where the copy loop
// takes over with nothing lost or written twice.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "recovery/DataCopy.h"
#include "recovery/StoredMove.h"

namespace rekkon {
namespace {

// Data of 4 pieces of 1000 bytes on a source: pieces 0 and 1 lie one after the other (source
// offsets 0 and 1000), piece 2 elsewhere (3000), piece 3 is a hole (nowhere) or, with
// `storedTail`, lies at 5000. Reads return the source's bytes, zeros for the hole.
class PiecesData final : public FileDataHandle {
  public:
    PiecesData(const std::vector<std::uint8_t>& source, bool storedTail)
        : source_(source), storedTail_(storedTail) {}
    std::uint64_t size() const override { return 4000; }
    std::optional<StoredExtent> storedAt(std::uint64_t position) override {
        ++asked;
        const std::uint64_t piece = position / 1000;
        if (position >= 4000 || (piece == 3 && !storedTail_)) return std::nullopt;
        const std::uint64_t at[] = {0, 1000, 3000, 5000};
        return StoredExtent{at[piece] + position % 1000, 1000 - position % 1000};
    }
    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        std::size_t n = 0;
        for (; n < buffer.size() && position + n < 4000; ++n) {
            const std::uint64_t p = position + n;
            const auto stored = storedAt(p);
            if (stored && stored->volumeOffset >= source_.size()) break;  // past a cut-short end
            buffer[n] = stored ? source_[stored->volumeOffset] : 0;
        }
        return n;
    }
    int asked = 0;

  private:
    const std::vector<std::uint8_t>& source_;
    bool storedTail_;
};

struct TempFile {
    std::string path;
    int fd = -1;
    TempFile() {
        path = ::testing::TempDir() + "rekkon-move-XXXXXX";
        fd = ::mkstemp(path.data());
    }
    ~TempFile() {
        ::close(fd);
        ::unlink(path.c_str());
    }
    std::vector<std::uint8_t> contents() const {
        std::vector<std::uint8_t> bytes(8000);
        const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }
};

TEST(StoredMoveTest, MovesJoinedPiecesThenLeavesTheRestToTheCopyLoop) {
    struct Case {
        bool storedTail;
        std::size_t sourceBytes;  // the source is cut short before piece 3 ends when < 6000
        std::uint64_t moved;
    } cases[] = {{false, 6000, 3000}, {true, 6000, 4000}, {true, 5500, 3500}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> source(c.sourceBytes);
        for (std::size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<std::uint8_t>(i * 7 + 3);
        TempFile in, out;
        ASSERT_EQ(::write(in.fd, source.data(), source.size()),
                  static_cast<ssize_t>(source.size()));
        PiecesData data(source, c.storedTail);
        std::vector<std::uint64_t> steps;
        const std::uint64_t moved =
            moveStoredData(data, 4000, in.fd, out.fd, 4096, [&](std::uint64_t n) {
                steps.push_back(n);
                return true;
            });
        EXPECT_EQ(moved, c.moved) << c.storedTail << " " << c.sourceBytes;
        // Pieces 0 and 1 go in one move; piece 2 (elsewhere) in another.
        ASSERT_GE(steps.size(), 2u);
        EXPECT_EQ(steps[0], 2000u);
        const CopyStats rest = copyFileData(
            data, 4000, 4096,
            [&](std::span<const std::uint8_t> b) {
                return ::write(out.fd, b.data(), b.size()) == static_cast<ssize_t>(b.size());
            },
            {}, moved);
        EXPECT_EQ(moved + rest.bytesDelivered, 4000u);
        std::vector<std::uint8_t> expected(4000);
        data.read(0, expected);
        const std::vector<std::uint8_t> written = out.contents();
        ASSERT_EQ(written.size(), 4000u);
        // A cut-short source leaves zeros for what it cannot hold, counted by the copy loop.
        EXPECT_TRUE(std::equal(written.begin(), written.begin() + 3500, expected.begin()));
        EXPECT_EQ(rest.unreadableBytes, c.sourceBytes < 6000 ? 500u : 0u);
    }
}

}  // namespace
}  // namespace rekkon
