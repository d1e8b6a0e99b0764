#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "fs/FoundEntry.h"
#include "recovery/ScanContext.h"

namespace rekkon::cli {

// What a Digital Forensics XML document says of where the files came from.
struct DfxmlSource {
    std::string imageFilename;       // the source as given
    std::uint64_t volumeOffset = 0;  // of the volume in the source, in bytes
    std::string commandLine;         // how the program was run
};

// The md5 and sha256 of a recovered file's bytes, by entry.
struct DfxmlHashes {
    std::string md5;
    std::string sha256;
};

// Text as XML character data or an attribute value: &, <, >, " escaped; characters XML 1.0
// cannot hold (C0 controls other than tab, line feed and carriage return, and bytes that are
// not UTF-8) written as U+FFFD.
std::string xmlText(const std::string& text);

// The found files as Digital Forensics XML: a <volume> with one <fileobject> per entry holding
// its path, size, unallocated state, inode (location), times (ISO 8601, "Z" after UTC ones),
// <byte_runs> as its data lies on the source (img_offset) and the volume (fs_offset), holes as
// fill="0" runs, and its hashes where `hashes` has them. The runs are read through the volume
// mounted in `context`.
void printDfxml(std::ostream& out, ScanContext& context, const DfxmlSource& source,
                const std::vector<const DeletedFileEntry*>& entries,
                const std::map<const DeletedFileEntry*, DfxmlHashes>& hashes = {});

}  // namespace rekkon::cli
