#include "support/DiskFixtures.h"

#include <filesystem>
#include <fstream>

#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "volume/SectorDevice.h"

namespace rekkon::test {

namespace {
std::string hugeFolder() {
    return fixtureImage("disk-huge");
}
}  // namespace

std::string diskImage(const std::string& name) {
    const std::string path = fixtureImage("disk/" + name);
    return std::filesystem::exists(path) ? path : std::string();
}

std::string writeOnePartitionDisk(const std::string& folder, std::uint8_t type,
                                  const std::vector<std::uint8_t>& volume) {
    std::vector<std::uint8_t> disk(2048 * kSectorSize);
    const auto sectors = static_cast<std::uint32_t>(volume.size() / kSectorSize);
    disk[446 + 4] = type;
    put32(disk, 446 + 8, 2048);
    put32(disk, 446 + 12, sectors);
    put32(disk, 440, 0x12345678);  // disk signature
    disk[510] = 0x55;
    disk[511] = 0xAA;
    disk.insert(disk.end(), volume.begin(), volume.end());
    disk.resize(disk.size() + 2048 * kSectorSize);
    const std::string path = folder + "/one.img";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(disk.data()),
               static_cast<std::streamsize>(disk.size()));
    return path;
}

std::optional<std::string> makeHugeDisk(std::string& why) {
    if (!commandAvailable("python3")) {
        why = "python3 is missing";
        return std::nullopt;
    }
    int status = 0;
    const std::string output =
        runCommand(std::string(REKKON_TOOLS_DIR) + "/make-disk-fixtures.sh '" + hugeFolder() +
                       "' '" + fixtureImage("") + "' --huge 2>&1",
                   status);
    if (status != 0) {
        why = "cannot make the 3 TiB sparse disk: " + output;
        return std::nullopt;
    }
    return hugeFolder() + "/huge.img";
}

void removeHugeDisk() {
    std::error_code ec;
    std::filesystem::remove_all(hugeFolder(), ec);
}

}  // namespace rekkon::test
