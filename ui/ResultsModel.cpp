#include "ui/ResultsModel.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

#include "recovery/EntryText.h"
#include "ui/ContentTypeText.h"
#include "ui/FileKind.h"
#include "ui/SortRules.h"

namespace rekkon::ui {

namespace {

QString columnTitle(int column) {
    switch (column) {
        case kNameColumn:
            return QStringLiteral("File Name");
        case kSizeColumn:
            return QStringLiteral("Size (kB)");
        case kCreateTimeColumn:
            return QStringLiteral("Create Time");
        case kAccessTimeColumn:
            return QStringLiteral("Last Access Time");
        case kStatusColumn:
            return QStringLiteral("Estimated Status");
        case kTypeColumn:
            return QStringLiteral("Type");
        case kLongNameColumn:
            return QStringLiteral("Long Name");
        case kFolderColumn:
            return QStringLiteral("Folder");
        default:
            return {};
    }
}

// A name from the volume as the list shows it: a C0 control or DEL as its visible symbol
// (U+2400..U+2421: "␛" for ESC, "␊" for a line feed), a C1 control as U+FFFD. Only what is
// shown changes; sorting, searching and recovering use the name itself.
QString shownName(const std::string& name) {
    QString text = QString::fromStdString(name);
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u));
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421));
        else if (u >= 0x80 && u <= 0x9F)
            c = QChar(char16_t(0xFFFD));
    }
    return text;
}

QString cellText(const DeletedFileEntry& e, int column) {
    switch (column) {
        case kNameColumn:
            return shownName(e.name);
        case kSizeColumn:
            return QString::fromStdString(sizeText(e.size));
        case kCreateTimeColumn:
            return QString::fromStdString(timeText(e.createTime));
        case kAccessTimeColumn:
            return QString::fromStdString(timeText(e.accessTime));
        case kStatusColumn:
            return QString::fromStdString(statusText(e.status));
        case kTypeColumn:
            return e.contentType.empty() ? shownName(typeText(e.name)) : contentTypeText(e);
        case kLongNameColumn:
            return e.longName ? shownName(*e.longName) : QString();
        case kFolderColumn:
            return shownName(e.folder);
        default:
            return {};
    }
}

// The list's columns are all left-aligned, sizes included.
Qt::Alignment cellAlignment(int /*column*/) {
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// Shows the wait cursor while it lives, when there is a widget application to show it.
class WaitCursor {
  public:
    WaitCursor() : shown_(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        if (shown_) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor() {
        if (shown_) QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    bool shown_;
};

}  // namespace

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsModel::setEntries(const FoundList* list) {
    beginResetModel();
    list_ = (list != nullptr && !list->empty()) ? list : nullptr;
    previousColumn_ = 0;
    sortColumn_ = -1;
    sortedAscending_ = true;
    order_.clear();
    representative_.clear();
    filterIndex_.reset(list_);
    if (list_ != nullptr) {
        order_.resize(list_->size());
        for (std::uint32_t i = 0; i < order_.size(); ++i)
            order_[i] = i;
        representative_ = streamOwners(*list_);
    }
    rows_ = filtered(order_);
    endResetModel();
}

std::vector<std::uint32_t> ResultsModel::filtered(const std::vector<std::uint32_t>& order) {
    if (filter_.passesEverything()) return order;
    const std::string needle = RowFilterIndex::needleOf(filter_);
    std::vector<std::uint32_t> rows;
    for (const std::uint32_t index : order)
        if (filterIndex_.passes(index, filter_, needle)) rows.push_back(index);
    return rows;
}

void ResultsModel::setFilter(const RowFilter& filter) {
    filter_ = filter;
    if (list_ == nullptr) return;
    emit layoutAboutToBeChanged();
    showRows(filtered(order_));
    emit layoutChanged();
}

void ResultsModel::showRows(std::vector<std::uint32_t> rows) {
    constexpr int kNotShown = -1;
    std::vector<int> newRowOf(list_->size(), kNotShown);
    for (std::size_t row = 0; row < rows.size(); ++row)
        newRowOf[rows[row]] = static_cast<int>(row);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        const int row = newRowOf[rows_[static_cast<std::size_t>(index.row())]];
        to.append(row == kNotShown ? QModelIndex() : createIndex(row, index.column()));
    }
    rows_ = std::move(rows);
    changePersistentIndexList(from, to);
}

void ResultsModel::sortByColumn(int column) {
    if (column < 0 || column > 0xFFFF) return;
    if (list_ != nullptr && column < kColumns) {
        WaitCursor wait;
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        sortRows(*list_, representative_, order_, column, previousColumn_);
        showRows(filtered(order_));
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        sortColumn_ = column;
        sortedAscending_ = sortsAscending(column, previousColumn_);
    }
    previousColumn_ = previousAfterClick(column, previousColumn_);
}

std::optional<std::size_t> ResultsModel::indexAt(int row) const {
    if (list_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return std::nullopt;
    return rows_[static_cast<std::size_t>(row)];
}

std::optional<DeletedFileEntry> ResultsModel::entryAt(int row) const {
    if (const auto index = indexAt(row)) return (*list_)[*index];
    return std::nullopt;
}

int ResultsModel::columnWidth(int column) {
    static constexpr int kWidths[kColumns] = {170, 71, 134, 134, 115, 41, 170, 170};
    return column >= 0 && column < kColumns ? kWidths[column] : 0;
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    const auto entry = index.isValid() ? entryAt(index.row()) : std::nullopt;
    if (!entry) return {};
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return cellText(*entry, column);
        case Qt::TextAlignmentRole:
            return static_cast<int>(cellAlignment(column));
        case Qt::DecorationRole:
            return column == kNameColumn ? QVariant(iconFor(entry->name)) : QVariant();
        case Qt::ToolTipRole:
            return entry->contentType.empty() ? QVariant() : QVariant(contentCheckText(*entry));
        case Qt::UserRole:
            return QVariant::fromValue<qulonglong>(entry->location);
        default:
            return {};
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < kColumns) {
        if (role == Qt::DisplayRole) return columnTitle(section);
        if (role == Qt::TextAlignmentRole) {
            return static_cast<int>(cellAlignment(section));
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

// The icon of a name's type, by its extension alone: one look-up per distinct extension. The
// theme's icon for the type where the desktop has one, else the program's own for its kind.
QIcon ResultsModel::iconFor(const std::string& name) const {
    const QString extension = QString::fromStdString(typeText(name)).toLower();
    const auto cached = iconByExtension_.constFind(extension);
    if (cached != iconByExtension_.constEnd()) return *cached;

    const QMimeDatabase database;
    const QString probe = extension.isEmpty() ? QStringLiteral("file") : "file." + extension;
    const QMimeType mime = database.mimeTypeForFile(probe, QMimeDatabase::MatchExtension);
    QIcon icon;
    if (QIcon::hasThemeIcon(mime.iconName()))
        icon = QIcon::fromTheme(mime.iconName());
    else if (QIcon::hasThemeIcon(mime.genericIconName()))
        icon = QIcon::fromTheme(mime.genericIconName());
    else
        icon = QIcon(QString::fromLatin1(fileKindIconPath(fileKindOf(probe.toStdString()))));
    iconByExtension_.insert(extension, icon);
    return icon;
}

}  // namespace rekkon::ui
