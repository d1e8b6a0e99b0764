#include "ui/AboutBox.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Texts.h"

namespace rekkon::ui {

const QString AboutBox::kMakerNotice = QStringLiteral("Copyright \u00A9 2026 Vantrel Software");
const QString AboutBox::kWebAddress = QStringLiteral("https://www.vantrel.example/rekkon/");
const QString AboutBox::kLegalNotice = QStringLiteral(
    "Warning: this program is protected by copyright law. Copying or distributing it, or any "
    "part of it, without the permission of the copyright holder is not allowed.");

namespace {

// Sizes in pixels at 96 dpi.
constexpr int kWidth = 366;
constexpr int kBannerHeight = 60;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 69;
constexpr int kButtonHeight = 23;

QLabel* plainLabel(const QString& text, const QString& name, Qt::Alignment alignment,
                   QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);  // no '&' mnemonics, no markup
    label->setAlignment(alignment);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedWidth(kWidth);

    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("aboutBanner"));
    banner->setPixmap(QIcon(QStringLiteral(":/about-banner.svg")).pixmap(kWidth, kBannerHeight));
    banner->setFixedSize(kWidth, kBannerHeight);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(QIcon(QStringLiteral(":/rekkon.svg")).pixmap(kIconSize, kIconSize));
    icon->setFixedSize(kIconSize, kIconSize);

    QLabel* title = plainLabel(kProductTitle, QStringLiteral("aboutTitle"), Qt::AlignCenter, this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    title->setFont(titleFont);
    QLabel* maker = plainLabel(kMakerNotice, QStringLiteral("aboutMaker"), Qt::AlignCenter, this);
    QLabel* web = plainLabel(kWebAddress, QStringLiteral("aboutWeb"), Qt::AlignCenter, this);
    QLabel* legal =
        plainLabel(kLegalNotice, QStringLiteral("aboutLegal"), Qt::AlignLeft | Qt::AlignTop, this);
    legal->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    ok->setFixedSize(kButtonWidth, kButtonHeight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Icon on the left, title and maker's notice beside it, OK in the upper right; the web
    // address and the legal notice below across the whole box.
    auto* grid = new QGridLayout;
    grid->setContentsMargins(16, 12, 11, 11);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(title, 0, 1);
    grid->addWidget(maker, 1, 1);
    grid->addWidget(ok, 0, 2, 2, 1, Qt::AlignTop);
    grid->addWidget(web, 2, 0, 1, 3);
    grid->addWidget(legal, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowMinimumHeight(2, 28);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(banner);
    outer->addLayout(grid);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    ok->setFocus();
}

}  // namespace rekkon::ui
