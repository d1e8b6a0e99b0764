#include "ui/FirstCharDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

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

// Characters among the widest of their scripts: the field fits each of them.
const QString kWideCharacters = QStringLiteral("W@M\u0416\u0429\u6F22\uAC00\uFF37");

// The width of a line edit whose text area fits any one character of its font.
int characterFieldWidth(const QLineEdit& edit) {
    const QFontMetrics metrics = edit.fontMetrics();
    int widest = 0;
    for (const QChar c : kWideCharacters)
        widest = std::max(widest, metrics.horizontalAdvance(c));
    // The edit's own margins (2 pixels each side), its text margins and its frame.
    constexpr int kLineEditMargin = 2;
    const QMargins text = edit.textMargins();
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
    const QSize inner(widest + 2 * kLineEditMargin + text.left() + text.right(), metrics.height());
    return edit.style()->sizeFromContents(QStyle::CT_LineEdit, &option, inner, &edit).width();
}

QString detailsText(const FirstCharFile& file) {
    QStringList lines;
    if (!file.folder.isEmpty()) lines << QStringLiteral("Folder: %1").arg(file.folder);
    if (!file.longName.isEmpty()) lines << QStringLiteral("Long name: %1").arg(file.longName);
    if (file.size)
        lines << QStringLiteral("Size: %1 bytes").arg(QLocale().toString(qulonglong{*file.size}));
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

FirstCharDialog::FirstCharDialog(const QString& fileName, QWidget* parent,
                                 const QString& suggestion, const FirstCharFile& file)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Type in the first character"));
    setModal(true);

    edit_ = new QLineEdit(suggestion.isEmpty() ? QStringLiteral("?") : suggestion, this);
    edit_->setObjectName(QStringLiteral("firstChar"));
    edit_->setAlignment(Qt::AlignCenter);
    edit_->setMaxLength(kMaxTypedChars);
    edit_->setFixedWidth(std::max(duX(14), characterFieldWidth(*edit_)));
    edit_->selectAll();  // typing replaces the '?' or the suggestion

    // Everything after the lost character.
    auto* rest = new QLabel(fileName.mid(1), this);
    rest->setObjectName(QStringLiteral("restOfName"));
    rest->setTextFormat(Qt::PlainText);

    // Which file is meant, when the name alone does not tell.
    auto* details = new QLabel(detailsText(file), this);
    details->setObjectName(QStringLiteral("fileDetails"));
    details->setTextFormat(Qt::PlainText);
    details->setVisible(!details->text().isEmpty());

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
    grid->addWidget(details, 2, 0, 2, 2, Qt::AlignLeft | Qt::AlignTop);
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
                           QString::fromStdString(suggestion.value_or("")), file_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.answer();
}

}  // namespace rekkon::ui
