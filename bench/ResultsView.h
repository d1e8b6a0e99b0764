#pragma once

#include <QHeaderView>
#include <QObject>
#include <QTableView>

#include "ui/ResultsModel.h"

// The results list as the desktop benches measure it: `model` in `view`, rows selected whole, and
// a click on a column title sorting by that column, as in the main window.
inline void showResults(QTableView& view, rekkon::ui::ResultsModel& model) {
    view.setModel(&model);
    view.setSortingEnabled(false);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QObject::connect(view.horizontalHeader(), &QHeaderView::sectionClicked, &model,
                     &rekkon::ui::ResultsModel::sortByColumn);
}
