#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::ui {

// The rows of the results list: one row per entry of a found-file list, in list order until a
// column header is clicked. The list is not copied; it must outlive the model or be replaced
// through setEntries first. Qt::UserRole of any cell gives the entry's location.
class ResultsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    static constexpr int kColumns = 7;

    explicit ResultsModel(QObject* parent = nullptr);

    // Shows `list` (null or empty: no rows) in list order and forgets the sort state.
    void setEntries(const FoundList* list);
    // A click on the header of `column`: sorts the rows by it, in the order the click state
    // gives (see ui/SortRules.h), and remembers the click.
    void sortByColumn(int column);
    // The entry shown in `row`; null outside the rows.
    const DeletedFileEntry* entryAt(int row) const;
    // The width in pixels that the results list gives `column` at first (0 outside the columns).
    static int columnWidth(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QIcon iconFor(const std::string& name) const;

    const FoundList* list_ = nullptr;
    std::vector<std::uint32_t> rows_;            // row -> index into *list_
    std::vector<std::uint32_t> representative_;  // index -> the entry it sorts as
    std::uint16_t previousColumn_ = 0;
    mutable QHash<QString, QIcon> iconByExtension_;
};

}  // namespace rekkon::ui
