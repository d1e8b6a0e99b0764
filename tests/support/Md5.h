#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rekkon::test {

// MD5 of a byte string as 32 lower-case hex digits (to compare with fixture manifests).
std::string md5Hex(std::span<const std::uint8_t> data);
std::string md5Hex(const std::string& data);
// MD5 of a file's contents; empty when it cannot be read.
std::string md5OfFile(const std::string& path);

}  // namespace rekkon::test
