#include "recovery/DataDigest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>

#include "volume/LazyLibrary.h"

namespace rekkon {

namespace {

// libcrypto's digest functions, loaded with the library when the first digest is made.
struct Crypto {
    decltype(&::EVP_MD_CTX_new) ctxNew = nullptr;
    decltype(&::EVP_MD_CTX_free) ctxFree = nullptr;
    decltype(&::EVP_DigestInit_ex) init = nullptr;
    decltype(&::EVP_DigestUpdate) update = nullptr;
    decltype(&::EVP_DigestFinal_ex) final = nullptr;
    decltype(&::EVP_md5) md5 = nullptr;
    decltype(&::EVP_sha256) sha256 = nullptr;
    bool complete = false;
};

const Crypto& crypto() {
    static LazyLibrary library({REKKON_LIBCRYPTO_SONAME, "libcrypto.so"});
    static const Crypto loaded = [] {
        Crypto c;
        if (!library.load()) return c;
        c.complete = true;
        const auto bind = [&](auto& function, const char* name) {
            c.complete = library.bind(function, name) && c.complete;
        };
        bind(c.ctxNew, "EVP_MD_CTX_new");
        bind(c.ctxFree, "EVP_MD_CTX_free");
        bind(c.init, "EVP_DigestInit_ex");
        bind(c.update, "EVP_DigestUpdate");
        bind(c.final, "EVP_DigestFinal_ex");
        bind(c.md5, "EVP_md5");
        bind(c.sha256, "EVP_sha256");
        return c;
    }();
    return loaded;
}

struct ContextFree {
    void operator()(EVP_MD_CTX* c) const { crypto().ctxFree(c); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

std::string finishHex(EVP_MD_CTX* context) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (crypto().final(context, digest.data(), &length) != 1) return "";
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
    Context md5{crypto().ctxNew()};
    Context sha256{crypto().ctxNew()};
};

DataDigest::DataDigest() {
    const Crypto& c = crypto();
    if (!c.complete) return;  // not ready: no hashes
    contexts_ = std::make_unique<Contexts>();
    ready_ = contexts_->md5 && contexts_->sha256 &&
             c.init(contexts_->md5.get(), c.md5(), nullptr) == 1 &&
             c.init(contexts_->sha256.get(), c.sha256(), nullptr) == 1;
}

DataDigest::~DataDigest() = default;

void DataDigest::add(std::span<const std::uint8_t> bytes) {
    if (!ready_ || bytes.empty()) return;
    if (crypto().update(contexts_->md5.get(), bytes.data(), bytes.size()) != 1 ||
        crypto().update(contexts_->sha256.get(), bytes.data(), bytes.size()) != 1)
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
