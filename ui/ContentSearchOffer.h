#pragma once

#include <QString>

class QWidget;

namespace rekkon::ui {

// What the offer of a search by content adds to the message of a source in which no volume
// mounts: the whole source can be searched sector by sector for files of known formats.
QString wholeSourceOfferText();
// What it adds to the message of a volume whose scan found nothing: its free space can be
// searched by content.
QString freeSpaceOfferText();

// The question box: `text` (what happened, then the offer) with "Search by content" and Cancel.
// Returns true when the search is chosen.
bool askSearchByContentBox(QWidget* parent, const QString& text);

}  // namespace rekkon::ui
