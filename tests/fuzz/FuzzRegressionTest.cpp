// Replays every input the fuzz targets ever failed on (tests/data/fuzz/regressions/<target>/)
// and the committed seed images through the same bodies the targets run. Inputs under a
// target's pending/ folder fail still and wait for their mend; they are not replayed.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "carve/CarveFormat.h"
#include "fuzz/FuzzBodies.h"

namespace rekkon::fuzz {
namespace {

namespace fs = std::filesystem;
using Body = std::function<void(std::span<const std::uint8_t>)>;

struct Target {
    std::string name;
    Body body;
};

const std::vector<Target>& targets() {
    static const std::vector<Target> all = {
        {"fat_image", fuzzFatImage},
        {"ntfs_image", fuzzNtfsImage},
        {"mft_record", fuzzMftRecord},
        {"run_list", fuzzRunList},
        {"lznt1", fuzzLznt1},
        {"fat_dir", fuzzFatDir},
        {"partition_table", fuzzPartitionTable},
        {"fat_folder_cluster", fuzzFolderCluster},
        {"fat_volume", fuzzVolume},
        {"ntfs_volume", fuzzVolume},
        {"exfat_volume", fuzzVolume},
        {"exfat_entries", fuzzExfatEntries},
        {"disk", fuzzDisk},
        {"writer", fuzzWriter},
        {"carve_scan", fuzzCarveScan},
    };
    static const std::vector<Target> withCarving = [] {
        std::vector<Target> targets = all;
        for (const CarveFormat& f : carveFormats()) {
            const std::string type(f.type);
            targets.push_back({"carve_" + type, [type](std::span<const std::uint8_t> bytes) {
                                   fuzzCarveFormat(type, bytes);
                               }});
        }
        return targets;
    }();
    return withCarving;
}

std::vector<std::uint8_t> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The files directly in a target's folder under `kind` (regressions or seeds), sorted;
// pending/ is a folder and so left out.
std::vector<fs::path> savedInputs(const std::string& kind, const std::string& target) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(REKKON_TEST_SOURCE_DATA_DIR) / "fuzz" / kind / target;
    if (!fs::is_directory(dir)) return files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<fs::path> regressionInputs(const std::string& target) {
    return savedInputs("regressions", target);
}

class FuzzRegression : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzRegression, EverySavedInputRunsClean) {
    const Target& target = GetParam();
    const std::vector<fs::path> inputs = regressionInputs(target.name);
    // Each target keeps at least the empty and the one-byte input: a missing folder is a fault.
    ASSERT_GE(inputs.size(), 2u) << "no regression inputs for " << target.name;
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.string());
        const std::vector<std::uint8_t> bytes = readWhole(input);
        target.body(bytes);  // a failure aborts under the sanitizers or in fuzzCheck
    }
    // A target's committed seeds (tests/data/fuzz/seeds/<target>/), where it has any.
    for (const fs::path& input : savedInputs("seeds", target.name)) {
        SCOPED_TRACE(input.string());
        target.body(readWhole(input));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(targets()),
                         [](const ::testing::TestParamInfo<Target>& param) {
                             return param.param.name;
                         });

TEST(FuzzSeeds, ExfatSeedRunsClean) {
    const std::vector<std::uint8_t> bytes =
        readWhole(fs::path(REKKON_TEST_DATA_DIR) / "fuzz" / "seeds" / "exfat-small.img");
    ASSERT_EQ(bytes.size(), 1u << 20);
    std::vector<std::uint8_t> deep = bytes;
    deep.back() = 0x05;  // a deep scan of a found entry's folder
    fuzzVolume(deep);
    fuzzExfatEntries(std::span(bytes).first(1 << 16));
}

TEST(FuzzSeeds, SeedImagesRunClean) {
    const fs::path dir = fs::path(REKKON_TEST_DATA_DIR) / "fuzz" / "seeds";
    for (const char* name : {"fat16-small.img", "ntfs-small-512.img", "ntfs-small-4096.img"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> bytes = readWhole(dir / name);
        ASSERT_GT(bytes.size(), 1u << 20);
        if (std::string(name).starts_with("fat"))
            fuzzFatImage(bytes);
        else
            fuzzNtfsImage(bytes);
        // Through the mount and a deep scan of a found entry's folder (the last byte).
        std::vector<std::uint8_t> deep(bytes.begin(), bytes.begin() + (1 << 20));
        deep.back() = 0x05;
        fuzzVolume(deep);
    }
    for (const char* name :
         {"partition-dos.img", "partition-gpt-512.img", "partition-gpt-4096.img"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> bytes = readWhole(dir / name);
        ASSERT_GE(bytes.size(), 256u << 10);
        fuzzPartitionTable(bytes);
        fuzzDisk(bytes);
    }
}

}  // namespace
}  // namespace rekkon::fuzz
