#pragma once

#include <memory>
#include <string>

namespace rekkon {

// How a file being written is kept out of sight until it is complete.
enum class PendingMethod {
    Auto,        // an unnamed file (O_TMPFILE) where the folder's file system has them
    HiddenName,  // a hidden ".rekkon-XXXXXX" name, renamed when complete
};

// A new file in a folder that appears under its final name only once it is complete. An
// unpublished file leaves nothing behind: destroying it discards the data.
class PendingFile {
  public:
    // Creates the file in `folder`; null with errno in `error` when it cannot be created.
    static std::unique_ptr<PendingFile> create(const std::string& folder, int& error,
                                               PendingMethod method = PendingMethod::Auto);
    // The same in the folder open as `folderFd` (a descriptor of its own is kept), whatever
    // path leads there meanwhile; `folder` is the path its names are reported under.
    static std::unique_ptr<PendingFile> createIn(int folderFd, const std::string& folder,
                                                 int& error,
                                                 PendingMethod method = PendingMethod::Auto);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int fd() const { return fd_; }
    bool unnamed() const { return hiddenName_.empty(); }

    // Closes the file and gives it `name`, or the first free one of numberedName(name, 1..499),
    // never replacing an existing file. True with the full `path`; false with errno in `error`
    // (EEXIST when every name is taken), the file discarded. A failed close is a failure too.
    bool publish(const std::string& name, std::string& path, int& error);

  private:
    PendingFile(std::string folder, int folderFd, int fd, std::string hiddenName)
        : folder_(std::move(folder)),
          folderFd_(folderFd),
          fd_(fd),
          hiddenName_(std::move(hiddenName)) {}
    bool linkUnnamed(const std::string& target, int& error);
    bool renameHidden(const std::string& target, int& error);
    void discard();

    std::string folder_;
    int folderFd_ = -1;  // the folder; every name is made relative to it
    int fd_ = -1;
    std::string hiddenName_;  // empty for an unnamed file
};

// `folder` and `name` joined by one '/'.
std::string pathInFolder(const std::string& folder, const std::string& name);

// Whether `name` or one of its numbered forms is still free in `folder` (or the folder open as
// `folderFd`): a look before a copy that would find no name; publish decides.
bool someNameFree(const std::string& folder, const std::string& name);
bool someNameFreeIn(int folderFd, const std::string& name);

}  // namespace rekkon
