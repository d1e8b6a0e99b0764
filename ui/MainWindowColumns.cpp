// The widths and shown columns of the main window's list.
#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <optional>

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
    const FoundList& list = context_->foundList;
    bool longNames = false;
    for (std::size_t i = 0; capabilities().longNames && !longNames && i < list.size(); ++i)
        longNames = list.longName(i).has_value();
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
    std::optional<std::size_t> longestType;
    std::optional<std::size_t> longestFolder;
    std::size_t typeLength = 0;
    std::size_t folderLength = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string_view contentType = list.contentType(i);
        const std::size_t type =
            contentType.empty() ? extensionOf(list.name(i)).size() : contentType.size();
        if (type > typeLength) {
            typeLength = type;
            longestType = i;
        }
        if (list.folder(i).size() > folderLength) {
            folderLength = list.folder(i).size();
            longestFolder = i;
        }
    }
    const QFontMetrics metrics = view_->fontMetrics();
    const auto widen = [&](int column, const QString& text) {
        const int wanted = std::min(metrics.horizontalAdvance(text) + 16, most);
        if (wanted > view_->columnWidth(column)) view_->setColumnWidth(column, wanted);
    };
    if (longestType) {
        const DeletedFileEntry e = list[*longestType];
        widen(kTypeColumn, e.contentType.empty()
                               ? QString::fromStdString(std::string(extensionOf(e.name)))
                               : contentTypeText(e));
    }
    if (longestFolder) widen(kFolderColumn, QString::fromStdString(list[*longestFolder].folder));
}

}  // namespace rekkon::ui
