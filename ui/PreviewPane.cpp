#include "ui/PreviewPane.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <utility>

namespace rekkon::ui {

namespace {

QString entryName(const DeletedFileEntry& entry) {
    return QString::fromStdString(entry.longName && !entry.longNameCut ? *entry.longName
                                                                       : entry.name);
}

QString captionText(const DeletedFileEntry& entry, const QString& shown) {
    const QString size = entry.size < 1024
                             ? QStringLiteral("%1 bytes").arg(entry.size)
                             : QLocale::system().formattedDataSize(static_cast<qint64>(entry.size));
    return QStringLiteral("%1  \u2014  %2  \u2014  %3").arg(entryName(entry), size, shown);
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(64, 64);
}

void PictureView::setPicture(const QImage& picture) {
    picture_ = picture;
    pixmap_ = picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
    scaled_ = QPixmap();
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    if (pixmap_.isNull()) return;
    // Scaled down to fit, never up (a picture pixel to a logical pixel at most), drawn in the
    // screen's device pixels.
    const QSize fitted =
        pixmap_.size().boundedTo(pixmap_.size().scaled(size(), Qt::KeepAspectRatio));
    const qreal ratio = devicePixelRatioF();
    const QSize device = (QSizeF(fitted) * ratio).toSize();
    if (scaled_.size() != device) {
        scaled_ = device == pixmap_.size()
                      ? pixmap_
                      : pixmap_.scaled(device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaled_.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawPixmap((width() - fitted.width()) / 2, (height() - fitted.height()) / 2, scaled_);
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    worker_.setMaxThreadCount(1);
    caption_ = new QLabel(this);
    caption_->setTextFormat(Qt::PlainText);
    // A long caption wraps rather than widening the pane.
    caption_->setWordWrap(true);
    note_ = new QLabel(this);
    note_->setTextFormat(Qt::PlainText);
    note_->setAlignment(Qt::AlignCenter);
    note_->setWordWrap(true);
    picture_ = new PictureView(this);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setTabChangesFocus(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pages_ = new QStackedWidget(this);
    pages_->addWidget(note_);
    pages_->addWidget(picture_);
    pages_->addWidget(text_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption_);
    layout->addWidget(pages_, 1);
    showSelectionHint(0);
}

PreviewPane::~PreviewPane() {
    stopReading();
}

const QImage& PreviewPane::picture() const {
    return picture_->picture();
}

QString PreviewPane::note() const {
    return kind_ == Preview::Kind::Note ? note_->text() : QString();
}

void PreviewPane::stopReading() {
    ++generation_;
    worker_.clear();
    worker_.waitForDone();
    if (reading_) {
        current_.reset();
        caption_->clear();
        showNote(QStringLiteral("The preview was stopped."));
    }
}

void PreviewPane::showNote(const QString& text) {
    reading_ = false;
    kind_ = Preview::Kind::Note;
    note_->setText(text);
    picture_->setPicture({});
    text_->clear();
    pages_->setCurrentWidget(note_);
}

void PreviewPane::showSelectionHint(int selected) {
    ++generation_;
    worker_.clear();
    current_.reset();
    caption_->clear();
    caption_->setToolTip({});
    showNote(
        selected == 0
            ? QStringLiteral("Select a file to preview it.")
            : QStringLiteral("%1 files are selected: select one to preview it.").arg(selected));
}

void PreviewPane::showEntry(ScanContext& context, const DeletedFileEntry& entry) {
    if (current_ && keyOf(*current_) == keyOf(entry) && currentContext_ == &context) return;
    current_ = entry;
    currentContext_ = &context;
    const std::uint64_t generation = ++generation_;
    worker_.clear();
    caption_->setText(captionText(entry, QStringLiteral("reading...")));
    reading_ = true;
    // The entry is copied: the list it lives in may be replaced while the read runs.
    worker_.start([this, generation, &context, entry] {
        const auto cancelled = [this, generation] { return generation_.load() != generation; };
        if (cancelled()) return;
        std::optional<Preview> preview = buildPreview(context, entry, cancelled);
        if (!preview) return;
        // Queued to the pane's thread; dropped there when a newer request came meanwhile (and
        // by Qt when the pane is gone).
        QMetaObject::invokeMethod(
            this,
            [this, generation, entry, preview = std::move(*preview)] {
                if (generation_.load() == generation) present(entry, preview);
            },
            Qt::QueuedConnection);
    });
}

void PreviewPane::present(const DeletedFileEntry& entry, const Preview& preview) {
    const QString caption =
        captionText(entry, preview.shown.isEmpty() ? QStringLiteral("no preview") : preview.shown);
    caption_->setText(caption);
    caption_->setToolTip(caption);
    reading_ = false;
    switch (preview.kind) {
        case Preview::Kind::Note:
            showNote(preview.text);
            break;
        case Preview::Kind::Picture:
            kind_ = preview.kind;
            text_->clear();
            picture_->setPicture(preview.picture);
            pages_->setCurrentWidget(picture_);
            break;
        case Preview::Kind::Text:
        case Preview::Kind::Hex:
            kind_ = preview.kind;
            picture_->setPicture({});
            text_->setLineWrapMode(preview.kind == Preview::Kind::Text ? QPlainTextEdit::WidgetWidth
                                                                       : QPlainTextEdit::NoWrap);
            text_->setPlainText(preview.text);
            pages_->setCurrentWidget(text_);
            break;
    }
    emit previewShown();
}

}  // namespace rekkon::ui
