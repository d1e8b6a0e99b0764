// The preview pane with 100,000 rows in the results list: a deleted JPEG of about 1 MB on a FAT
// image (mkfs.fat, mcopy, mdel) is selected among synthetic rows, and the time from the
// selection to the painted picture is measured; a text file for comparison.
//
// Usage: ui-preview-bench [ROWS] [RUNS]   (defaults 100000 and 10; offscreen platform)
// Needs mkfs.fat and mtools on the PATH. Exit status: 0 when it ran, whether or not the target
// was met; 1 when the image could not be made or the picture was not shown.

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QPainter>
#include <QSplitter>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "recovery/ScanContext.h"
#include "ui/PreviewPane.h"
#include "ui/ResultsModel.h"

namespace {

using rekkon::DeletedFileEntry;
using rekkon::FoundList;
using rekkon::ui::Preview;
using rekkon::ui::PreviewPane;

constexpr double kTargetSeconds = 0.2;

// A photograph-like 1600 x 1200 JPEG of about 1 MB: smooth gradients with noise.
QByteArray photoJpeg() {
    QImage image(1600, 1200, QImage::Format_RGB32);
    std::mt19937 random(1205);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = static_cast<int>(random() % 48);
            line[x] = qRgb((x / 7 + noise) & 255, (y / 5 + noise) & 255, ((x + y) / 11) & 255);
        }
    }
    // The lowest quality that gives at least 1,000,000 bytes.
    QByteArray best;
    for (int quality = 50; quality <= 100 && best.size() < 1000000; quality += 5) {
        best.clear();
        QBuffer buffer(&best);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", quality);
    }
    return best;
}

// mkfs.fat lives in /usr/sbin on some systems, outside a user's PATH.
bool run(const std::string& command) {
    const std::string line = "PATH=\"$PATH:/usr/sbin:/sbin\" " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

// Synthetic rows around the real entries (at the middle), as in ui-model-bench.
FoundList withSyntheticRows(const FoundList& real, int rows) {
    std::mt19937_64 random(20061205);
    FoundList list;
    list.reserve(static_cast<std::size_t>(rows) + real.size());
    for (int i = 0; list.size() < static_cast<std::size_t>(rows); ++i) {
        if (i == rows / 2)
            for (const DeletedFileEntry& e : real)
                list.push_back(e);
        DeletedFileEntry e;
        e.location = 100000 + static_cast<std::uint64_t>(i);
        e.name = "?ILE" + std::to_string(random() % 100000) + ".DAT";
        e.size = random() % (8ULL << 20);
        e.status = static_cast<std::uint8_t>(random() % 256);
        e.folder = "\\";
        list.push_back(e);
    }
    return list;
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 10;
    if (rows <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: ui-preview-bench [ROWS] [RUNS]\n");
        return 2;
    }

    // The image: 32 MiB FAT16 with the photo and a text file, both deleted.
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("rekkon-preview-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "card.img").string();
    const QByteArray jpeg = photoJpeg();
    std::ofstream((dir / "PHOTO.JPG").string(), std::ios::binary).write(jpeg.data(), jpeg.size());
    {
        std::ofstream text((dir / "NOTES.TXT").string());
        for (int i = 0; i < 2000; ++i)
            text << "line " << i << " of the notes kept on the card\n";
    }
    const bool made = run("mkfs.fat -C -F 16 " + image + " 32768") &&
                      run("mcopy -i " + image + " " + (dir / "PHOTO.JPG").string() + " ::") &&
                      run("mcopy -i " + image + " " + (dir / "NOTES.TXT").string() + " ::") &&
                      run("mdel -i " + image + " ::PHOTO.JPG ::NOTES.TXT");
    rekkon::ScanContext context;
    int openError = 0;
    if (!made || rekkon::mountVolume(context, image, openError) != rekkon::MountStatus::Mounted ||
        rekkon::scanVolume(context) < 2) {
        std::fprintf(stderr,
                     "ui-preview-bench: could not make or scan %s (needs mkfs.fat and "
                     "mtools)\n",
                     image.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }
    const FoundList list = withSyntheticRows(context.foundList, rows);
    int jpegRow = -1, textRow = -1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        // Deleted FAT names have lost their first character.
        if (list[i].name.ends_with("HOTO.JPG")) jpegRow = static_cast<int>(i);
        if (list[i].name.ends_with("OTES.TXT")) textRow = static_cast<int>(i);
    }
    if (jpegRow < 0 || textRow < 0) {
        std::fprintf(stderr, "ui-preview-bench: the deleted files were not found\n");
        std::filesystem::remove_all(dir);
        return 1;
    }

    rekkon::ui::ResultsModel model;
    QSplitter window;
    auto* view = new QTableView(&window);
    view->setModel(&model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    auto* pane = new PreviewPane(&window);
    window.resize(1200, 700);
    window.show();
    model.setEntries(&list);
    QApplication::processEvents();
    std::printf("%d rows; %s: %lld bytes\n", model.rowCount(), list[jpegRow].name.c_str(),
                static_cast<long long>(jpeg.size()));

    // As the main window does: the selected row's entry goes to the pane.
    QSize decoded;
    const auto timeSelect = [&](int row, Preview::Kind want) -> double {
        QEventLoop loop;
        QObject::connect(pane, &PreviewPane::previewShown, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        view->selectionModel()->select(
            model.index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        pane->showEntry(context, *model.entryAt(row));
        loop.exec();
        if (pane->kind() != want) return -1;
        pane->repaint();
        const double time = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        if (want == Preview::Kind::Picture) decoded = pane->picture().size();
        return time;
    };
    std::vector<double> pictureTimes, textTimes;
    for (int i = 0; i < runs; ++i) {
        pictureTimes.push_back(timeSelect(jpegRow, Preview::Kind::Picture));
        textTimes.push_back(timeSelect(textRow, Preview::Kind::Text));
    }
    std::filesystem::remove_all(dir);
    if (*std::min_element(pictureTimes.begin(), pictureTimes.end()) < 0) {
        std::fprintf(stderr, "ui-preview-bench: the picture was not shown\n");
        return 1;
    }
    const double worst = *std::max_element(pictureTimes.begin(), pictureTimes.end());
    std::printf("%-48s %8.4f s  %s\n", "select 1 MB JPEG to picture painted (median)",
                median(pictureTimes),
                median(pictureTimes) < kTargetSeconds ? "target met" : "target missed");
    std::printf("%-48s %8.4f s\n", "select 1 MB JPEG to picture painted (worst)", worst);
    std::printf("%-48s %8.4f s\n", "select text file to text shown (median)", median(textTimes));
    std::printf("picture %d x %d shown as decoded at %d x %d\n", 1600, 1200, decoded.width(),
                decoded.height());
    return 0;
}
