// The main window's settings remembered between runs.
#include <QAction>
#include <QHeaderView>
#include <QSettings>
#include <QTableView>

#include "ui/MainWindow.h"
#include "ui/ResultsModel.h"

namespace rekkon::ui {

std::unique_ptr<QSettings> MainWindow::settings() const {
    if (hooks_.openSettings) return hooks_.openSettings();
    return std::make_unique<QSettings>(QStringLiteral("rekkon"), QStringLiteral("rekkon"));
}

void MainWindow::restoreSettings() {
    const std::unique_ptr<QSettings> stored = settings();
    if (!stored) return;
    if (const QByteArray geometry = stored->value(QStringLiteral("window/geometry")).toByteArray();
        !geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray columns = stored->value(QStringLiteral("list/columns")).toByteArray();
    // A state saved with another number of columns is not used.
    if (!columns.isEmpty() &&
        stored->value(QStringLiteral("list/columnCount")).toInt() == ResultsModel::kColumns)
        columnsFromSettings_ = view_->horizontalHeader()->restoreState(columns);
    view_->horizontalHeader()->setSortIndicatorShown(false);
    longNamesAction_->setChecked(stored->value(QStringLiteral("options/longNames")).toBool());
    previewAction_->setChecked(stored->value(QStringLiteral("options/preview")).toBool());
    lastDestination_ = stored->value(QStringLiteral("recover/destination")).toString();
    keepFoldersAction_->setChecked(stored->value(QStringLiteral("options/keepFolders")).toBool());
}

void MainWindow::saveSettings() {
    const std::unique_ptr<QSettings> stored = settings();
    if (!stored) return;
    stored->setValue(QStringLiteral("window/geometry"), saveGeometry());
    stored->setValue(QStringLiteral("list/columns"), view_->horizontalHeader()->saveState());
    stored->setValue(QStringLiteral("list/columnCount"), ResultsModel::kColumns);
    stored->setValue(QStringLiteral("options/longNames"), longNamesAction_->isChecked());
    stored->setValue(QStringLiteral("options/preview"), previewAction_->isChecked());
    if (!lastDestination_.isEmpty())
        stored->setValue(QStringLiteral("recover/destination"), lastDestination_);
    stored->setValue(QStringLiteral("options/keepFolders"), keepFoldersAction_->isChecked());
}

}  // namespace rekkon::ui
