#include "cli/EntryStream.h"

#include <ostream>

#include "cli/BodyfileOutput.h"
#include "cli/EntryOutput.h"

namespace rekkon::cli {

void EntryStream::add(const DeletedFileEntry& entry) {
    text_.clear();
    switch (format_) {
        case Format::Json:
            text_ += count_ == 0 ? "[\n" : ",\n";
            appendJsonEntry(text_, entry);
            out_ << text_;
            break;
        case Format::Csv:
            if (count_ == 0) out_ << csvHeader();
            writeCsvLine(out_, entry);
            break;
        case Format::Bodyfile:
            appendBodyfileLine(text_, entry);
            out_ << text_;
            break;
    }
    ++count_;
}

void EntryStream::finish() {
    if (format_ == Format::Json) out_ << (count_ == 0 ? "[]\n" : "\n]\n");
    if (format_ == Format::Csv && count_ == 0) out_ << csvHeader();
    out_.flush();
}

}  // namespace rekkon::cli
