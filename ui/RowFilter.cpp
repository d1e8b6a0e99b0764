#include "ui/RowFilter.h"

#include <algorithm>

#include "recovery/EntryText.h"
#include "ui/ContentTypeText.h"

namespace rekkon::ui {

std::string foldedText(std::string_view text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        const QByteArray folded =
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower().toUtf8();
        return {folded.constData(), static_cast<std::size_t>(folded.size())};
    }
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

void RowFilterIndex::reset(const FoundList* list) {
    list_ = list;
    texts_.clear();
    texts_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
}

void RowFilterIndex::build() {
    if (list_ == nullptr) return;
    starts_.reserve(list_->size() + 1);
    const FoundList& list = *list_;
    for (std::size_t i = 0; i < list.size(); ++i) {
        starts_.push_back(texts_.size());
        // Separated by a character no needle matches across, as it cannot be typed in one line.
        const std::string_view name = list.name(i);
        texts_ += foldedText(name);
        texts_ += '\n';
        if (const auto longName = list.longName(i)) texts_ += foldedText(*longName);
        texts_ += '\n';
        texts_ += foldedText(list.folder(i));
        texts_ += '\n';
        texts_ += list.contentType(i).empty() ? foldedText(typeText(std::string(name)))
                                              : foldedText(contentTypeText(list[i]).toStdString());
    }
    starts_.push_back(texts_.size());
}

std::string RowFilterIndex::needleOf(const RowFilter& filter) {
    return foldedText(filter.text.toStdString());
}

bool RowFilterIndex::passes(std::size_t index, const RowFilter& filter, std::string_view needle) {
    if (list_ == nullptr || index >= list_->size()) return false;
    const std::uint8_t status = list_->status(index);
    if (filter.status == StatusFilter::GoodOnly && status != 255) return false;
    if (filter.status == StatusFilter::GoodAndAverage && status == 0) return false;
    if (needle.empty()) return true;
    if (starts_.empty()) build();
    const std::string_view text(texts_.data() + starts_[index],
                                starts_[index + 1] - starts_[index]);
    return text.find(needle) != std::string_view::npos;
}

}  // namespace rekkon::ui
