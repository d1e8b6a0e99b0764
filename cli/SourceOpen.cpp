#include "cli/SourceOpen.h"

#include <cerrno>
#include <cstring>

#include "volume/EwfSectorDevice.h"

namespace rekkon::cli {

std::string openFailureMessage(const std::string& path, int error) {
    if (const std::optional<std::string> problem = evidenceOpenProblem(path))
        return "rekkon-cli: cannot open \"" + path + "\": " + *problem + ".";
    std::string line = "rekkon-cli: cannot open \"" + path + "\": " + std::strerror(error) + ". ";
    switch (error) {
        case ENOENT:
            line += "Check the path of the device or image file.";
            break;
        case EACCES:
        case EPERM:
            line += "Reading a device needs root or membership of the disk group; try sudo.";
            break;
        case EISDIR:
            line +=
                "It is a folder, not a device or disk image; give a block device or a "
                "disk-image file.";
            break;
        default:
            line += "Check that the device or image file is readable.";
            break;
    }
    return line;
}

}  // namespace rekkon::cli
