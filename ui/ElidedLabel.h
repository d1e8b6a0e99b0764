#pragma once

#include <QLabel>

namespace rekkon::ui {

// A one-line label that keeps its whole text but draws what does not fit with "…" in the middle,
// so a long path keeps its start and its end (a device and a file name, a count and a
// percentage). The whole text is then its tooltip.
class ElidedLabel : public QLabel {
    Q_OBJECT

  public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // The text as drawn in the label's present width.
    QString shownText() const;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

}  // namespace rekkon::ui
