#include "ntfs/NtfsFoundEntry.h"

namespace rekkon {

void addNtfsFoundFile(FoundListBuilder& builder, const NtfsFoundFile& found) {
    // One entry per thread, every field set anew for each file: its strings keep their room from
    // one record to the next, where a long scan would allocate them millions of times.
    thread_local DeletedFileEntry e;
    e.slot = 0;
    e.stream.clear();
    e.longName.reset();
    e.longNameCut = false;
    e.lowerCaseBase = false;
    e.firstChar.reset();
    e.contentType = {};
    e.contentCheck.clear();
    e.firstFragmentBytes = 0;
    e.fragmentGapBytes = 0;
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
