#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::ui {

// Which estimates the results list shows.
enum class StatusFilter { All, GoodOnly, GoodAndAverage };

// What the filter line above the results list asks for: rows whose name, long name, folder or
// type holds `text` (letters compared case-insensitively), with an estimate `status` lets through.
struct RowFilter {
    QString text;
    StatusFilter status = StatusFilter::All;

    bool passesEverything() const { return text.isEmpty() && status == StatusFilter::All; }
};

// The searchable text of every entry of a found list, lower-cased once, in one buffer, so that a
// keystroke costs one substring search per entry. Built on the first filter that has text.
class RowFilterIndex {
  public:
    // Forgets the texts; `list` (may be null) must outlive the index or be replaced first.
    void reset(const FoundList* list);
    // Whether entry `index` of the list passes `filter`; `needle` is needleOf(filter).
    bool passes(std::size_t index, const RowFilter& filter, std::string_view needle);
    // The filter's text as the index compares it.
    static std::string needleOf(const RowFilter& filter);

  private:
    void build();

    const FoundList* list_ = nullptr;
    std::string texts_;                // every entry's text, one after another
    std::vector<std::size_t> starts_;  // entry i's text is texts_[starts_[i], starts_[i + 1])
};

// The text a name, long name, folder or type is searched in: ASCII letters lower-cased byte by
// byte, and a text with other characters lower-cased as Unicode.
std::string foldedText(std::string_view text);

}  // namespace rekkon::ui
