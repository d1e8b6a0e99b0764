#include "ntfs/NtfsFoundEntry.h"

namespace rekkon {

void addNtfsFoundFile(FoundListBuilder& builder, const NtfsFoundFile& found) {
    DeletedFileEntry e;
    e.origin = kNtfsRecordOrigin;
    e.location = found.record;
    e.timesUtc = true;
    e.attributes = found.attributes;
    e.size = found.size;
    e.createTime = found.createTime;
    e.accessTime = found.accessTime;
    e.writeTime = found.writeTime;
    e.lastAccessTime = found.lastAccessTime;
    e.birthTime = found.createTime;
    e.changeTime = found.changeTime;
    e.name = found.name;
    e.status = found.status;
    e.folder = found.folder;
    if (found.streams.empty()) return builder.addFile(std::move(e));
    builder.addFile(e);
    for (const NtfsFoundStream& stream : found.streams) {
        DeletedFileEntry s = e;
        s.name = found.name + ":" + stream.name;
        s.stream = stream.name;
        s.size = stream.size;
        s.status = stream.status;
        builder.addStream(std::move(s));
    }
}

}  // namespace rekkon
