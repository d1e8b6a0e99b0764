#pragma once

#include <QObject>
#include <QRect>

class QWidget;

namespace rekkon::ui {

// Where `window` lies wholly within `area`: as large as
// it was as far as the area allows (never below its minimum size), and moved in as little as it
// can. A window that already fits keeps its place.
QRect fittedGeometry(const QRect& window, const QRect& area, const QSize& minimum = {});

// Shrinks and moves every window of the program, as it is shown, into the available area of its
// screen: with a large font or scale factor a window or dialog would otherwise open wider than
// the screen, with its buttons out of reach. Installed once on the application.
class ScreenFit : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;
    static void fit(QWidget* window);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace rekkon::ui
