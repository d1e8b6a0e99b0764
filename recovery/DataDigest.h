#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace rekkon {

// The md5 and sha256 of a byte stream, fed in order as it is copied (OpenSSL's libcrypto).
class DataDigest {
  public:
    DataDigest();
    ~DataDigest();
    DataDigest(const DataDigest&) = delete;
    DataDigest& operator=(const DataDigest&) = delete;

    // False when libcrypto could not set up either digest; nothing is computed then.
    bool ready() const { return ready_; }
    void add(std::span<const std::uint8_t> bytes);
    // `bytes` zero bytes: a hole, counted as the zeros it reads as.
    void addZeros(std::uint64_t bytes);
    // Ends both digests: lower-case hex, empty when not ready. Only once.
    struct Hex {
        std::string md5;
        std::string sha256;
    };
    Hex finish();

  private:
    struct Contexts;
    std::unique_ptr<Contexts> contexts_;
    bool ready_ = false;
};

}  // namespace rekkon
