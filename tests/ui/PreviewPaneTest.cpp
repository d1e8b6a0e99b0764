// The preview pane: deleted files of a fixture volume shown as a picture, text and hex dump
// through the main window's selection, a superseded read dropped, and what is made of damaged
// pictures and of bytes that may or may not be text.

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QThread>

#include "support/Fixtures.h"
#include "support/Md5.h"
#include "ui/FilterBar.h"
#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"
#include "ui/PreviewRead.h"
#include "ui/ResultsModel.h"

using namespace rekkon;
using namespace rekkon::ui;

namespace {

const char* const kExfatImage = "exfat/basic.img";
// Formatted after a photograph was deleted: found with its lost folder in free space, the
// progressive JPEG of tests/data/carve/images.
const char* const kFormattedImage = "carve-volumes/fat32-formatted.img";
const char* const kDeletedJpegName = "?MG_0002.JPG";
const char* const kDeletedJpegSource = "carve/images/progressive.jpg";
const char* const kTextName = "r\xc3\xa9sum\xc3\xa9-ancien.txt";  // résumé
const char* const kBinaryName = "contig-deleted.bin";

// Messages are collected, no settings kept; a search by content is accepted when
// `searchByContent`.
MainWindowHooks quietHooks(QStringList& warnings, bool searchByContent = false) {
    MainWindowHooks hooks;
    hooks.warn = [&warnings](QWidget*, const QString& text) { warnings << text; };
    hooks.openSettings = [] { return std::unique_ptr<QSettings>(); };  // nothing remembered
    hooks.askSearchByContent = [&warnings, searchByContent](QWidget*, const QString& text) {
        if (!searchByContent) warnings << text;
        return searchByContent;
    };
    return hooks;
}

int rowNamed(const ResultsModel* model, const std::string& name) {
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->entryAt(row)->name == name) return row;
    return -1;
}

void selectRows(MainWindow& window, std::initializer_list<int> rows) {
    QItemSelectionModel* selection = window.resultsView()->selectionModel();
    selection->clearSelection();
    for (const int row : rows)
        selection->select(window.resultsModel()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

std::string manifestMd5(const std::string& path) {
    for (const auto& row : test::readManifest(test::fixtureSource("exfat/basic.manifest.tsv")))
        if (row.at("path") == path) return row.at("md5");
    return {};
}

// A 160 x 120 JPEG whose top half is red and bottom half blue, with noise so that the picture
// data outweighs the header.
QByteArray twoColourJpeg() {
    QImage image(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int noise = (x * 7919 + y * 104729) % 61;
            image.setPixel(
                x, y,
                y < 60 ? qRgb(200 + noise / 2, noise, noise) : qRgb(noise, noise, 200 + noise / 2));
        }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

}  // namespace

class PreviewPaneTest : public QObject {
    Q_OBJECT

  private slots:
    void showsADeletedJpegAsAPicture();
    void showsDeletedFilesAsTextAndHex();
    void newerSelectionDropsTheOlderRead();
    void damagedJpegShowsWhatDecodes();
    void textIsGuessedFromTheBytes();
};

void PreviewPaneTest::showsADeletedJpegAsAPicture() {
    QStringList warnings;
    MainWindow window(quietHooks(warnings, true));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kFormattedImage))));
    PreviewPane* pane = window.previewPane();
    QSignalSpy shown(pane, &PreviewPane::previewShown);
    const int jpeg = rowNamed(window.resultsModel(), kDeletedJpegName);
    QVERIFY(jpeg >= 0);

    // Off at first: a selection reads nothing. F3 shows the pane, which previews the selection.
    QVERIFY(!pane->isVisible());
    selectRows(window, {jpeg});
    QTest::qWait(50);
    QCOMPARE(shown.count(), 0);
    QTest::keyClick(&window, Qt::Key_F3);
    QVERIFY(window.previewAction()->isChecked());
    QVERIFY(pane->isVisible());
    QVERIFY(shown.wait(5000));
    QCOMPARE(pane->kind(), Preview::Kind::Picture);
    const QImage original(QString::fromStdString(test::fixtureSource(kDeletedJpegSource)));
    QVERIFY(!original.isNull());
    QCOMPARE(pane->picture(), original);
    QVERIFY2(pane->caption()->text().contains(QStringLiteral("picture %1 x %2")
                                                  .arg(pane->picture().width())
                                                  .arg(pane->picture().height())),
             qPrintable(pane->caption()->text()));
    QVERIFY(warnings.isEmpty());
}

void PreviewPaneTest::showsDeletedFilesAsTextAndHex() {
    QStringList warnings;
    MainWindow window(quietHooks(warnings));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kExfatImage))));
    PreviewPane* pane = window.previewPane();
    QSignalSpy shown(pane, &PreviewPane::previewShown);
    const ResultsModel* model = window.resultsModel();
    const int text = rowNamed(model, kTextName);
    const int binary = rowNamed(model, kBinaryName);
    QVERIFY(text >= 0 && binary >= 0);
    window.previewAction()->setChecked(true);

    // The text is the deleted file's bytes, every one of them.
    selectRows(window, {text});
    QVERIFY(shown.wait(5000));
    QCOMPARE(pane->kind(), Preview::Kind::Text);
    QCOMPARE(test::md5Hex(pane->textView()->toPlainText().toStdString()), manifestMd5(kTextName));

    // Binary: 4 KiB of 16-byte lines, from offset 0.
    selectRows(window, {binary});
    QVERIFY(shown.wait(5000));
    QCOMPARE(pane->kind(), Preview::Kind::Hex);
    const QStringList lines = pane->textView()->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4096 / 16 + 1);  // the last line ends too
    QVERIFY(lines.first().startsWith(QStringLiteral("00000000  c4 4f 59 d9 58 e1 7a b2  19 25")));
    QVERIFY(pane->caption()->text().contains(QStringLiteral("first 4 KiB")));

    // The filter hides the file: a hint.
    window.filterBar()->textField()->setText(QStringLiteral("zzz"));
    QCOMPARE(pane->kind(), Preview::Kind::Note);
    window.filterBar()->textField()->clear();

    // Several rows or none: a hint.
    selectRows(window, {text, binary});
    QCOMPARE(pane->kind(), Preview::Kind::Note);
    QVERIFY(pane->note().contains(QStringLiteral("2 files")));
    selectRows(window, {});
    QCOMPARE(pane->kind(), Preview::Kind::Note);

    // Hidden again, it reads nothing.
    QTest::keyClick(&window, Qt::Key_F3);
    QVERIFY(!pane->isVisible());
    const int before = shown.count();
    selectRows(window, {text});
    QTest::qWait(100);
    QCOMPARE(shown.count(), before);
    QVERIFY(warnings.isEmpty());
}

