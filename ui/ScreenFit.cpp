#include "ui/ScreenFit.h"

#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace rekkon::ui {

QRect fittedGeometry(const QRect& window, const QRect& area, const QSize& minimum) {
    if (!area.isValid()) return window;
    QRect fitted = window;
    fitted.setWidth(std::max(std::min(window.width(), area.width()), minimum.width()));
    fitted.setHeight(std::max(std::min(window.height(), area.height()), minimum.height()));
    // Right and bottom edges first, so a window larger than the area keeps its top-left corner
    // (title bar and first buttons) in view.
    if (fitted.right() > area.right()) fitted.moveRight(area.right());
    if (fitted.bottom() > area.bottom()) fitted.moveBottom(area.bottom());
    if (fitted.left() < area.left()) fitted.moveLeft(area.left());
    if (fitted.top() < area.top()) fitted.moveTop(area.top());
    return fitted;
}

void ScreenFit::fit(QWidget* window) {
    if (window == nullptr || !window->isWindow()) return;
    const QScreen* screen = window->screen();
    if (screen == nullptr) return;
    QRect area = screen->availableGeometry();
    // The frame the window manager draws around the window is outside its geometry.
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    if (window->isVisible() && frame.isValid())
        area.adjust(inner.left() - frame.left(), inner.top() - frame.top(),
                    inner.right() - frame.right(), inner.bottom() - frame.bottom());
    const QRect fitted = fittedGeometry(inner, area, window->minimumSize());
    if (fitted.size() != inner.size()) window->resize(fitted.size());
    if (fitted.topLeft() != inner.topLeft()) window->move(fitted.topLeft());
}

bool ScreenFit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && type != Qt::Popup && type != Qt::ToolTip) {
            fit(widget);
            // Some windows size themselves when shown (message boxes): fitted again after that.
            QTimer::singleShot(0, widget, [window = QPointer<QWidget>(widget)] {
                if (window) fit(window);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace rekkon::ui
