#include "recovery/DataDigest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>

namespace rekkon {

namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

std::string finishHex(EVP_MD_CTX* context) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest.data(), &length) != 1) return "";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(kHex[digest[i] >> 4]);
        out.push_back(kHex[digest[i] & 0x0F]);
    }
    return out;
}

}  // namespace

struct DataDigest::Contexts {
    Context md5{EVP_MD_CTX_new()};
    Context sha256{EVP_MD_CTX_new()};
};

DataDigest::DataDigest() : contexts_(std::make_unique<Contexts>()) {
    ready_ = contexts_->md5 && contexts_->sha256 &&
             EVP_DigestInit_ex(contexts_->md5.get(), EVP_md5(), nullptr) == 1 &&
             EVP_DigestInit_ex(contexts_->sha256.get(), EVP_sha256(), nullptr) == 1;
}

DataDigest::~DataDigest() = default;

void DataDigest::add(std::span<const std::uint8_t> bytes) {
    if (!ready_ || bytes.empty()) return;
    if (EVP_DigestUpdate(contexts_->md5.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestUpdate(contexts_->sha256.get(), bytes.data(), bytes.size()) != 1)
        ready_ = false;
}

void DataDigest::addZeros(std::uint64_t bytes) {
    static const std::array<std::uint8_t, 64 * 1024> kZeros{};
    while (bytes > 0 && ready_) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, kZeros.size()));
        add(std::span(kZeros).first(n));
        bytes -= n;
    }
}

DataDigest::Hex DataDigest::finish() {
    if (!ready_) return {};
    ready_ = false;
    Hex out{finishHex(contexts_->md5.get()), finishHex(contexts_->sha256.get())};
    if (out.md5.empty() || out.sha256.empty()) return {};
    return out;
}

}  // namespace rekkon
