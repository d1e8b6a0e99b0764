#include "recovery/RecoveryReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

namespace rekkon {

namespace {

using nlohmann::json;

json textOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

json optionalText(const std::optional<std::string>& text) {
    return text ? json(*text) : json(nullptr);
}

json entryObject(const ReportSource& source, const DeletedFileEntry* entry) {
    json o;
    o["source"] = source.source;
    o["volumeOffset"] = source.volumeOffset;
    o["origin"] = entry ? std::string(entry->origin) : "";
    o["location"] = entry ? entry->location : 0;
    o["name"] = entry ? entry->name : "";
    o["longName"] = entry ? optionalText(entry->longName) : json(nullptr);
    o["longNameCut"] = entry != nullptr && entry->longNameCut;
    o["firstChar"] = nullptr;
    o["folder"] = entry ? entry->folder : "";
    o["size"] = entry ? entry->size : 0;
    o["bytesWritten"] = 0;
    o["whole"] = false;
    return o;
}

}  // namespace

const char* reportStatus(RecoveryResult result) {
    switch (result) {
        case RecoveryResult::Written:
            return "written";
        case RecoveryResult::NotWhole:
            return "not-whole";
        case RecoveryResult::NoFirstChar:
            return "skipped-no-first-char";
        case RecoveryResult::CannotOpenData:
            return "skipped-no-data";
        case RecoveryResult::NoFreeName:
            return "skipped-no-free-name";
        case RecoveryResult::CannotCreate:
            return "failed-create";
        case RecoveryResult::WriteFailed:
            return "failed-write";
        case RecoveryResult::Cancelled:
            return "cancelled";
    }
    return "failed";
}

std::string recoveryReportJson(const ReportSource& source,
                               std::span<const RecoveryOutcome> outcomes,
                               std::span<const DeletedFileEntry* const> notTried) {
    json report = json::array();
    for (const RecoveryOutcome& o : outcomes) {
        const bool published =
            o.result == RecoveryResult::Written || o.result == RecoveryResult::NotWhole;
        json item = entryObject(source, o.entry);
        item["firstChar"] = textOrNull(o.firstChar);
        item["bytesWritten"] = published ? o.bytesWritten : 0;
        item["whole"] = o.result == RecoveryResult::Written;
        item["status"] = reportStatus(o.result);
        item["outputPath"] = published ? textOrNull(o.outputPath) : json(nullptr);
        item["md5"] = published ? textOrNull(o.md5) : json(nullptr);
        item["sha256"] = published ? textOrNull(o.sha256) : json(nullptr);
        item["unreadableBytes"] = published ? o.unreadableBytes : 0;
        item["missingBytes"] = published ? o.missingBytes : 0;
        item["message"] = describeOutcome(o);
        report.push_back(std::move(item));
    }
    for (const DeletedFileEntry* entry : notTried) {
        json item = entryObject(source, entry);
        item["status"] = kReportNotTried;
        item["outputPath"] = nullptr;
        item["md5"] = nullptr;
        item["sha256"] = nullptr;
        item["unreadableBytes"] = 0;
        item["missingBytes"] = 0;
        item["message"] = "not tried " + (entry ? entry->name : std::string()) +
                          ": the recovery stopped before it";
        report.push_back(std::move(item));
    }
    return report.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::unique_ptr<ReportFile> ReportFile::create(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errno;
        ::close(fd);
        ::unlink(path.c_str());  // just made with O_EXCL, and not yet written
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<ReportFile>(new ReportFile(path, fd, st.st_dev, st.st_ino));
}

ReportFile::~ReportFile() {
    if (!complete_) discard();
}

void ReportFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    struct stat named {};
    if (::lstat(path_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_)
        ::unlink(path_.c_str());
}

bool ReportFile::write(const std::string& text, int& error) {
    if (fd_ < 0) {
        error = EBADF;
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            discard();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        error = errno;
        discard();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error = errno;
        discard();
        return false;
    }
    complete_ = true;
    return true;
}

}  // namespace rekkon
