// The desktop's results list at scale: scans a volume (the sparse NTFS image of
// bench/ntfs-scale-image) into the found list the desktop keeps, fills the results model and a
// QTableView from that list and sorts it by every column, printing the time of each step and the
// peak memory of the process.
//
// Usage: ui-scale-bench IMAGE   (run on the offscreen platform; bench/scale-bench.sh runs it)
// Exit status: 0 when it ran, whether or not the targets were met; 2 when the image does not
// mount.

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <cstdio>
#include <string>

#include "ResultsView.h"
#include "recovery/ScanContext.h"
#include "ui/ResultsModel.h"

namespace {

constexpr double kTargetSeconds = 3.0;
constexpr double kMemoryTargetMiB = 1.5e9 / (1 << 20);

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

bool report(const std::string& what, double time, bool checked) {
    std::printf("%-48s %8.3f s  peak %6.0f MiB%s\n", what.c_str(), time, peakMiB(),
                !checked ? "" : (time < kTargetSeconds ? "  target met" : "  target missed"));
    return !checked || time < kTargetSeconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui-scale-bench IMAGE\n");
        return 2;
    }
    rekkon::ScanContext context;
    int error = 0;
    if (rekkon::mountVolume(context, argv[1], error) != rekkon::MountStatus::Mounted) {
        std::fprintf(stderr, "ui-scale-bench: %s does not mount\n", argv[1]);
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    rekkon::scanVolume(context);
    report("scan into the found list (" + std::to_string(context.foundList.size()) + " entries)",
           seconds(timer), false);
    std::printf("found list holds %.0f MiB\n",
                static_cast<double>(context.foundList.memoryBytes()) / (1 << 20));

    rekkon::ui::ResultsModel model;
    QTableView view;
    showResults(view, model);
    view.resize(1000, 700);
    view.show();
    QApplication::processEvents();

    bool met = true;
    timer.start();
    model.setEntries(&context.foundList);
    (void)view.grab();  // the first paint: every visible cell's texts and icons
    met &= report("fill (setEntries + first paint)", seconds(timer), true);
    for (int column = 0; column < rekkon::ui::ResultsModel::kColumns; ++column) {
        const std::string title = model.headerData(column, Qt::Horizontal).toString().toStdString();
        timer.start();
        emit view.horizontalHeader()->sectionClicked(column);
        (void)view.grab();
        met &= report("sort " + title + " (+ paint)", seconds(timer), true);
    }
    const bool memoryMet = peakMiB() < kMemoryTargetMiB;
    std::printf("peak memory %.0f MiB: %s\n", peakMiB(),
                memoryMet ? "under 1.5 GB" : "over 1.5 GB");
    std::printf("%s\n", met && memoryMet ? "all targets met" : "some target missed");
    return 0;
}
