#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rekkon::test {

// Builds small FAT volumes byte by byte, for damaged or rare structures that real tools do not
// produce. Everything is little-endian, 512-byte sectors unless bytesPerSector says otherwise.
class FatBuilder {
  public:
    enum class Type { Fat12, Fat16, Fat32 };

    FatBuilder(Type type, std::uint32_t totalSectors, std::uint8_t sectorsPerCluster,
               std::uint16_t bytesPerSector = 512);

    std::vector<std::uint8_t>& bytes() { return image_; }
    std::uint8_t* boot() { return image_.data(); }

    std::uint32_t fatSectors() const { return fatSectors_; }
    std::uint32_t firstDataSector() const { return firstDataSector_; }
    std::uint32_t clusterBytes() const { return sectorsPerCluster_ * bytesPerSector_; }
    std::uint32_t rootCluster() const { return type_ == Type::Fat32 ? 2 : 1; }

    // Sets a table entry (raw value, packed as the type requires) in every FAT copy.
    void setFat(std::uint32_t cluster, std::uint32_t value);
    // Links clusters into a chain ending with an end-of-chain mark.
    void chain(const std::vector<std::uint32_t>& clusters);
    // Byte offset in the image of cluster k (k >= 2), or of the root area for cluster 1.
    std::size_t clusterOffset(std::uint32_t cluster) const;
    void fillCluster(std::uint32_t cluster, std::uint8_t value);

    // Writes a 32-byte short entry at `index` of the folder at `folderCluster` (its first
    // cluster for a folder that fits one cluster; the root area for cluster 1).
    void putEntry(std::uint32_t folderCluster, std::size_t index, const std::string& name83,
                  std::uint8_t attributes, std::uint32_t firstCluster, std::uint32_t size,
                  std::uint16_t date = 0x5A21, std::uint16_t time = 0x6000);
    // Writes long-name pieces for `longName` (ASCII) before a short entry, starting at `index`;
    // returns the index after the pieces.
    std::size_t putLongName(std::uint32_t folderCluster, std::size_t index,
                            const std::u16string& longName);
    void putRaw(std::uint32_t folderCluster, std::size_t index, const std::uint8_t (&raw)[32]);

  private:
    Type type_;
    std::uint16_t bytesPerSector_;
    std::uint8_t sectorsPerCluster_;
    std::uint32_t fatSectors_ = 0;
    std::uint32_t reserved_ = 0;
    std::uint32_t rootSectors_ = 0;
    std::uint32_t firstDataSector_ = 0;
    std::vector<std::uint8_t> image_;
};

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v);
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v);

}  // namespace rekkon::test
