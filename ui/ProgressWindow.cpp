#include "ui/ProgressWindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/ElidedLabel.h"

namespace rekkon::ui {

namespace {

// The strip's size and the places of the picture and the text, in pixels at 96 dpi.
constexpr int kWidth = 452;
constexpr int kHeight = 55;
constexpr int kPictureLeft = 8;
constexpr int kTop = 11;
constexpr int kPictureSize = 32;
constexpr int kTextLeft = 39;
constexpr int kTextWidth = 402;
// At most this share of the screen's width, when a long text asks for more room.
constexpr double kMostOfScreen = 0.6;
// The row below the text that holds the Cancel button during a scan.
constexpr int kCancelRowHeight = 32;
constexpr int kCancelWidth = 92;
constexpr int kCancelHeight = 23;

}  // namespace

ProgressWindow::ProgressWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("progressWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    setCursor(Qt::WaitCursor);

    // Without a title bar the strip draws its own raised frame.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(2);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    picture_ = new QLabel(frame);
    picture_->setObjectName(QStringLiteral("progressPicture"));
    picture_->setFixedSize(kPictureSize, kPictureSize);
    text_ = new ElidedLabel(frame);
    text_->setObjectName(QStringLiteral("progressText"));
    text_->setAlignment(Qt::AlignCenter);
    text_->setMinimumWidth(kTextWidth);
    text_->setFixedHeight(kPictureSize);
    text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The strip never becomes the active window, and the main window is disabled while it
    // shows: its text keeps the colours of an active, enabled window, or it is drawn greyed.
    QPalette palette = text_->palette();
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::Window}) {
        const QColor active = palette.color(QPalette::Active, role);
        palette.setColor(QPalette::Inactive, role, active);
        palette.setColor(QPalette::Disabled, role, active);
    }
    text_->setPalette(palette);

    cancel_ = new QPushButton(QStringLiteral("Cancel"), frame);
    cancel_->setObjectName(QStringLiteral("progressCancel"));
    cancel_->setFixedSize(kCancelWidth, kCancelHeight);
    cancel_->setCursor(Qt::ArrowCursor);
    cancel_->setAutoDefault(false);
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, &ProgressWindow::pressCancel);
    // The strip never takes the focus: Escape pressed in any window of the program reaches it
    // (only while the button shows: the shortcut belongs to it).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), cancel_);
    escape->setContext(Qt::ApplicationShortcut);
    connect(escape, &QShortcut::activated, this, &ProgressWindow::pressCancel);

    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, kPictureLeft, 0);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(kPictureLeft, kTop, 0, 0);
    row->setSpacing(kTextLeft - kPictureLeft - kPictureSize);
    row->addWidget(picture_, 0, Qt::AlignTop);
    row->addWidget(text_, 1, Qt::AlignTop);
    column->addLayout(row);
    column->addStretch(1);
    column->addWidget(cancel_, 0, Qt::AlignRight | Qt::AlignVCenter);
    column->addSpacing(4);

    for (int i = 0; i < kFrameCount; ++i) {
        frames_[static_cast<size_t>(i)] =
            QIcon(QStringLiteral(":/progress-%1.svg").arg(i)).pixmap(kPictureSize, kPictureSize);
    }

    timer_ = new QTimer(this);
    timer_->setInterval(kFrameIntervalMs);
    connect(timer_, &QTimer::timeout, this, &ProgressWindow::nextFrame);
}

void ProgressWindow::start(const QString& sourceName) {
    {
        // A text left over from an earlier scan must not replace this one's first line.
        QMutexLocker lock(&pendingMutex_);
        pendingText_.reset();
    }
    running_ = true;
    text_->setText(QStringLiteral("Initialization of volume %1: ...").arg(sourceName));
    fitWidth();
    showFrame(0);
    timer_->start();
    centreOnScreen();
    show();
    raise();
}

void ProgressWindow::setText(const QString& text) {
    QMutexLocker lock(&pendingMutex_);
    pendingText_ = text;
    if (applyQueued_) return;
    applyQueued_ = true;
    // Runs on this window's thread; dropped with the window if it is destroyed first.
    QMetaObject::invokeMethod(this, &ProgressWindow::applyPendingText, Qt::QueuedConnection);
}

void ProgressWindow::offerCancel() {
    cancel_->setEnabled(true);
    cancel_->show();
    cancelShown_ = true;
    fitWidth();
}

void ProgressWindow::pressCancel() {
    if (!cancel_->isVisible() || !cancel_->isEnabled()) return;
    cancel_->setEnabled(false);  // once: the scan stops at its next check
    emit cancelRequested();
}

void ProgressWindow::stop() {
    {
        QMutexLocker lock(&pendingMutex_);
        pendingText_.reset();
    }
    running_ = false;
    timer_->stop();
    cancel_->hide();
    cancelShown_ = false;
    setFixedSize(kWidth, kHeight);
    hide();
}

void ProgressWindow::showFrame(int index) {
    frame_ = index;
    picture_->setPixmap(frames_[static_cast<size_t>(index)]);
    picture_->setProperty("frame", index);
}

void ProgressWindow::nextFrame() {
    showFrame((frame_ + 1) % kFrameCount);
}

void ProgressWindow::applyPendingText() {
    std::optional<QString> text;
    {
        QMutexLocker lock(&pendingMutex_);
        applyQueued_ = false;
        text.swap(pendingText_);
    }
    if (!running_ || !text) return;
    text_->setText(*text);
    fitWidth();
    // Another window may have come to the front since; the strip stays above it.
    raise();
}

QRect ProgressWindow::screenArea() const {
    QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : nullptr;
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

void ProgressWindow::fitWidth() {
    // Wider for a long text, as far as the screen allows; what still does not fit is cut in the
    // middle by the label. Never narrower while it shows, so the strip does not jump about.
    const QRect area = screenArea();
    const int wanted = text_->fontMetrics().horizontalAdvance(text_->text()) + kWidth - kTextWidth;
    const int most = area.isValid() ? static_cast<int>(area.width() * kMostOfScreen) : kWidth;
    int width = std::clamp(wanted, kWidth, std::max(kWidth, most));
    if (isVisible()) width = std::max(width, this->width());
    const int height = kHeight + (cancelShown_ ? kCancelRowHeight : 0);
    if (width == this->width() && height == this->height() && isVisible()) return;
    setFixedSize(width, height);
    centreOnScreen();
}

void ProgressWindow::centreOnScreen() {
    const QRect area = screenArea();
    if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

void ProgressWindow::changeEvent(QEvent* event) {
    // Disabling the main window disables its child windows too; the strip stays as it is (its
    // Cancel button is disabled on its own once pressed).
    if (event->type() == QEvent::EnabledChange && !isEnabled()) setEnabled(true);
    QWidget::changeEvent(event);
}

}  // namespace rekkon::ui
