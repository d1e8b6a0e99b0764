#pragma once

#include <map>
#include <string>
#include <vector>

namespace rekkon::test {

// The unpacked fixture image `relative` (for example "fat/fat16.img") in the build tree.
std::string fixtureImage(const std::string& relative);
// A file committed under tests/data (for example "fat/fat16.manifest.tsv").
std::string fixtureSource(const std::string& relative);

// A tab-separated manifest: one map per row, keyed by the header's column names.
using ManifestRow = std::map<std::string, std::string>;
std::vector<ManifestRow> readManifest(const std::string& path);

// Runs `command` with /bin/sh, capturing stdout; `status` gets the exit status.
std::string runCommand(const std::string& command, int& status);
bool commandAvailable(const std::string& name);

// A fresh, empty temporary folder, removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace rekkon::test
