#include "recovery/DeletedFileEntry.h"

namespace rekkon {

std::string foundProgressText(int count) {
    return "Found " + std::to_string(count) + " deleted files. Searching...";
}

const std::string& outputNameOf(const DeletedFileEntry& entry, bool longNames) {
    return longNames && entry.longName && !entry.longName->empty() ? *entry.longName : entry.name;
}

void FoundListBuilder::addFile(DeletedFileEntry entry) {
    list_.push_back(std::move(entry));
    ++foundCount_;
    if (progress_) progress_(foundProgressText(foundCount_));
}

}  // namespace rekkon
