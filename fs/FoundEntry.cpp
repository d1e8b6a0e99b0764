#include "fs/FoundEntry.h"

#include <algorithm>

#include "volume/TextEncoding.h"

namespace rekkon {

std::string foundProgressText(int count) {
    return "Found " + std::to_string(count) + " deleted files. Searching...";
}

std::string lostFolderProgressText(int found, int percent) {
    return "Found " + std::to_string(found) + " deleted files. Searching free space for lost " +
           "folders (" + std::to_string(percent) + "%)...";
}

std::string carveProgressText(int found, int percent) {
    return "Found " + std::to_string(found) + " deleted files. Searching free space by content (" +
           std::to_string(percent) + "%)...";
}

const std::string& outputNameOf(const DeletedFileEntry& entry, bool longNames) {
    const bool useLong =
        longNames && entry.longName && !entry.longName->empty() && !entry.longNameCut;
    return useLong ? *entry.longName : entry.name;
}

std::string inEntryCase(const DeletedFileEntry& entry, std::string restored) {
    if (entry.lowerCaseBase && !restored.empty() && restored.front() >= 'A' &&
        restored.front() <= 'Z')
        restored.front() = static_cast<char>(restored.front() - 'A' + 'a');
    return restored;
}

void FoundListBuilder::addFile(const DeletedFileEntry& entry) {
    addStream(entry);
    ++foundCount_;
    if (progress_) progress_(foundProgressText(foundCount_));
}

void FoundListBuilder::addStream(const DeletedFileEntry& entry) {
    if (keep_) list_.push_back(entry);
    if (sink_ != nullptr && *sink_) (*sink_)(entry);
}

bool folderWithin(const std::string& folder, const std::string& filter) {
    std::string wanted = filter;
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    if (wanted.empty() || wanted.front() != '\\') wanted.insert(wanted.begin(), '\\');
    while (wanted.size() > 1 && wanted.back() == '\\')
        wanted.pop_back();
    if (wanted == "\\") return !folder.empty() && folder.front() == '\\';
    const std::string a = asciiUpper(folder), b = asciiUpper(wanted);
    return a.size() >= b.size() && a.compare(0, b.size(), b) == 0 &&
           (a.size() == b.size() || a[b.size()] == '\\');
}

}  // namespace rekkon
