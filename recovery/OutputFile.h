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
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int fd() const { return fd_; }
    bool unnamed() const { return hiddenPath_.empty(); }

    // Closes the file and gives it `name`, or the first free one of numberedName(name, 1..499),
    // never replacing an existing file. True with the full `path`; false with errno in `error`
    // (EEXIST when every name is taken), the file discarded. A failed close is a failure too.
    bool publish(const std::string& name, std::string& path, int& error);

  private:
    PendingFile(std::string folder, int fd, std::string hiddenPath)
        : folder_(std::move(folder)), fd_(fd), hiddenPath_(std::move(hiddenPath)) {}
    bool linkUnnamed(const std::string& target, int& error);
    bool renameHidden(const std::string& target, int& error);
    void discard();

    std::string folder_;
    int fd_ = -1;
    std::string hiddenPath_;  // empty for an unnamed file
};

// `folder` and `name` joined by one '/'.
std::string pathInFolder(const std::string& folder, const std::string& name);

// Whether `name` or one of its numbered forms is still free in `folder`: a look before a copy
// that would find no name; publish decides.
bool someNameFree(const std::string& folder, const std::string& name);

}  // namespace rekkon
