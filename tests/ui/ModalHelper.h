#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace rekkon::test {

// Acts on the next modal window (a dialog's exec() or a message box) once it is up: polls from
// the event loop that the modal window runs, a bounded number of times.
inline void whenModal(std::function<void(QWidget*)> act, int triesLeft = 200) {
    QTimer::singleShot(0, [act = std::move(act), triesLeft]() mutable {
        if (QWidget* w = QApplication::activeModalWidget()) {
            act(w);
        } else if (triesLeft > 0) {
            whenModal(std::move(act), triesLeft - 1);
        }
    });
}

}  // namespace rekkon::test
