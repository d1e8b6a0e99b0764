#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "fs/FoundEntry.h"

namespace rekkon::cli {

// Writes found files as JSON, CSV or a body file one at a time, as a scan finds them, in the same
// bytes as printJson, printCsv and printBodyfile write the whole list. Nothing is written before
// the first entry or finish(), so a command that fails before then leaves its output empty.
class EntryStream {
  public:
    enum class Format { Json, Csv, Bodyfile };

    EntryStream(std::ostream& out, Format format) : out_(out), format_(format) {}
    void add(const DeletedFileEntry& entry);
    // Ends the document: the header alone or "[]" when nothing was added.
    void finish();
    std::uint64_t count() const { return count_; }

  private:
    std::ostream& out_;
    Format format_;
    std::uint64_t count_ = 0;
    std::string text_;
};

}  // namespace rekkon::cli
