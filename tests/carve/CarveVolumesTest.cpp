// The carving volumes of tests/data/carve-volumes: real files written by mtools, ntfs-3g and
// exfat-fuse, then formatted over or wiped (tools/make-carve-fixtures.sh). Each manifest row says
// where the file lay and whether its bytes were still there after the destruction.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <stdexcept>

#include "carve/CarvingFileSystem.h"
#include "recovery/CarveMount.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/RecoverAll.h"

namespace rekkon {
namespace {

struct Written {
    const DeletedFileEntry* entry;
    std::string md5;
};

// Every entry of one scan of the image (with a search by content, and with `deep` the lost-folder
// search too), written into a temporary folder.
struct Recovered {
    ScanContext context;
    test::TempDir dir;
    std::vector<Written> files;
    std::vector<test::ManifestRow> manifest;
    std::set<std::string> originals;  // the manifest's md5s

    Recovered(const std::string& image, bool deep) {
        manifest = test::readManifest(test::fixtureSource("carve-volumes/" + image + ".manifest"));
        for (const auto& row : manifest)
            originals.insert(row.at("md5"));
        int error = 0;
        auto source = openFileSource(test::fixtureImage("carve-volumes/" + image + ".img"), error);
        if (!source) throw std::runtime_error(image + ": cannot open the unpacked image");
        mountForCarving(context, std::move(source), {}, {});
        ScanOptions options;
        options.deep = deep;
        scanVolume(context, "", {}, options);
        for (const RecoveryOutcome& o : test::recoverAllFound(context, dir.path(), "_"))
            if (o.result == RecoveryResult::Written)
                files.push_back({o.entry, test::md5OfFile(o.outputPath)});
    }

    const Written* byMd5(const std::string& md5, bool carved) const {
        for (const Written& w : files)
            if (w.md5 == md5 && (w.entry->origin == kCarvedOrigin) == carved) return &w;
        return nullptr;
    }

    // Every file that lay in one run and was still there comes back byte-exact; no file whose
    // content was checked (a carved one, or an entry where a carved file starts) is Good unless
    // its check found it whole and it is byte-identical to an original.
    void expectContiguousBackAndNothingFalselyWhole() const {
        std::set<std::string> got;
        for (const Written& w : files)
            got.insert(w.md5);
        for (const auto& row : manifest) {
            if (row.at("contiguous") == "yes" && row.at("intact") == "yes") {
                EXPECT_TRUE(got.count(row.at("md5")))
                    << row.at("path") << " not recovered byte-exact";
            }
        }
        for (const Written& w : files) {
            const DeletedFileEntry& e = *w.entry;
            if (e.contentCheck.empty() || e.status != 255) continue;
            EXPECT_TRUE(e.contentCheck.starts_with("whole") && originals.count(w.md5))
                << e.folder << "\\" << e.name << " (" << e.size << " bytes, " << e.origin
                << ") is listed Good, its check " << e.contentCheck << ", but matches no original";
        }
    }
};

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> split(const std::string& path, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(path);
    for (std::string part; std::getline(in, part, sep);)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string testName(const testing::TestParamInfo<const char*>& param) {
    std::string name = param.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

class CarveVolumes : public testing::TestWithParam<const char*> {};

TEST_P(CarveVolumes, ContiguousFilesComeBackByteExactAndNothingFalseIsWhole) {
    Recovered r(GetParam(), false);
    r.expectContiguousBackAndNothingFalselyWhole();
}

INSTANTIATE_TEST_SUITE_P(Images, CarveVolumes,
                         testing::Values("fat32-formatted", "ntfs-formatted", "exfat-wiped",
                                         "exfat-formatted", "split-jpeg-card"),
                         testName);

// After a quick format the old folders' clusters survive: with the lost-folder search in the same
// pass, every file they still hold comes back under its own name and folder (as far as the lost
// folders tell), and carving adds only files no entry explains.
class CarveVolumesDeep : public testing::TestWithParam<const char*> {};

TEST_P(CarveVolumesDeep, QuickFormatGivesNamesBackAndCarvesOnlyTheRest) {
    Recovered r(GetParam(), true);
    r.expectContiguousBackAndNothingFalselyWhole();
    for (const auto& row : r.manifest) {
        if (row.at("deleted") == "yes") continue;
        const Written* w = r.byMd5(row.at("md5"), false);
        ASSERT_NE(w, nullptr) << row.at("path") << " not found through its folder entry";
        const auto want = split(row.at("path"), '/');
        const DeletedFileEntry& e = *w->entry;
        EXPECT_TRUE(sameName(e.longName.value_or(e.name), want.back()))
            << row.at("path") << " came back as " << e.longName.value_or(e.name);
        // A folder's later cluster, its chain gone, is a lost folder of its own: the path above
        // it is not known.
        const auto folder = split(e.folder, '\\');
        if (!e.folder.starts_with("<lost folder")) {
            ASSERT_GE(folder.size(), want.size() - 1) << row.at("path") << " in " << e.folder;
        }
        for (std::size_t i = 1; i < want.size() && i <= folder.size(); ++i) {
            const std::string& got = folder[folder.size() - i];
            EXPECT_TRUE(sameName(got, want[want.size() - 1 - i]) || got.starts_with("<lost folder"))
                << row.at("path") << " in " << e.folder;
        }
    }
    std::set<std::string> explained;
    for (const Written& w : r.files)
        if (w.entry->origin != kCarvedOrigin) explained.insert(w.md5);
    for (const Written& w : r.files) {
        if (w.entry->origin == kCarvedOrigin) {
            EXPECT_FALSE(explained.count(w.md5)) << w.entry->name << " is carved though an entry "
                                                 << "already lists it";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Images, CarveVolumesDeep,
                         testing::Values("fat32-formatted", "exfat-formatted"), testName);

// Two JPEGs that mtools stored in two runs with other data between them (4 and 301 clusters; one
// with restart markers, one without) are rejoined and come back whole.
// Carved, and with --deep through their own entries (under their names): the data the search
// found in two fragments is theirs.
class CarveVolumesSplit : public testing::TestWithParam<bool> {};

TEST_P(CarveVolumesSplit, JpegsInTwoFragmentsComeBackWhole) {
    Recovered r("split-jpeg-card", GetParam());
    for (const auto& row : r.manifest) {
        if (row.at("contiguous") == "yes") continue;
        const Written* w = r.byMd5(row.at("md5"), !GetParam());
        if (w == nullptr) {
            ADD_FAILURE() << row.at("path") << " (runs " << row.at("runs")
                          << ") not recovered byte-exact";
            continue;
        }
        EXPECT_TRUE(w->entry->contentCheck.starts_with("whole, in two fragments"))
            << w->entry->contentCheck;
        EXPECT_EQ(w->entry->status, 255);
    }
}

INSTANTIATE_TEST_SUITE_P(CarvedOrDeep, CarveVolumesSplit, testing::Bool());

// With the lost-folder search too, an entry where a split JPEG starts is not Good unless what it
// writes is the JPEG.
TEST(CarveVolumesSplitDeep, NothingIsGoodThatIsNotTheOriginal) {
    Recovered("split-jpeg-card", true).expectContiguousBackAndNothingFalselyWhole();
}

}  // namespace
}  // namespace rekkon
