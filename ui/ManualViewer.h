#pragma once

#include <QDialog>

class QTextBrowser;
class QUrl;

namespace rekkon::ui {

// The manual shown inside the program, for a desktop where no browser opens it: a window with
// the HTML page, its links followed within it, and Close (Escape).
class ManualViewer : public QDialog {
    Q_OBJECT

  public:
    explicit ManualViewer(const QUrl& manual, QWidget* parent = nullptr);
    QTextBrowser* browser() const { return browser_; }

  private:
    QTextBrowser* browser_ = nullptr;
};

// What F1 says when the manual at `path` is missing.
QString manualMissingMessage(const QString& path);

}  // namespace rekkon::ui
