#include "support/FatBuilder.h"

#include <algorithm>
#include <cstring>

namespace rekkon::test {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

FatBuilder::FatBuilder(Type type, std::uint32_t totalSectors, std::uint8_t sectorsPerCluster,
                       std::uint16_t bytesPerSector)
    : type_(type), bytesPerSector_(bytesPerSector), sectorsPerCluster_(sectorsPerCluster) {
    image_.assign(std::size_t{totalSectors} * bytesPerSector, 0);
    const std::uint32_t clusters = totalSectors / sectorsPerCluster + 2;
    const std::uint32_t bits = type == Type::Fat12 ? 12 : type == Type::Fat16 ? 16 : 32;
    fatSectors_ = (clusters * bits / 8 + bytesPerSector - 1) / bytesPerSector + 1;
    reserved_ = type == Type::Fat32 ? 32 : 1;
    const std::uint16_t rootEntries = type == Type::Fat32 ? 0 : 512;
    rootSectors_ = rootEntries * 32u / bytesPerSector;
    firstDataSector_ = reserved_ + 2 * fatSectors_ + rootSectors_;

    auto& b = image_;
    b[0] = 0xEB;
    b[1] = 0x3C;
    b[2] = 0x90;
    std::memcpy(&b[3], "MSWIN4.1", 8);
    put16(b, 0x0B, bytesPerSector);
    b[0x0D] = sectorsPerCluster;
    put16(b, 0x0E, static_cast<std::uint16_t>(reserved_));
    b[0x10] = 2;
    put16(b, 0x11, rootEntries);
    b[0x15] = 0xF8;
    if (type == Type::Fat32) {
        put32(b, 0x20, totalSectors);
        put32(b, 0x24, fatSectors_);
        put32(b, 0x2C, 2);
        std::memcpy(&b[0x52], "FAT32   ", 8);
    } else {
        if (totalSectors < 65536)
            put16(b, 0x13, static_cast<std::uint16_t>(totalSectors));
        else
            put32(b, 0x20, totalSectors);
        put16(b, 0x16, static_cast<std::uint16_t>(fatSectors_));
        std::memcpy(&b[0x36], type == Type::Fat12 ? "FAT12   " : "FAT16   ", 8);
    }
    b[0x1FE] = 0x55;
    b[0x1FF] = 0xAA;
    if (type == Type::Fat32) {  // the boot sector's copy, at sector 6
        put16(b, 0x32, 6);
        std::copy_n(b.begin(), 512, b.begin() + 6 * std::ptrdiff_t{bytesPerSector});
    }
    setFat(0, 0x0FFFFFF8);
    setFat(1, 0x0FFFFFFF);
    if (type == Type::Fat32) setFat(2, 0x0FFFFFFF);  // root folder, one cluster
}

void FatBuilder::setFat(std::uint32_t cluster, std::uint32_t value) {
    for (std::uint32_t copy = 0; copy < 2; ++copy) {
        const std::size_t table =
            (std::size_t{reserved_} + std::size_t{copy} * fatSectors_) * bytesPerSector_;
        switch (type_) {
            case Type::Fat12: {
                const std::size_t at = table + cluster + cluster / 2;
                const std::uint16_t v12 = value & 0xFFF;
                std::uint16_t pair = static_cast<std::uint16_t>(image_[at] | (image_[at + 1] << 8));
                pair = (cluster & 1) ? static_cast<std::uint16_t>((pair & 0x000F) | (v12 << 4))
                                     : static_cast<std::uint16_t>((pair & 0xF000) | v12);
                put16(image_, at, pair);
                break;
            }
            case Type::Fat16:
                put16(image_, table + std::size_t{cluster} * 2, static_cast<std::uint16_t>(value));
                break;
            case Type::Fat32:
                put32(image_, table + std::size_t{cluster} * 4, value);
                break;
        }
    }
}

void FatBuilder::chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i)
        setFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0x0FFFFFFF);
}

std::size_t FatBuilder::clusterOffset(std::uint32_t cluster) const {
    if (cluster == 1 && type_ != Type::Fat32)
        return std::size_t{firstDataSector_ - rootSectors_} * bytesPerSector_;
    return (std::size_t{firstDataSector_} + std::size_t{cluster - 2} * sectorsPerCluster_) *
           bytesPerSector_;
}

void FatBuilder::fillCluster(std::uint32_t cluster, std::uint8_t value) {
    std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(clusterOffset(cluster)),
                clusterBytes(), value);
}

void FatBuilder::putEntry(std::uint32_t folderCluster, std::size_t index, const std::string& name83,
                          std::uint8_t attributes, std::uint32_t firstCluster, std::uint32_t size,
                          std::uint16_t date, std::uint16_t time) {
    const std::size_t at = clusterOffset(folderCluster) + index * 32;
    std::string padded = name83;
    padded.resize(11, ' ');
    std::memcpy(&image_.at(at), padded.data(), 11);
    image_[at + 0x0B] = attributes;
    put16(image_, at + 0x0E, time);
    put16(image_, at + 0x10, date);
    put16(image_, at + 0x14, static_cast<std::uint16_t>(firstCluster >> 16));
    put16(image_, at + 0x16, time);
    put16(image_, at + 0x18, date);
    put16(image_, at + 0x1A, static_cast<std::uint16_t>(firstCluster));
    put32(image_, at + 0x1C, size);
}

std::size_t FatBuilder::putLongName(std::uint32_t folderCluster, std::size_t index,
                                    const std::u16string& name) {
    const std::size_t pieces = (name.size() + 12) / 13;
    static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t p = pieces; p >= 1; --p) {
        const std::size_t at = clusterOffset(folderCluster) + index * 32;
        image_[at] = static_cast<std::uint8_t>(p | (p == pieces ? 0x40 : 0));
        image_[at + 0x0B] = 0x0F;
        for (std::size_t k = 0; k < 13; ++k) {
            const std::size_t ci = (p - 1) * 13 + k;
            std::uint16_t unit = ci < name.size() ? name[ci] : ci == name.size() ? 0x0000 : 0xFFFF;
            put16(image_, at + kOffsets[k], unit);
        }
        ++index;
    }
    return index;
}

void FatBuilder::putRaw(std::uint32_t folderCluster, std::size_t index,
                        const std::uint8_t (&raw)[32]) {
    std::memcpy(&image_.at(clusterOffset(folderCluster) + index * 32), raw, 32);
}

}  // namespace rekkon::test
