#include "ui/ProgressWindow.h"

#include <QLabel>
#include <QMutexLocker>
#include <QTimer>

namespace rekkon::ui {

ProgressWindow::ProgressWindow(QWidget* parent) : QWidget(parent) {
    picture_ = new QLabel(this);
    text_ = new QLabel(this);
    timer_ = new QTimer(this);
}

void ProgressWindow::start(const QString& sourceName) {
    text_->setText(QStringLiteral("Initialization of volume %1: ...").arg(sourceName));
    show();
}

void ProgressWindow::setText(const QString& text) {
    QMutexLocker lock(&pendingMutex_);
    pendingText_ = text;
}

void ProgressWindow::stop() {
    hide();
}

void ProgressWindow::nextFrame() {}

void ProgressWindow::applyPendingText() {}

}  // namespace rekkon::ui
