#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "recovery/ScanContext.h"
#include "volume/SectorDevice.h"

namespace rekkon::ui {

// How long UDisks2 may take to name the block object of a device path.
inline constexpr std::chrono::milliseconds kResolveDeviceTimeout{5'000};
// How long OpenDevice may take: polkit's prompt waits for the user to answer.
inline constexpr std::chrono::milliseconds kOpenDeviceTimeout{5 * 60'000};

// Opens a block device (or image) read-only: directly, and when that is refused for lack of
// permission (EACCES/EPERM), through UDisks2's Block.OpenDevice on `busAddress` (empty: the
// system bus), which may ask the user to authorize through polkit. On failure: null, `error` =
// errno, `message` = what happened and what to do.
struct DeviceAccess {
    // The D-Bus bus UDisks2 is asked on; empty: the system bus.
    QString busAddress;
    // The direct open; empty: FileSectorDevice::open. Tests make it refuse with EACCES.
    std::function<std::unique_ptr<SectorDevice>(const std::string& path, int& error)> openDirect;
    // Whether `path` is a block device (only those are asked of UDisks2); empty: stat S_ISBLK.
    std::function<bool(const std::string& path)> isBlockDevice;

    std::unique_ptr<SectorDevice> open(const std::string& path, int& error, QString& message) const;

    // A SourceOpener for mountVolume that opens through this; the last failure's message goes
    // to `*lastMessage` (when not null), which must outlive the opener.
    SourceOpener opener(QString* lastMessage = nullptr) const;
};

// The D-Bus object path UDisks2 gives the block device `path` ("/dev/sdb1" ->
// "/org/freedesktop/UDisks2/block_devices/sdb1"): the name after "/dev/" with every byte that is
// not an ASCII letter or digit written as "_" and two lower-case hex digits.
QString udisksBlockObjectPath(const std::string& devicePath);

}  // namespace rekkon::ui
