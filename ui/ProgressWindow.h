#pragma once

#include <QMutex>
#include <QString>
#include <QWidget>

class QLabel;
class QTimer;

namespace rekkon::ui {

// The small frameless window shown while a volume is opened and scanned: an animated computer with
// a magnifier circling it and one line of text. It lives on the user-interface thread; the scan
// reports through setText, which may be called from any thread.
class ProgressWindow : public QWidget {
    Q_OBJECT

  public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void start(const QString& sourceName);  // shows "Initialization of volume <sourceName>: ..."
    void setText(const QString& text);      // safe from any thread (queued), latest text wins
    void stop();                            // hides it

  private:
    void nextFrame();
    void applyPendingText();

    QLabel* picture_ = nullptr;
    QLabel* text_ = nullptr;
    QTimer* timer_ = nullptr;
    int frame_ = 0;

    QMutex pendingMutex_;
    QString pendingText_;
    bool textQueued_ = false;
};

}  // namespace rekkon::ui
