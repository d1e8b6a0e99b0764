#include "fat/FatFoundEntry.h"

#include <algorithm>

namespace rekkon {

DeletedFileEntry toDeletedFileEntry(const FatFoundFile& found, std::string_view origin) {
    DeletedFileEntry e;
    e.origin = origin;
    e.location = found.firstCluster;
    e.slot = found.slot;
    e.attributes = static_cast<std::uint32_t>(
        static_cast<std::int32_t>(static_cast<std::int8_t>(found.attributes)));
    e.size = found.size;
    e.createTime = e.accessTime = found.time;
    e.writeTime = found.time;
    e.lastAccessTime = found.accessDate;
    e.birthTime = found.createdTime;
    e.name = found.name;
    e.status =
        found.score >= 100 ? kStatusGood : static_cast<std::uint8_t>(std::max(found.score, 0));
    e.folder = found.folder;
    e.longName = found.longName;
    e.longNameCut = found.longNameCut;
    e.lowerCaseBase = found.lowerCaseBase;
    // A proven first letter is shown in the case of the rest of the base.
    if (found.firstChar) e.firstChar = inEntryCase(e, *found.firstChar);
    return e;
}

}  // namespace rekkon
