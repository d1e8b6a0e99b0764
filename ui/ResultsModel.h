#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/FoundEntry.h"
#include "ui/RowFilter.h"

namespace rekkon::ui {

// The rows of the results list: one row per entry of a found-file list that passes the filter, in
// list order until a column header is clicked. The list is not copied; it must outlive the model or
// be replaced through setEntries first. Qt::UserRole of any cell gives the entry's location.
class ResultsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    static constexpr int kColumns = 8;

    explicit ResultsModel(QObject* parent = nullptr);

    // Shows `list` (null or empty: no rows) in list order and forgets the sort state; the filter
    // stays.
    void setEntries(const FoundList* list);
    // Shows only the entries that pass `filter`, in the present order; the selection keeps the
    // rows still shown.
    void setFilter(const RowFilter& filter);
    const RowFilter& filter() const { return filter_; }
    // How many entries the list holds, shown or not.
    int foundCount() const { return static_cast<int>(order_.size()); }
    // The column of the last sort and whether it sorted A to Z / smallest first; -1 before any.
    int sortColumn() const { return sortColumn_; }
    bool sortedAscending() const { return sortedAscending_; }
    // A click on the header of `column`: sorts the rows by it, in the order the click state
    // gives (see ui/SortRules.h), and remembers the click.
    void sortByColumn(int column);
    // The entry shown in `row`; none outside the rows.
    std::optional<DeletedFileEntry> entryAt(int row) const;
    // Where in the list the entry shown in `row` is; none outside the rows.
    std::optional<std::size_t> indexAt(int row) const;
    // The list shown (null: none).
    const FoundList* list() const { return list_; }
    // The width in pixels that the results list gives `column` at first (0 outside the columns).
    static int columnWidth(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QIcon iconFor(const std::string& name) const;

    // Moves the persistent indexes (selection, current row) to the rows their entries have in
    // `rows`, dropping those no longer shown, and takes `rows` as the rows shown.
    void showRows(std::vector<std::uint32_t> rows);
    std::vector<std::uint32_t> filtered(const std::vector<std::uint32_t>& order);

    const FoundList* list_ = nullptr;
    std::vector<std::uint32_t> order_;           // every index into *list_, in sort order
    std::vector<std::uint32_t> rows_;            // row -> index into *list_: order_ filtered
    std::vector<std::uint32_t> representative_;  // index -> the entry it sorts as
    std::uint16_t previousColumn_ = 0;
    int sortColumn_ = -1;
    bool sortedAscending_ = true;
    RowFilter filter_;
    RowFilterIndex filterIndex_;
    mutable QHash<QString, QIcon> iconByExtension_;
};

}  // namespace rekkon::ui
