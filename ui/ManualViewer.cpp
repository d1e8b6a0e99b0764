#include "ui/ManualViewer.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/Texts.h"

namespace rekkon::ui {

ManualViewer::ManualViewer(const QUrl& manual, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Manual — ") + kProductTitle);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    browser_ = new QTextBrowser(this);
    browser_->setOpenLinks(true);
    // Links to other places on the web are not followed inside; the page's own anchors are.
    browser_->setOpenExternalLinks(false);
    browser_->setSource(manual);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addWidget(buttons);
    // About 80 characters wide and 40 lines high; the screen may make it smaller.
    resize(fontMetrics().averageCharWidth() * 90, fontMetrics().lineSpacing() * 40);
    browser_->setFocus();
}

QString manualMissingMessage(const QString& path) {
    return QStringLiteral(
               "The manual could not be found at \"%1\". Reinstall the program, or read the "
               "manual MANUAL.html in its source folder.")
        .arg(path);
}

}  // namespace rekkon::ui
