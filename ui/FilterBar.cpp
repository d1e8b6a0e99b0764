#include "ui/FilterBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace rekkon::ui {

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("filterText"));
    text_->setPlaceholderText(QStringLiteral("Name, folder or type"));
    text_->setClearButtonEnabled(true);
    auto* label = new QLabel(QStringLiteral("&Filter:"), this);
    label->setBuddy(text_);
    status_ = new QComboBox(this);
    status_->setObjectName(QStringLiteral("filterStatus"));
    // In the order of StatusFilter.
    status_->addItems({QStringLiteral("All files"), QStringLiteral("Good only"),
                       QStringLiteral("Good and Average")});
    status_->setToolTip(QStringLiteral("Which estimated states the list shows"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(label);
    row->addWidget(text_, 1);
    row->addWidget(status_);
    text_->installEventFilter(this);
    connect(text_, &QLineEdit::textChanged, this, [this] { emit filterChanged(filter()); });
    connect(status_, &QComboBox::currentIndexChanged, this,
            [this] { emit filterChanged(filter()); });
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit entered();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

RowFilter FilterBar::filter() const {
    return {text_->text().trimmed(),
            static_cast<StatusFilter>(std::max(0, status_->currentIndex()))};
}

}  // namespace rekkon::ui
