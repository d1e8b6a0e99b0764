#include "ui/PartitionPicker.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "ui/DriveText.h"
#include "ui/Texts.h"

namespace rekkon::ui {

const QString PartitionPicker::kLabelText = QStringLiteral("Select partition:");

namespace {

// The pale green of the drive dialog, its label and its buttons.
const QColor kDialogColour(241, 249, 225);

void paintPale(QWidget* widget, QPalette::ColorRole background, QPalette::ColorRole text) {
    QPalette pale = widget->palette();
    pale.setColor(background, kDialogColour);
    pale.setColor(text, Qt::black);
    widget->setPalette(pale);
}

}  // namespace

QString partitionName(const QString& diskPath, int number) {
    const QString disk = QFileInfo(diskPath).fileName();
    if (!diskPath.startsWith(QStringLiteral("/dev/")))
        return QStringLiteral("%1 partition %2").arg(disk).arg(number);
    const bool endsInDigit = !disk.isEmpty() && disk.back().isDigit();
    return disk + (endsInDigit ? QStringLiteral("p") : QString()) + QString::number(number);
}

PartitionPicker::PartitionPicker(const QString& diskPath, const PartitionTable& table,
                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(kProductTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    paintPale(this, QPalette::Window, QPalette::WindowText);
    setAutoFillBackground(true);

    label_ = new QLabel(kLabelText, this);
    label_->setTextFormat(Qt::PlainText);
    combo_ = new QComboBox(this);
    combo_->setEditable(false);
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    label_->setBuddy(combo_);
    for (const PartitionInfo& p : table.partitions) {
        if (!isVolumeFileSystemName(p.fileSystem)) continue;
        combo_->addItem(
            driveItemText(partitionName(diskPath, p.number), QString::fromStdString(p.fileSystem),
                          p.length, QString::fromStdString(p.label)),
            p.number);
    }

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    ok_->setEnabled(combo_->count() > 0);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setAutoDefault(false);
    for (QPushButton* button : {ok_, cancel_})
        paintPale(button, QPalette::Button, QPalette::ButtonText);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout(this);
    row->addWidget(label_);
    row->addWidget(combo_, 1);
    row->addSpacing(12);
    row->addWidget(ok_);
    row->addWidget(cancel_);
    combo_->setFocus();
}

std::optional<int> PartitionPicker::selectedPartition() const {
    if (combo_->currentIndex() < 0) return std::nullopt;
    return combo_->currentData().toInt();
}

std::optional<int> PartitionPicker::ask(QWidget* parent, const QString& diskPath,
                                        const PartitionTable& table) {
    PartitionPicker picker(diskPath, table, parent);
    if (picker.exec() != QDialog::Accepted) return std::nullopt;
    return picker.selectedPartition();
}

}  // namespace rekkon::ui
