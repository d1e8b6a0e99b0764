#include "fs/FileSystemTable.h"

#include <algorithm>
#include <mutex>

#include "exfat/ExfatFileSystem.h"
#include "fat/FatFileSystem.h"
#include "ntfs/NtfsFileSystem.h"
#include "volume/FileSystemNames.h"

namespace rekkon {

namespace {

struct Table {
    std::mutex lock;
    // The order mounts are tried in when nothing else decides it.
    std::vector<FileSystemType> types = {
        fatFileSystemType(),
        ntfsFileSystemType(),
        exfatFileSystemType(),
    };
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

const std::vector<FileSystemType>& fileSystemTypes() {
    return table().types;
}

void registerFileSystem(const FileSystemType& type) {
    Table& t = table();
    const std::lock_guard hold(t.lock);
    std::erase_if(t.types, [&](const FileSystemType& old) { return old.name == type.name; });
    t.types.push_back(type);
}

void unregisterFileSystem(std::string_view name) {
    Table& t = table();
    const std::lock_guard hold(t.lock);
    std::erase_if(t.types, [&](const FileSystemType& old) { return old.name == name; });
}

std::vector<const FileSystemType*> mountOrder(std::span<const std::uint8_t> bootSector,
                                              const std::string& platformName) {
    std::vector<const FileSystemType*> order;
    const auto add = [&order](const FileSystemType& type) {
        if (std::find(order.begin(), order.end(), &type) == order.end()) order.push_back(&type);
    };
    const std::vector<FileSystemType>& types = fileSystemTypes();
    if (!platformName.empty())
        for (const FileSystemType& type : types)
            if (type.namesIt != nullptr && type.namesIt(platformName)) add(type);
    for (const FileSystemType& type : types)
        if (type.probe != nullptr && !type.probe(bootSector).name.empty()) add(type);
    for (const FileSystemType& type : types)
        add(type);
    return order;
}

std::string bootSectorFileSystemName(std::span<const std::uint8_t> boot) {
    for (const FileSystemType& type : fileSystemTypes())
        if (type.probe != nullptr)
            if (BootSectorProbe found = type.probe(boot); !found.name.empty()) return found.name;
    return {};
}

bool isVolumeBootSector(std::span<const std::uint8_t> sector0) {
    return std::any_of(fileSystemTypes().begin(), fileSystemTypes().end(),
                       [&](const FileSystemType& type) {
                           return type.probe != nullptr && type.probe(sector0).certain;
                       });
}

bool isVolumeFileSystemName(const std::string& fileSystemName) {
    return std::any_of(fileSystemTypes().begin(), fileSystemTypes().end(),
                       [&](const FileSystemType& type) {
                           return type.namesIt != nullptr && type.namesIt(fileSystemName);
                       });
}

}  // namespace rekkon
