#include "ui/ResultsModel.h"

namespace rekkon::ui {

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsModel::setEntries(const FoundList* list) {
    beginResetModel();
    list_ = list;
    rows_.clear();
    representative_.clear();
    previousColumn_ = 0;
    if (list_ != nullptr) {
        rows_.resize(list_->size());
        for (std::uint32_t i = 0; i < rows_.size(); ++i)
            rows_[i] = i;
    }
    endResetModel();
}

void ResultsModel::sortByColumn(int) {}

const DeletedFileEntry* ResultsModel::entryAt(int row) const {
    if (list_ == nullptr || row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        return nullptr;
    }
    return &(*list_)[rows_[static_cast<std::size_t>(row)]];
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ResultsModel::data(const QModelIndex&, int) const {
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return QAbstractTableModel::headerData(section, orientation, role);
}

QIcon ResultsModel::iconFor(const std::string&) const {
    return {};
}

}  // namespace rekkon::ui
