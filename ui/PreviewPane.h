#pragma once

#include <QImage>
#include <QPixmap>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <optional>

#include "fs/FoundEntry.h"
#include "recovery/ScanContext.h"
#include "ui/PreviewRead.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace rekkon::ui {

// Draws a picture scaled down to fit, its aspect kept, centred.
class PictureView : public QWidget {
    Q_OBJECT

  public:
    explicit PictureView(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    QPixmap pixmap_;
    QPixmap scaled_;  // pixmap_ fitted to the last size painted
};

// The preview beside the results list: a caption (name, size, what is shown) above the selected
// file as a picture, text or a hex dump (ui/PreviewRead.h). The file is read on a worker thread;
// a newer request supersedes the one running, whose copy stops at its next chunk and whose
// result is dropped. Only one read runs at a time.
class PreviewPane : public QWidget {
    Q_OBJECT

  public:
    explicit PreviewPane(QWidget* parent = nullptr);
    ~PreviewPane() override;

    // Reads `entry` of the volume mounted in `context` and shows it once read (nothing new when
    // it is the entry shown or being read). The volume must not be read by anything else until
    // the result is shown or stopReading() returns.
    void showEntry(ScanContext& context, const DeletedFileEntry& entry);
    // `selected` rows other than one: a hint in place of a preview.
    void showSelectionHint(int selected);
    // Cancels the read under way, if any, and waits for the worker to finish: after it the
    // volume is not read by the pane. What is shown stays; a read cancelled before its file was
    // shown leaves a note saying so.
    void stopReading();

    // What is shown: the kind, the caption, the text or dump, the picture (as decoded).
    Preview::Kind kind() const { return kind_; }
    QLabel* caption() const { return caption_; }
    QPlainTextEdit* textView() const { return text_; }
    const QImage& picture() const;
    // The hint (or note on a file) shown in place of a preview.
    QString note() const;

  signals:
    // A file's preview (or the note why there is none) has replaced what was shown.
    void previewShown();

  private:
    void present(const DeletedFileEntry& entry, const Preview& preview);
    void showNote(const QString& text);

    QLabel* caption_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* note_ = nullptr;
    PictureView* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    Preview::Kind kind_ = Preview::Kind::Note;
    bool reading_ = false;  // a requested preview is not shown yet
    // The entry shown or being read, and its volume.
    std::optional<DeletedFileEntry> current_;
    const ScanContext* currentContext_ = nullptr;
    // Raised by every request and by stopReading(): a read whose number is no longer the
    // current one stops and its result is dropped.
    std::atomic<std::uint64_t> generation_{0};
    QThreadPool worker_;
};

}  // namespace rekkon::ui