void PreviewPaneTest::newerSelectionDropsTheOlderRead() {
    QStringList warnings;
    MainWindow window(quietHooks(warnings));
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kExfatImage))));
    window.previewAction()->setChecked(true);
    PreviewPane* pane = window.previewPane();
    QSignalSpy shown(pane, &PreviewPane::previewShown);
    const ResultsModel* model = window.resultsModel();
    // The first read is done, its result queued but not shown, when the selection moves.
    selectRows(window, {rowNamed(model, kBinaryName)});
    QThread::msleep(300);
    selectRows(window, {rowNamed(model, kTextName)});
    QVERIFY(shown.wait(5000));
    QTest::qWait(100);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(pane->kind(), Preview::Kind::Text);

    // A read stopped before a scan shows nothing afterwards; the refilled list leaves a hint.
    selectRows(window, {rowNamed(model, kBinaryName)});
    pane->stopReading();
    QVERIFY(window.scanAndFill(std::string()));
    QTest::qWait(100);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(pane->kind(), Preview::Kind::Note);
}

void PreviewPaneTest::damagedJpegShowsWhatDecodes() {
    const QByteArray whole = twoColourJpeg();
    QCOMPARE(pictureFormat(whole), QByteArray("jpeg"));

    // Cut after 40 % of its bytes: the top rows decode, at the stored size.
    QVERIFY(whole.size() > 4000);
    QSize size;
    const QImage cut = decodePicture(whole.first(whole.size() * 2 / 5), &size);
    QVERIFY(!cut.isNull());
    QCOMPARE(size, QSize(160, 120));
    QCOMPARE(cut.size(), QSize(160, 120));
    const QColor top = cut.pixelColor(80, 10);
    QVERIFY2(top.red() > 200 && top.blue() < 60, qPrintable(top.name()));

    // Garbled after the header, or cut inside it: no crash, no hang, whatever decodes.
    QByteArray garbled = whole;
    for (qsizetype i = 400; i < garbled.size(); i += 7)
        garbled[i] = static_cast<char>(i * 131);
    decodePicture(garbled);
    for (const qsizetype length : {2, 20, 200})
        QVERIFY(decodePicture(whole.first(length)).isNull());

    // Every input the preview's fuzz target failed on: the picture still fits the pane's square
    // (a GIF frame larger than its header's screen decoded larger once).
    const QDir failed(
        QStringLiteral(REKKON_TEST_SOURCE_DATA_DIR "/fuzz/regressions/preview_bytes"));
    const QStringList names = failed.entryList(QDir::Files);
    QVERIFY(!names.isEmpty());
    for (const QString& name : names) {
        QFile file(failed.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QImage picture = decodePicture(file.readAll());
        QVERIFY2(picture.width() <= kPreviewPictureSide && picture.height() <= kPreviewPictureSide,
                 qPrintable(name));
    }
}

void PreviewPaneTest::textIsGuessedFromTheBytes() {
    QVERIFY(looksLikeText("line one\r\n\tline two\f"));
    QVERIFY(!looksLikeText(QByteArrayView("text\0more", 9)));
    QVERIFY(!looksLikeText("\x01\x02\x03 binary \x04\x05\x06"));

    // UTF-8 where it is valid, even with a sequence cut by the end of what was read.
    QCOMPARE(decodePreviewText("caf\xc3\xa9 \xe2\x82", true), QStringLiteral("caf\u00e9 "));
    // Else Latin-1, as also for a cut sequence where the file ends there.
    QCOMPARE(decodePreviewText("caf\xe9", false), QStringLiteral("caf\u00e9"));
    QCOMPARE(decodePreviewText("caf\xc3", false), QStringLiteral("caf\u00c3"));
    // UTF-16 after its byte-order mark (as Windows writes "Unicode" text), NULs and all.
    const QByteArrayView utf16(
        "\xff\xfe"
        "a\0\xe9\0\r\0\n\0",
        10);
    QVERIFY(looksLikeText(utf16));
    QCOMPARE(decodePreviewText(utf16, false), QStringLiteral("a\u00e9\r\n"));
    QCOMPARE(decodePreviewText(QByteArrayView("\xfe\xff\0a\0", 5), true), QStringLiteral("a"));

    QCOMPARE(hexDump("ABCDEFGHIJKLMNOPQ\x01"),
             QStringLiteral("00000000  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  "
                            "|ABCDEFGHIJKLMNOP|\n00000010  51 01") +
                 QString(45, QLatin1Char(' ')) + QStringLiteral("|Q.|\n"));
}

QTEST_MAIN(PreviewPaneTest)
#include "PreviewPaneTest.moc"
