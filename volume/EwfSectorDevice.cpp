#include "volume/EwfSectorDevice.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace rekkon {

bool hasEwfSignature(std::span<const std::uint8_t> firstBytes) {
    static constexpr std::array<std::uint8_t, 8> kSignature = {'E',  'V',  'F',  0x09,
                                                               0x0d, 0x0a, 0xff, 0x00};
    return firstBytes.size() >= kSignature.size() &&
           std::equal(kSignature.begin(), kSignature.end(), firstBytes.begin());
}

std::unique_ptr<SectorDevice> openEwf(const std::string& /*path*/, int& error,
                                      std::string& detail) {
    error = ENOTSUP;
    detail = "evidence files are not supported yet";
    return nullptr;
}

}  // namespace rekkon
