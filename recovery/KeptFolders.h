#pragma once

#include <map>
#include <string>
#include <vector>

namespace rekkon {

// One component of a found file's folder path as the name of a folder to create: '/' and
// control characters (controlsAsUnderscores) become '_', and so does '?' (on FAT it stands for a
// lost first character, which is given as '_' like `--first-char _`); "." and ".." get a '_' in
// front, an empty one is "_", and one longer than 255 bytes is cut on a UTF-8 boundary.
std::string safeFolderName(const std::string& component);

// The components of a found folder path ("\A\B", "<unknown 5>\A", "<lost folder 9>"): split at
// '\', empty ones left out. The root ("\" or "") has none.
std::vector<std::string> folderComponents(const std::string& folderPath);

// The folders of a recovery that keeps the found files' folder paths: each path is recreated
// below the destination one component at a time, every step relative to the descriptor of the
// folder above and never through a symbolic link, so nothing is created outside the
// destination, whatever the names or what someone plants there. An existing folder is used;
// a name held by anything else (a file, a link) gets the numbered form "NAME(1)".."NAME(499)".
class KeptFolders {
  public:
    // Opens the destination (which must exist); when it cannot be, every folderFor fails.
    explicit KeptFolders(const std::string& destination);
    ~KeptFolders();
    KeptFolders(const KeptFolders&) = delete;
    KeptFolders& operator=(const KeptFolders&) = delete;

    // The folder for `folderPath`, created where missing: its descriptor (O_PATH) and its path;
    // fd -1 with errno in `error` (and the path reached) when it cannot be made. With `keep`
    // false, the destination itself.
    struct Folder {
        Folder() = default;
        Folder(Folder&& other) noexcept : fd(other.fd), path(std::move(other.path)) {
            other.fd = -1;
        }
        Folder& operator=(Folder&&) = delete;
        ~Folder();
        int fd = -1;
        std::string path;
    };
    Folder folderFor(const std::string& folderPath, bool keep, int& error);

  private:
    // Opens (creating it where needed) the folder `name` in `parentFd`; the name used in `used`.
    int openOrMake(int parentFd, const std::string& name, std::string& used, int& error);

    std::string destination_;
    int destinationFd_ = -1;
    int openError_ = 0;
    // Below the destination: the relative path of sanitised components asked for -> the path
    // used (numbered forms included), so a numbered folder serves every file that belongs there.
    std::map<std::string, std::string> used_;
};

}  // namespace rekkon
