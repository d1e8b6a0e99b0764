#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rekkon {

struct ExfatVolume;

// The up-case table's largest stored size read (all of UTF-16 without compression).
inline constexpr std::uint64_t kMaxExfatUpcaseBytes = 65536 * 2;

// The volume's up-case table expanded to one entry per UTF-16 unit: units the stored table does
// not reach map to themselves.
class ExfatUpcase {
  public:
    // The built-in table: ASCII letters only.
    ExfatUpcase();
    // Expands `stored` (the table's bytes: units, where 0xFFFF N stands for N units that map to
    // themselves); false, leaving the built-in table, when it runs past 65,536 units.
    bool load(std::span<const std::uint8_t> stored);
    char16_t upper(char16_t unit) const { return table_[unit]; }

  private:
    std::vector<char16_t> table_;
};

// The table checksum the up-case entry stores: a 32-bit rotating sum of the table's bytes.
std::uint32_t exfatUpcaseChecksum(std::span<const std::uint8_t> stored);
// The name hash of a stream entry: a 16-bit rotating sum of the up-cased name's bytes.
std::uint16_t exfatNameHash(const std::u16string& name, const ExfatUpcase& upcase);

// Reads and checks the up-case table the root names (`expectedChecksum` from its entry); false
// when it cannot be read or its checksum fails (the built-in table is then used).
bool readExfatUpcase(ExfatVolume& volume, std::uint32_t expectedChecksum, ExfatUpcase& upcase);

}  // namespace rekkon
