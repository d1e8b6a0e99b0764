#include "recovery/DeletedFileEntry.h"

namespace rekkon {

std::string foundProgressText(int count) {
    return "Found " + std::to_string(count) + " deleted files. Searching...";
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

void FoundListBuilder::addFile(DeletedFileEntry entry) {
    list_.push_back(std::move(entry));
    ++foundCount_;
    if (progress_) progress_(foundProgressText(foundCount_));
}

}  // namespace rekkon
