#pragma once

#include <QDialog>

#include <optional>
#include <string>

#include "recovery/ScanContext.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace rekkon::ui {

// Browses the live folders of the mounted FAT volume, showing their long names; the tree is read
// a folder at a time as it is opened.
class ChangeFolderDialog : public QDialog {
    Q_OBJECT

  public:
    ChangeFolderDialog(ScanContext& context, const QString& rootText, QWidget* parent = nullptr);

    // The chosen folder as the scan names it: 8.3 components separated by '\' ("\" the root).
    std::string chosenFolder() const;
    QTreeWidget* tree() const { return tree_; }

    // Shows the dialog; the chosen folder, or nullopt when cancelled.
    static std::optional<std::string> chooseFolder(QWidget* parent, ScanContext& context,
                                                   const QString& rootText = QStringLiteral("\\"));

  private:
    void fill(QTreeWidgetItem* item);

    ScanContext& context_;
    QTreeWidget* tree_ = nullptr;
};

}  // namespace rekkon::ui
