#include "ui/FirstCharDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include "ui/Texts.h"

namespace rekkon::ui {

namespace {

// The edit takes no more than this many characters; only the first one counts.
constexpr int kMaxTypedChars = 9;

// Dialog units of the dialog's layout, in pixels at 96 dpi.
constexpr int duX(int units) {
    return units * 3 / 2;
}
constexpr int duY(int units) {
    return units * 13 / 8;
}

}  // namespace

FirstCharDialog::FirstCharDialog(const QString& fileName, QWidget* parent,
                                 const QString& suggestion)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Type in the first character"));
    setModal(true);

    edit_ = new QLineEdit(suggestion.isEmpty() ? QStringLiteral("?") : suggestion, this);
    edit_->setObjectName(QStringLiteral("firstChar"));
    edit_->setAlignment(Qt::AlignCenter);
    edit_->setMaxLength(kMaxTypedChars);
    edit_->setFixedWidth(duX(14));
    edit_->selectAll();  // typing replaces the '?' or the suggestion

    // Everything after the lost character.
    auto* rest = new QLabel(fileName.mid(1), this);
    rest->setObjectName(QStringLiteral("restOfName"));
    rest->setTextFormat(Qt::PlainText);

    useForAll_ = new QCheckBox(QStringLiteral("Use for all files"), this);
    useForAll_->setObjectName(QStringLiteral("useForAll"));

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(ok_, &QPushButton::clicked, this, &FirstCharDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &FirstCharDialog::reject);
    ok_->setMinimumWidth(duX(55));
    cancel->setMinimumWidth(duX(55));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(duX(7), duY(7), duX(7), duY(7));
    grid->setHorizontalSpacing(duX(4));
    grid->addWidget(edit_, 0, 0);
    grid->addWidget(rest, 0, 1);
    grid->addWidget(useForAll_, 1, 0, 1, 2);
    grid->addWidget(ok_, 1, 2);
    grid->addWidget(cancel, 2, 2);
    grid->setColumnStretch(1, 1);

    setTabOrder(edit_, useForAll_);
    setTabOrder(useForAll_, ok_);
    setTabOrder(ok_, cancel);
    edit_->setFocus();
    resize(duX(194), duY(66));
}

void FirstCharDialog::accept() {
    const auto typed = legalFirstChar(edit_->text().toStdString());
    if (!typed) {
        QMessageBox box(QMessageBox::Warning, kProductTitle,
                        QStringLiteral("You need to type in any legal character"), QMessageBox::Ok,
                        this);
        box.exec();
        edit_->setFocus();
        edit_->selectAll();
        return;  // the dialog stays open
    }
    answer_ = FirstCharAnswer{*typed, useForAll_->isChecked()};
    QDialog::accept();
}

void FirstCharDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

DialogFirstCharAsker::DialogFirstCharAsker(QWidget* parent) : parent_(parent) {}

std::optional<FirstCharAnswer> DialogFirstCharAsker::ask(
    const std::string& name, const std::optional<std::string>& suggestion) {
    // Only a name that lost its first character is asked about.
    if (name.size() < 2 || name.front() != '?') return std::nullopt;
    FirstCharDialog dialog(QString::fromStdString(name), parent_,
                           QString::fromStdString(suggestion.value_or("")));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.answer();
}

}  // namespace rekkon::ui
