// The widths and shown columns of the main window's list.
#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

#include "ui/ContentTypeText.h"
#include "ui/MainWindow.h"
#include "ui/ResultsModel.h"
#include "ui/SortRules.h"

namespace rekkon::ui {

int MainWindow::scaledColumnWidth(int column) const {
    return static_cast<int>(ResultsModel::columnWidth(column) * fontScale_);
}

void MainWindow::fitToFileSystem() {
    const FileSystemCapabilities can = capabilities();
    changeFolderButton_->setEnabled(can.foldersChoosable);
    // Where a file has one whole name (NTFS, exFAT) there is no Long Name column: File Name
    // takes its room, so long names are seen as far as they can be.
    view_->setColumnHidden(kLongNameColumn, !can.longNames);
    if (!columnsFromSettings_)
        view_->setColumnWidth(kNameColumn,
                              scaledColumnWidth(kNameColumn) +
                                  (can.longNames ? 0 : scaledColumnWidth(kLongNameColumn)));
}

void MainWindow::fitContentColumns() {
    // The Long Name column shows only where a listed entry has a long name (FAT); files found
    // by their content have none.
    const bool longNames =
        capabilities().longNames &&
        std::any_of(context_->foundList.begin(), context_->foundList.end(),
                    [](const DeletedFileEntry& e) { return e.longName.has_value(); });
    view_->setColumnHidden(kLongNameColumn, !longNames);
    if (columnsFromSettings_) return;  // the user's widths stay
    // Names of files found by their content (a photo's date and camera), stream types
    // ("txt:Zone.Identifier") and deep folders need more room than the columns start with:
    // they widen to what the rows in view need, within bounds.
    const QAbstractItemView* view = view_;  // where the measure is public
    const int most = 2 * scaledColumnWidth(kNameColumn);
    for (const int column : {kNameColumn, kTypeColumn, kFolderColumn}) {
        const int wanted = std::min(view->sizeHintForColumn(column) + 8, most);
        if (wanted > view_->columnWidth(column)) view_->setColumnWidth(column, wanted);
    }
    // The rows in view may not hold the longest type or folder: the longest of the list is
    // measured too.
    const DeletedFileEntry* longestType = nullptr;
    const DeletedFileEntry* longestFolder = nullptr;
    std::size_t typeLength = 0;
    std::size_t folderLength = 0;
    for (const DeletedFileEntry& e : context_->foundList) {
        const std::size_t type =
            e.contentType.empty() ? extensionOf(e.name).size() : e.contentType.size();
        if (type > typeLength) {
            typeLength = type;
            longestType = &e;
        }
        if (e.folder.size() > folderLength) {
            folderLength = e.folder.size();
            longestFolder = &e;
        }
    }
    const QFontMetrics metrics = view_->fontMetrics();
    const auto widen = [&](int column, const QString& text) {
        const int wanted = std::min(metrics.horizontalAdvance(text) + 16, most);
        if (wanted > view_->columnWidth(column)) view_->setColumnWidth(column, wanted);
    };
    if (longestType != nullptr)
        widen(kTypeColumn, longestType->contentType.empty()
                               ? QString::fromStdString(std::string(extensionOf(longestType->name)))
                               : contentTypeText(*longestType));
    if (longestFolder != nullptr)
        widen(kFolderColumn, QString::fromStdString(longestFolder->folder));
}

}  // namespace rekkon::ui
