#include "recovery/NtfsFoundEntry.h"

#include <algorithm>

#include "volume/TextEncoding.h"

namespace rekkon {

void addNtfsFoundFile(FoundListBuilder& builder, const NtfsFoundFile& found) {
    DeletedFileEntry e;
    e.location = found.record;
    e.attributes = found.attributes;
    e.size = found.size;
    e.createTime = found.createTime;
    e.accessTime = found.accessTime;
    e.writeTime = found.writeTime;
    e.lastAccessTime = found.lastAccessTime;
    e.name = found.name;
    e.status = found.status;
    e.folder = found.folder;
    if (found.streams.empty()) return builder.addFile(std::move(e));
    builder.addFile(e);
    for (const NtfsFoundStream& stream : found.streams) {
        DeletedFileEntry s = e;
        s.name = found.name + ":" + stream.name;
        s.size = stream.size;
        s.status = stream.status;
        builder.addStream(std::move(s));
    }
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
