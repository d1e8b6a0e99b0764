// The desktop's Cancel: opens IMAGE in the main window, starts the search of free space for lost
// folders, presses the progress window's Cancel 2 s into it and measures the time from the press
// until the main window has the list (bench/cancel-bench.sh).
//
// Usage: cancel-ui-bench IMAGE [RUNS]   (default 5 runs; run on the offscreen platform)
// Exit status: 0 when it ran, whether or not the target was met; 1 when the search ended before
// 2 s, was not cancelled, or the status line does not say the list is incomplete.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"

namespace {

constexpr double kTargetSeconds = 0.5;
constexpr int kCancelAfterMs = 2000;

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: cancel-ui-bench IMAGE [RUNS]\n");
        return 2;
    }
    const QString image = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    rekkon::ui::MainWindowHooks hooks;
    hooks.warn = [](QWidget*, const QString& text) {
        std::fprintf(stderr, "cancel-ui-bench: %s\n", qPrintable(text));
    };
    rekkon::ui::MainWindow window(hooks);
    if (!window.openSource(image)) return 1;
    QAction* search = nullptr;
    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == QStringLiteral("Search free space for lost folders")) search = action;
    if (search == nullptr) return 1;

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer sincePress;
        bool pressed = false;
        QTimer::singleShot(kCancelAfterMs, [&] {
            pressed = true;
            sincePress.start();
            window.progressWindow()->cancelButton()->click();
        });
        search->setEnabled(true);
        search->trigger();  // returns once the list is shown
        if (!pressed) {
            std::fprintf(stderr, "cancel-ui-bench: the search ended before 2 s\n");
            return 1;
        }
        times.push_back(static_cast<double>(sincePress.nsecsElapsed()) / 1e9);
        if (!window.statusLine()->text().contains(QStringLiteral("search cancelled"))) {
            std::fprintf(stderr, "cancel-ui-bench: not cancelled: %s\n",
                         qPrintable(window.statusLine()->text()));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "desktop (lost-folder search): Cancel to list shown best %.3f s, median %.3f s, "
        "worst %.3f s over %d runs: %s (under %.1f s)\n",
        times.front(), times[times.size() / 2], times.back(), runs,
        times.back() < kTargetSeconds ? "target met" : "target missed", kTargetSeconds);
    return 0;
}
