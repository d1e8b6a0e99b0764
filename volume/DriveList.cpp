#include "volume/DriveList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>

#include "volume/PartitionTable.h"

namespace rekkon {

namespace {

namespace fs = std::filesystem;

// sysfs attribute files are one short line; nothing longer is read.
constexpr std::size_t kMaxAttributeBytes = 4096;
// The "size" attribute counts 512-byte sectors whatever the device's own sector size.
constexpr std::uint64_t kSysfsSectorBytes = 512;

// The first line of a small sysfs file; nullopt when it cannot be read.
std::optional<std::string> readAttribute(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(kMaxAttributeBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    const auto end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    return text;
}

std::uint64_t readNumber(const fs::path& path) {
    const auto text = readAttribute(path);
    if (!text) return 0;
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    return ec == std::errc{} ? value : 0;
}

bool pathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Optical drives, RAM disks and compressed RAM swap never hold a volume to scan.
bool neverListed(const std::string& name) {
    return startsWith(name, "sr") || startsWith(name, "ram") || startsWith(name, "zram");
}

struct BlockEntry {
    std::string name;
    fs::path dir;
    bool partition = false;
};

// The folder of the whole disk that the partition `entry` belongs to. In sysfs' device tree the
// partition's folder lies inside its disk's; when the entries are plain folders, the disk is the
// listed whole disk with the longest name the partition's name begins with ("sdb" for "sdb1",
// "mmcblk0" for "mmcblk0p1").
std::optional<fs::path> parentDisk(const BlockEntry& entry, const std::vector<BlockEntry>& all) {
    std::error_code ec;
    const fs::path real = fs::canonical(entry.dir, ec);
    if (!ec) {
        const fs::path up = real.parent_path();
        if (pathExists(up / "dev") && !pathExists(up / "partition")) return up;
    }
    const BlockEntry* best = nullptr;
    for (const BlockEntry& e : all)
        if (!e.partition && e.name.size() < entry.name.size() && startsWith(entry.name, e.name) &&
            (!best || e.name.size() > best->name.size()))
            best = &e;
    if (!best) return std::nullopt;
    return best->dir;
}

std::vector<BlockEntry> blockEntries(const std::string& sysfsRoot) {
    std::vector<BlockEntry> entries;
    std::error_code ec;
    std::size_t examined = 0;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "block", ec), end;
         !ec && it != end && examined < kMaxBlockEntries; it.increment(ec), ++examined) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.' || neverListed(name)) continue;
        entries.push_back({name, it->path(), pathExists(it->path() / "partition")});
    }
    return entries;
}

// Decodes udev's "\x20"-style escapes of ID_FS_LABEL_ENC.
std::string decodeUdevText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const char* first = text.data() + i + 2;
            const auto [ptr, ec] = std::from_chars(first, first + 2, value, 16);
            if (ec == std::errc{} && ptr == first + 2) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

std::optional<FileSystemName> parseUdevFileSystem(std::istream& in) {
    std::string data(kMaxUdevDataBytes, '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    std::string type, version, label, encodedLabel;
    bool haveEncoded = false;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        const std::string line = data.substr(start, end - start);
        start = end + 1;
        const auto value = [&line](const char* key) -> std::optional<std::string> {
            const std::string prefix = std::string("E:") + key + "=";
            if (!startsWith(line, prefix)) return std::nullopt;
            return line.substr(prefix.size());
        };
        if (auto v = value("ID_FS_TYPE")) type = *v;
        if (auto v = value("ID_FS_VERSION")) version = *v;
        if (auto v = value("ID_FS_LABEL")) label = *v;
        if (auto v = value("ID_FS_LABEL_ENC")) {
            encodedLabel = decodeUdevText(*v);
            haveEncoded = true;
        }
    }
    if (type.empty()) return std::nullopt;
    return FileSystemName{platformFileSystemName(type, version),
                          haveEncoded ? encodedLabel : label};
}

std::optional<FileSystemName> udevFileSystem(dev_t device, const std::string& udevDataRoot) {
    std::ifstream in(
        udevDataRoot + "/b" + std::to_string(major(device)) + ":" + std::to_string(minor(device)),
        std::ios::binary);
    if (!in) return std::nullopt;
    return parseUdevFileSystem(in);
}

std::optional<FileSystemName> probeDeviceFileSystemWithUdev(const std::string& devicePath,
                                                            const std::string& udevDataRoot) {
    const int fd = ::open(devicePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        auto name = probeFileSystem(fd);
        ::close(fd);
        return name;
    }
    const int error = errno;
    if (error != EACCES && error != EPERM) return std::nullopt;
    // The device node can still be examined: udev probed the device when it appeared.
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return udevFileSystem(st.st_rdev, udevDataRoot);
}

std::optional<FileSystemName> probeDeviceFileSystem(const std::string& devicePath) {
    return probeDeviceFileSystemWithUdev(devicePath, kUdevDataRoot);
}

std::vector<DriveInfo> listDrives(const std::string& sysfsRoot, const FileSystemProber& probe) {
    const std::vector<BlockEntry> entries = blockEntries(sysfsRoot);
    std::vector<DriveInfo> drives;
    for (const BlockEntry& e : entries) {
        const std::uint64_t sectors = readNumber(e.dir / "size");
        if (sectors == 0) continue;
        // A loop device is listed only while a file is attached to it.
        if (!e.partition && startsWith(e.name, "loop") &&
            !pathExists(e.dir / "loop" / "backing_file"))
            continue;
        std::optional<fs::path> disk = e.partition ? parentDisk(e, entries) : e.dir;
        DriveInfo drive;
        drive.name = e.name;
        drive.devicePath = "/dev/" + e.name;
        drive.partition = e.partition;
        drive.removable = disk && readNumber(*disk / "removable") == 1;
        constexpr std::uint64_t kMaxSectors =
            std::numeric_limits<std::uint64_t>::max() / kSysfsSectorBytes;
        drive.sizeBytes = std::min(sectors, kMaxSectors) * kSysfsSectorBytes;
        const auto fileSystem = probe ? probe(drive.devicePath) : std::nullopt;
        if (!fileSystem || !isVolumeFileSystemName(fileSystem->name)) continue;
        drive.fileSystem = fileSystem->name;
        drive.label = fileSystem->label;
        drives.push_back(std::move(drive));
    }
    std::sort(drives.begin(), drives.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.name < b.name; });
    return drives;
}

}  // namespace rekkon
