#pragma once

#include <QMutex>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>

class QEvent;
class QLabel;
class QPushButton;
class QTimer;

namespace rekkon::ui {

// The small frameless strip shown while a volume is opened and scanned: a computer with a magnifier
// circling it, animated every 200 ms, and one line of text. It lives on the user-interface thread;
// the scan reports through setText, which may be called from any thread and never waits. The
// owner stops the scanning thread before destroying the window. During a scan it offers a Cancel
// button, which Escape presses from any of the program's windows.
class ProgressWindow : public QWidget {
    Q_OBJECT

  public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void start(const QString& sourceName);  // shows "Initialization of volume <sourceName>: ..."
    void setText(const QString& text);      // safe from any thread (queued), latest text wins
    // Shows the Cancel button until stop(); pressing it emits cancelRequested once.
    void offerCancel();
    void stop();  // hides it (and the Cancel button)

    QPushButton* cancelButton() const { return cancel_; }

    static constexpr int kFrameCount = 6;
    static constexpr int kFrameIntervalMs = 200;

  signals:
    void cancelRequested();

  private:
    void showFrame(int index);
    void nextFrame();
    void applyPendingText();
    void centreOnScreen();
    void fitWidth();
    QRect screenArea() const;
    void changeEvent(QEvent* event) override;
    void pressCancel();

    QLabel* picture_ = nullptr;
    QLabel* text_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
    std::array<QPixmap, kFrameCount> frames_;
    int frame_ = 0;
    bool cancelShown_ = false;
    bool running_ = false;  // user-interface thread only

    // Handed over from the scanning thread: the newest text, and whether a call to
    // applyPendingText is already queued (so a fast scan queues one call, not one per file).
    QMutex pendingMutex_;
    std::optional<QString> pendingText_;
    bool applyQueued_ = false;
};

}  // namespace rekkon::ui
