#include "support/DiskFixtures.h"

#include <filesystem>

#include "support/Fixtures.h"

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
