#pragma once

// A file system of the tests' own, registered through the file-system table: the proof that a
// file system plugs in without a change anywhere else. Its format, in a volume's first sector:
//   0   "TOYFS\0\0\0"
//   8   u16 entry count (at most 8), u16 label length (at most 16), then the label at 12
//   32  entries of 32 bytes: name (16 bytes, NUL-padded), u32 byte offset of the data, u32 size,
//       u8 flags (1: deleted), u8 estimate (0..255), 6 bytes unused.
// Data lies anywhere after the first sector.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fs/FileSystemTable.h"
#include "volume/LeReader.h"

namespace rekkon::test {

inline constexpr std::string_view kToyOrigin = "toy-entry";

struct ToyEntry {
    std::string name;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool deleted = false;
    std::uint8_t status = 255;
};

class ToyFileSystem final : public FileSystem {
  public:
    ToyFileSystem(VolumeContext& volume, std::string label, std::vector<ToyEntry> entries)
        : volume_(volume), label_(std::move(label)), entries_(std::move(entries)) {}

    std::string name() const override { return "TOYFS"; }
    std::string typeName() const override { return "TOYFS"; }
    FileSystemCapabilities capabilities() const override { return {}; }
    std::string label() override { return label_; }
    std::vector<GeometryLine> geometry() override {
        return {{"Entries", std::to_string(entries_.size())}};
    }
    ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) override {
        for (std::size_t i = 0; i < entries_.size() && !request.cancelled(); ++i) {
            const ToyEntry& t = entries_[i];
            if (!t.deleted) continue;
            DeletedFileEntry e;
            e.origin = kToyOrigin;
            e.location = i;
            e.name = t.name;
            e.size = t.size;
            e.status = t.status;
            e.folder = "\\";
            e.timesUtc = true;
            found.addFile(std::move(e));
        }
        return {};
    }
    std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                             DataOpenError& why) override {
        if (entry.location >= entries_.size()) {
            why = DataOpenError::CannotLocate;
            return nullptr;
        }
        why = DataOpenError::None;
        return std::make_unique<Data>(volume_, entries_[entry.location]);
    }

    static BootSectorProbe probe(std::span<const std::uint8_t> boot) {
        if (boot.size() < 8 || std::memcmp(boot.data(), "TOYFS\0\0\0", 8) != 0) return {};
        return {"TOYFS", true};
    }
    static bool namesIt(const std::string& name) { return name == "TOYFS"; }
    static std::unique_ptr<FileSystem> mount(VolumeContext& volume) {
        std::array<std::uint8_t, kSectorSize> boot{};
        if (volume.reader.readAt(0, 0, boot) != boot.size() || probe(boot).name.empty())
            return nullptr;
        const LeReader r(boot);
        const std::size_t count = std::min<std::size_t>(r.u16(8).value_or(0), 8);
        const std::size_t labelBytes = std::min<std::size_t>(r.u16(10).value_or(0), 16);
        std::string label(reinterpret_cast<const char*>(boot.data()) + 12, labelBytes);
        std::vector<ToyEntry> entries;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = 32 + i * 32;
            ToyEntry e;
            const char* name = reinterpret_cast<const char*>(boot.data()) + at;
            e.name.assign(name, strnlen(name, 16));
            e.offset = r.u32(at + 16).value_or(0);
            e.size = r.u32(at + 20).value_or(0);
            e.deleted = (r.u8(at + 24).value_or(0) & 1) != 0;
            e.status = r.u8(at + 25).value_or(0);
            entries.push_back(std::move(e));
        }
        return std::make_unique<ToyFileSystem>(volume, std::move(label), std::move(entries));
    }
    static FileSystemType type() { return {"TOYFS", probe, namesIt, mount}; }

  private:
    class Data final : public FileDataHandle {
      public:
        Data(VolumeContext& volume, const ToyEntry& entry) : volume_(volume), entry_(entry) {}
        std::uint64_t size() const override { return entry_.size; }
        std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
            if (position >= entry_.size) return 0;
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>(buffer.size(), entry_.size - position));
            return volume_.reader.readAt(0, entry_.offset + position, buffer.first(n));
        }

      private:
        VolumeContext& volume_;
        ToyEntry entry_;
    };

    VolumeContext& volume_;
    std::string label_;
    std::vector<ToyEntry> entries_;
};

// A toy volume of 4 KiB: a live file, and two deleted ones with their data.
inline std::vector<std::uint8_t> toyVolume() {
    std::vector<std::uint8_t> v(4096, 0);
    std::memcpy(v.data(), "TOYFS\0\0\0", 8);
    v[8] = 3;
    v[10] = 3;
    std::memcpy(v.data() + 12, "toy", 3);
    const auto put = [&v](std::size_t i, const char* name, std::uint32_t offset, std::uint32_t size,
                          bool deleted, const char* data) {
        const std::size_t at = 32 + i * 32;
        std::memcpy(v.data() + at, name, std::strlen(name));
        for (int b = 0; b < 4; ++b) {
            v[at + 16 + b] = static_cast<std::uint8_t>(offset >> (8 * b));
            v[at + 20 + b] = static_cast<std::uint8_t>(size >> (8 * b));
        }
        v[at + 24] = deleted ? 1 : 0;
        v[at + 25] = 255;
        std::memcpy(v.data() + offset, data, size);
    };
    put(0, "LIVE.TXT", 1024, 4, false, "live");
    put(1, "GONE.TXT", 2048, 11, true, "hello, toy\n");
    put(2, "PHOTO.JPG", 3072, 6, true, "\xFF\xD8\xFF\xE0zz");
    return v;
}

// Registers the toy file system for as long as it lives.
struct ToyRegistration {
    ToyRegistration() { registerFileSystem(ToyFileSystem::type()); }
    ~ToyRegistration() { unregisterFileSystem("TOYFS"); }
    ToyRegistration(const ToyRegistration&) = delete;
    ToyRegistration& operator=(const ToyRegistration&) = delete;
};

}  // namespace rekkon::test
