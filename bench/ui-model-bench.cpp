// Fills the results list's model with a large synthetic found-file list shown in a QTableView,
// then sorts it by every column (first and second click) and filters it as typed, printing the
// time of each step.
//
// Usage: ui-model-bench [ROWS]   (default 100000; run on the offscreen platform)
// Exit status: 0 when it ran, whether or not the targets were met.

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelection>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "ResultsView.h"
#include "fs/FoundEntry.h"
#include "ui/ResultsModel.h"

namespace {

using rekkon::DeletedFileEntry;
using rekkon::FoundList;

constexpr double kTargetSeconds = 0.5;
constexpr double kFilterTargetSeconds = 0.1;
constexpr std::uint64_t kYear2000 = 125911584000000000ULL;  // FILETIME of 2000-01-01
constexpr std::uint64_t kTwentyYears = 20ULL * 365 * 86400 * 10'000'000ULL;

// Names, extensions, sizes, times and status spread as on a used card or disk: mixed case,
// FAT deleted names, a few names without extension and NTFS files with named streams.
FoundList syntheticList(int rows) {
    static const char* const kStems[] = {"IMG_",   "DSC",   "holiday", "Report", "notes",
                                         "?ACKUP", "Scan",  "invoice", "track",  "Thesis",
                                         "movie",  "?HOTO", "draft",   "budget", "readme"};
    static const char* const kExtensions[] = {
        ".jpg", ".JPG", ".png", ".txt", ".doc",  ".docx", ".pdf", ".gz",  ".tar.gz", ".mp3",
        ".MOV", ".avi", ".xls", ".zip", ".html", ".cpp",  ".iso", ".bmp", "",        ".dat"};
    std::mt19937_64 random(20061205);
    FoundList list;
    list.reserve(static_cast<std::size_t>(rows));
    std::uint64_t location = 2;
    while (list.size() < static_cast<std::size_t>(rows)) {
        DeletedFileEntry e;
        e.location = location;
        location += 1 + random() % 64;
        e.name = std::string(kStems[random() % std::size(kStems)]) +
                 std::to_string(random() % 100000) + kExtensions[random() % std::size(kExtensions)];
        const auto sizeClass = random() % 10;
        e.size = sizeClass == 0  ? random() % 1024
                 : sizeClass < 8 ? random() % (8ULL << 20)
                                 : random() % (4ULL << 30);
        e.createTime = kYear2000 + random() % kTwentyYears;
        e.accessTime = e.createTime + random() % (86400ULL * 10'000'000ULL * 365);
        const auto statusClass = random() % 4;
        e.status = statusClass == 0   ? 0
                   : statusClass == 1 ? 255
                                      : static_cast<std::uint8_t>(1 + random() % 99);
        static const char* const kFolders[] = {"\\", "\\DCIM\\100CANON", "\\Users\\anna\\Documents",
                                               "\\Music\\Albums", "\\Work\\2019\\Invoices"};
        e.folder = kFolders[random() % std::size(kFolders)];
        if (random() % 3 == 0)
            e.longName = "Holiday photo " + std::to_string(random() % 10000) + ".jpeg";
        list.push_back(e);
        if (random() % 20 == 0 && list.size() < static_cast<std::size_t>(rows)) {
            DeletedFileEntry stream = e;  // a named stream: same record, own size and estimate
            stream.name += ":Zone.Identifier";
            stream.size = random() % 4096;
            stream.status = 255;
            list.push_back(stream);
        }
    }
    return list;
}

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

bool report(const char* what, double time, bool checked, double target = kTargetSeconds) {
    if (checked) {
        std::printf("%-56s %8.4f s  %s\n", what, time,
                    time < target ? "target met" : "target missed");
    } else {
        std::printf("%-56s %8.4f s\n", what, time);
    }
    return !checked || time < target;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (rows <= 0) {
        std::fprintf(stderr, "usage: ui-model-bench [ROWS]\n");
        return 2;
    }
    const FoundList list = syntheticList(rows);

    rekkon::ui::ResultsModel model;
    QTableView view;
    showResults(view, model);
    view.resize(1000, 700);
    view.show();
    QApplication::processEvents();

    const auto streams = std::count_if(list.begin(), list.end(), [](const DeletedFileEntry& e) {
        return e.name.find(':') != std::string::npos;
    });
    std::printf("%d rows, of which %d named streams\n", rows, static_cast<int>(streams));
    bool met = true;
    QElapsedTimer timer;

    timer.start();
    model.setEntries(&list);
    const double setTime = seconds(timer);
    (void)view.grab();  // the first paint: every visible cell's texts and icons
    const double fillTime = seconds(timer);
    met &= report("setEntries", setTime, false);
    met &= report("fill (setEntries + first paint)", fillTime, true);

    timer.start();
    std::size_t chars = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        for (int column = 0; column < rekkon::ui::ResultsModel::kColumns; ++column) {
            chars += model.data(model.index(row, column)).toString().size();
        }
    }
    report("texts of every cell (for reference)", seconds(timer), false);

    for (int column = 0; column < rekkon::ui::ResultsModel::kColumns; ++column) {
        const std::string title = model.headerData(column, Qt::Horizontal).toString().toStdString();
        for (const char* click : {"first", "second"}) {
            timer.start();
            emit view.horizontalHeader()->sectionClicked(column);
            (void)view.grab();
            const std::string what = "sort " + title + ", " + click + " click (+ paint)";
            met &= report(what.c_str(), seconds(timer), true);
        }
    }

    // The filter line: each keystroke narrows (or widens) the rows and the list repaints.
    // The first one with text also builds the lower-cased texts the filter searches.
    for (const char* typed : {"h", "ho", "hol", "holi", "hol", "", "invoices", "zzz", ""}) {
        timer.start();
        model.setFilter({QString::fromLatin1(typed)});
        (void)view.grab();
        const std::string what = std::string("filter keystroke \"") + typed + "\" (+ paint), " +
                                 std::to_string(model.rowCount()) + " rows";
        met &= report(what.c_str(), seconds(timer), true, kFilterTargetSeconds);
    }
    timer.start();
    model.setFilter({QString(), rekkon::ui::StatusFilter::GoodOnly});
    (void)view.grab();
    met &= report("filter Good only (+ paint)", seconds(timer), true, kFilterTargetSeconds);
    model.setFilter({});

    // Every other row selected: 50,000 selection ranges whose rows follow their entries.
    QItemSelection every;
    for (int row = 0; row < model.rowCount(); row += 2) {
        every.select(model.index(row, 0), model.index(row, rekkon::ui::ResultsModel::kColumns - 1));
    }
    view.selectionModel()->select(every, QItemSelectionModel::ClearAndSelect);
    timer.start();
    emit view.horizontalHeader()->sectionClicked(1);
    (void)view.grab();
    report("sort Size (kB), half the rows selected", seconds(timer), false);

    std::printf("%s (%zu characters of text)\n", met ? "all targets met" : "some target missed",
                chars);
    return 0;
}
