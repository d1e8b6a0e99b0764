#include "ui/ChangeFolderDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/Texts.h"

namespace rekkon::ui {

namespace {

// Item data: the folder's id, its path as a scan names it, and whether its subfolders have been
// read.
constexpr int kFolderRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kFilledRole = Qt::UserRole + 2;

int depthOf(const QTreeWidgetItem* item) {
    int depth = 0;
    for (const QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
        ++depth;
    return depth;
}

}  // namespace

ChangeFolderDialog::ChangeFolderDialog(ScanContext& context, const QString& rootText,
                                       QWidget* parent)
    : QDialog(parent), context_(context) {
    setWindowTitle(kProductTitle);
    resize(420, 400);
    auto* label =
        new QLabel(QStringLiteral("Choose the folder whose deleted files to look for:"), this);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);

    auto* root = new QTreeWidgetItem(tree_, QStringList(rootText));
    if (context_.fileSystem)
        root->setData(0, kFolderRole,
                      QVariant::fromValue<qulonglong>(context_.fileSystem->rootFolder()));
    root->setData(0, kPathRole, QString());
    root->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    connect(tree_, &QTreeWidget::itemExpanded, this, &ChangeFolderDialog::fill);
    fill(root);
    root->setExpanded(true);
    tree_->setCurrentItem(root);
}

void ChangeFolderDialog::fill(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool()) return;
    item->setData(0, kFilledRole, true);
    // A damaged volume can have a folder lead back to its own ancestor; the tree stops as deep
    // as a scan would.
    FileSystem* fs = context_.fileSystem.get();
    if (fs == nullptr || depthOf(item) >= fs->folderDepthLimit()) return;
    const std::uint64_t id = item->data(0, kFolderRole).toULongLong();
    const QString path = item->data(0, kPathRole).toString();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const LiveFolder& folder : fs->liveFolders(id)) {
        auto* child =
            new QTreeWidgetItem(item, QStringList(QString::fromStdString(folder.shownName)));
        child->setIcon(0, folderIcon);
        child->setData(0, kFolderRole, QVariant::fromValue<qulonglong>(folder.id));
        child->setData(0, kPathRole,
                       path + QLatin1Char('\\') + QString::fromStdString(folder.name));
        // Whether it has subfolders is learnt when it is opened.
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

std::string ChangeFolderDialog::chosenFolder() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    const QString path = item != nullptr ? item->data(0, kPathRole).toString() : QString();
    return path.isEmpty() ? std::string("\\") : path.toStdString();
}

std::optional<std::string> ChangeFolderDialog::chooseFolder(QWidget* parent, ScanContext& context,
                                                            const QString& rootText) {
    ChangeFolderDialog dialog(context, rootText, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosenFolder();
}

}  // namespace rekkon::ui
