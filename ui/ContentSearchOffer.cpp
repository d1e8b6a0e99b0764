#include "ui/ContentSearchOffer.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/Texts.h"

namespace rekkon::ui {

QString wholeSourceOfferText() {
    return QStringLiteral(
        "All of it can be searched instead, sector by sector, for files of known formats by "
        "their content: this finds photos, videos and documents, but not their names or "
        "folders. Nothing is written to it.");
}

QString freeSpaceOfferText() {
    return QStringLiteral(
        "If it was formatted, its free space can be searched for files of known formats by "
        "their content: this finds photos, videos and documents, but not their names or "
        "folders. Nothing is written to it.");
}

bool askSearchByContentBox(QWidget* parent, const QString& text) {
    // A warning: something went wrong; the offer is the way on.
    QMessageBox box(QMessageBox::Warning, kProductTitle, text, QMessageBox::NoButton, parent);
    QPushButton* search =
        box.addButton(QStringLiteral("Search by content"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(search);
    box.exec();
    return box.clickedButton() == search;
}

}  // namespace rekkon::ui
