// The preview pane beside the main window's list.
#include <QAction>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QSplitter>
#include <QTableView>

#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"
#include "ui/ResultsModel.h"

namespace rekkon::ui {

QWidget* MainWindow::makePreviewSplitter() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    preview_ = new PreviewPane(splitter);
    preview_->hide();
    splitter->addWidget(view_);
    splitter->addWidget(preview_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    previewAction_ = new QAction(QStringLiteral("Show &Preview"), this);
    previewAction_->setCheckable(true);
    previewAction_->setShortcut(QKeySequence(Qt::Key_F3));
    previewAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(previewAction_);
    connect(previewAction_, &QAction::toggled, this, [this](bool on) {
        if (!on) {
            // Hidden, it reads nothing.
            preview_->showSelectionHint(0);
            preview_->stopReading();
        }
        preview_->setVisible(on);
        updatePreview();
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::updatePreview);
    // A refilled list's entries are new: what the pane shows belongs to the old one.
    connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::updatePreview);
    // The filter may hide the selected row (a sort keeps it: the pane does not read it again).
    connect(model_, &QAbstractItemModel::layoutChanged, this, &MainWindow::updatePreview);
    return splitter;
}

void MainWindow::updatePreview() {
    if (!previewAction_->isChecked()) return;
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    const auto entry =
        mounted_ && rows.size() == 1 ? model_->entryAt(rows.first().row()) : std::nullopt;
    if (entry)
        preview_->showEntry(*context_, *entry);
    else
        preview_->showSelectionHint(static_cast<int>(rows.size()));
}

void MainWindow::stopPreview() {
    preview_->stopReading();
}

}  // namespace rekkon::ui
