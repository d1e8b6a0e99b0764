#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <algorithm>
#include <string>

#include "fs/FoundEntry.h"
#include "ui/ResultsModel.h"
#include "ui/SortRules.h"

using rekkon::DeletedFileEntry;
using rekkon::FoundList;
using rekkon::ui::kFolderColumn;
using rekkon::ui::ResultsModel;
using rekkon::ui::StatusFilter;

namespace {

// 2006-03-05 14:07:09 as a FILETIME.
constexpr std::uint64_t kMarch2006 = 127860412290000000ULL;
constexpr std::uint64_t kSecond = 10'000'000ULL;

DeletedFileEntry entry(std::string name, std::uint64_t size = 0, std::uint64_t location = 0) {
    DeletedFileEntry e;
    e.name = std::move(name);
    e.size = size;
    e.location = location;
    return e;
}

// Gives every entry its own location, counting from 100.
std::vector<DeletedFileEntry> numbered(std::vector<DeletedFileEntry> list) {
    std::uint64_t location = 100;
    for (auto& e : list)
        e.location = location++;
    return list;
}

QStringList column(const ResultsModel& model, int col) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts << model.data(model.index(row, col)).toString();
    }
    return texts;
}

QStringList names(const ResultsModel& model) {
    return column(model, 0);
}

}  // namespace

class ResultsModelTest : public QObject {
    Q_OBJECT

  private slots:
    void headersAndShape();
    void rowTexts();
    void alignmentLocationAndIcons();
    void emptyList();
    void controlCharactersShowAsSymbols();

    void nameClicksStartDescendingThenAlternate();
    void namesCompareUpperCasedUnsignedWhole();
    void sizeClicksLargestSmallestLargest();
    void timesWithinOneStepCompareEqual();
    void statusAndTypeOrders();
    void longNamesShowAndSortLikeNames();
    void streamsSortAsTheirFileOtherFilesByTheirOwnValues();
    void setEntriesForgetsTheSortState();
    void reducedTimeKeepsBits24To54();

    void headerClicksInATableView();
    void selectionFollowsSortedEntries();
    void filterNarrowsByNameFolderTypeAndEstimate();
};

void ResultsModelTest::headersAndShape() {
    ResultsModel model;
    QCOMPARE(model.columnCount(), 8);
    QCOMPARE(ResultsModel::kColumns, 8);
    // The six columns keep their numbers; "Long Name" and "Folder" follow (the main window shows
    // them after "File Name").
    const QStringList expected = {
        "File Name",        "Size (kB)", "Create Time", "Last Access Time",
        "Estimated Status", "Type",      "Long Name",   "Folder"};
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), expected[c]);
    }
    QCOMPARE(ResultsModel::columnWidth(0), 170);
    QCOMPARE(ResultsModel::columnWidth(5), 41);
    QCOMPARE(ResultsModel::columnWidth(6), 170);
    QCOMPARE(ResultsModel::columnWidth(8), 0);
}

void ResultsModelTest::rowTexts() {
    std::vector<DeletedFileEntry> list =
        numbered({entry("a.jpg", 0), entry("b", 1023), entry("archive.tar.gz", 1024),
                  entry("d.txt", 1536), entry("e.txt", 5000), entry("f.txt", 2047)});
    list[0].status = 255;
    list[1].status = 0;
    list[2].status = 50;
    list[3].status = 5;
    list[0].createTime = kMarch2006;
    list[0].accessTime = kMarch2006 + 61 * kSecond;
    ResultsModel model;
    const FoundList found(list);
    model.setEntries(&found);
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(column(model, 1), QStringList({"0,00", "0,99", "1,00", "1,50", "4,88", "1,99"}));
    QCOMPARE(column(model, 4).mid(0, 4),
             QStringList({"Good", "Poor", "Average 50 %", "Average 05 %"}));
    QCOMPARE(column(model, 5), QStringList({"jpg", "", "gz", "txt", "txt", "txt"}));
    QCOMPARE(model.data(model.index(0, 2)).toString(), QString("03/05/2006 at 14:07:09"));
    QCOMPARE(model.data(model.index(0, 3)).toString(), QString("03/05/2006 at 14:08:10"));
    QCOMPARE(model.data(model.index(1, 2)).toString(), QString("00/00/0000 at 00:00:00"));
    QCOMPARE(names(model).first(), QString("a.jpg"));
}

void ResultsModelTest::controlCharactersShowAsSymbols() {
    // ESC, a line feed and a C1 control (U+009B) in a name from the volume; the name itself is
    // kept for sorting and recovering.
    std::vector<DeletedFileEntry> list = {entry("a\x1b[2J\n\x7f.t\xC2\x9Bt")};
    list[0].longName = "long\tname";
    ResultsModel model;
    const FoundList found(list);
    model.setEntries(&found);
    QCOMPARE(names(model).first(), QString::fromUtf8("a\u241B[2J\u240A\u2421.t\uFFFDt"));
    QCOMPARE(column(model, 5).first(), QString::fromUtf8("t\uFFFDt"));
    QCOMPARE(column(model, rekkon::ui::kLongNameColumn).first(),
             QString::fromUtf8("long\u2409name"));
}

void ResultsModelTest::alignmentLocationAndIcons() {
    QIcon::setThemeName(QString());  // a desktop without an icon theme
    FoundList list = {entry("photo.JPG", 10, 42), entry("x.jpg", 1, 43),
                      entry("strange.zzqqxy", 1, 44), entry("noextension", 1, 45),
                      entry("a.zip", 1, 46)};
    ResultsModel model;
    model.setEntries(&list);
    const auto alignment = [&](int col) {
        return model.data(model.index(0, col), Qt::TextAlignmentRole).toInt();
    };
    for (int col = 0; col < ResultsModel::kColumns; ++col)
        QVERIFY(alignment(col) & Qt::AlignLeft);  // all the columns, sizes too
    QCOMPARE(model.data(model.index(0, 3), Qt::UserRole).toULongLong(), 42ULL);
    QCOMPARE(model.data(model.index(1, 0), Qt::UserRole).toULongLong(), 43ULL);

    // Every name gets an icon, an unknown type the built-in one; only the name column has one.
    for (int row = 0; row < 4; ++row) {
        const auto icon = model.data(model.index(row, 0), Qt::DecorationRole).value<QIcon>();
        QVERIFY2(!icon.isNull(), qPrintable(names(model)[row]));
    }
    QVERIFY(!model.data(model.index(0, 1), Qt::DecorationRole).isValid());
    // One look-up per extension, whatever its case.
    QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey(),
             model.data(model.index(1, 0), Qt::DecorationRole).value<QIcon>().cacheKey());
    // Without a theme a picture, an archive and an unknown type still look different.
    const auto picture = [&](int row) {
        return model.data(model.index(row, 0), Qt::DecorationRole)
            .value<QIcon>()
            .pixmap(16)
            .toImage();
    };
    QVERIFY(!picture(1).isNull());
    QVERIFY(picture(1) != picture(4));
    QVERIFY(picture(1) != picture(2));
    QVERIFY(picture(4) != picture(2));
}

void ResultsModelTest::emptyList() {
    ResultsModel model;
    QCOMPARE(model.rowCount(), 0);
    model.sortByColumn(0);
    FoundList empty;
    model.setEntries(&empty);
    QCOMPARE(model.rowCount(), 0);
    model.sortByColumn(1);
    QVERIFY(!model.entryAt(0));
    QVERIFY(!model.data(model.index(0, 0)).isValid());

    FoundList one = {entry("a", 1, 1)};
    model.setEntries(&one);
    QCOMPARE(model.rowCount(), 1);
    model.setEntries(nullptr);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.entryAt(0));
    QVERIFY(!model.entryAt(-1));
}

void ResultsModelTest::nameClicksStartDescendingThenAlternate() {
    FoundList list = numbered({entry("m.txt"), entry("Zed.doc"), entry("alpha.bin")});
    ResultsModel model;
    model.setEntries(&list);
    model.sortByColumn(0);
    QCOMPARE(names(model), QStringList({"Zed.doc", "m.txt", "alpha.bin"}));
    model.sortByColumn(0);
    QCOMPARE(names(model), QStringList({"alpha.bin", "m.txt", "Zed.doc"}));
    model.sortByColumn(0);
    QCOMPARE(names(model), QStringList({"Zed.doc", "m.txt", "alpha.bin"}));
    QCOMPARE(model.indexAt(0), std::optional<std::size_t>(1));
}

void ResultsModelTest::namesCompareUpperCasedUnsignedWhole() {
    // '_' (0x5F) sorts after 'A' only once 'a' is upper-cased; the UTF-8 byte 0xC3 sorts after
    // every ASCII letter; '?' (a FAT deleted name's first character) before the letters.
    FoundList list = numbered({entry("_x"), entry("\xC3\xA9t\xC3\xA9.txt"), entry("a"),
                               entry("?ELETED.TXT"), entry("B")});
    ResultsModel model;
    model.setEntries(&list);
    model.sortByColumn(1);  // leave the initial state: the next click on names is A to Z
    model.sortByColumn(0);
    QCOMPARE(names(model), QStringList({"?ELETED.TXT", "a", "B", "_x",
                                        QString::fromUtf8("\xC3\xA9t\xC3\xA9.txt")}));

    // Names and extensions longer than any fixed copy still compare by their last characters.
    const std::string stem(300, 'q');
    const std::string ext(150, 'e');
    QVERIFY(rekkon::ui::compareNames(stem + "b", stem + "A") > 0);
    QVERIFY(rekkon::ui::compareNames(stem, stem + "a") < 0);
    QCOMPARE(rekkon::ui::compareNames(stem + "x", stem + "X"), 0);
    QVERIFY(rekkon::ui::compareEntries(entry("f." + ext + "z"), entry("f." + ext + "y"),
                                       rekkon::ui::kTypeColumn, 0) > 0);

    // The sort orders as compareEntries does, stably, also for names that match past the bytes
    // its keys hold, differ in case only, or hold zero bytes, in both directions and by folder;
    // the list is long enough to be sorted in two halves and merged.
    std::vector<DeletedFileEntry> many;
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < rekkon::ui::kParallelSortRows + 600; ++i) {
        std::string name(20 + (seed = seed * 1103515245 + 12345) % 12, 'k');
        for (std::size_t at : {0u, 23u, 24u, 25u})
            if (at < name.size()) name[at] = "aA\0b"[(seed >> (at % 7)) % 4];
        many.push_back(entry(name, 0, static_cast<std::uint64_t>(i)));
        many.back().folder = "\\" + name.substr(18);
    }
    const FoundList list2(many);
    for (const int column : {rekkon::ui::kNameColumn, rekkon::ui::kFolderColumn})
        for (const std::uint16_t previous : {std::uint16_t{0}, std::uint16_t(column)}) {
            std::vector<std::uint32_t> rows(many.size()), expected(many.size());
            for (std::uint32_t i = 0; i < rows.size(); ++i)
                rows[i] = expected[i] = static_cast<std::uint32_t>(rows.size()) - 1 - i;
            rekkon::ui::sortRows(list2, rekkon::ui::streamOwners(list2), rows, column, previous);
            std::stable_sort(expected.begin(), expected.end(), [&](auto a, auto b) {
                return rekkon::ui::compareEntries(many[a], many[b], column, previous) < 0;
            });
            QCOMPARE(rows, expected);
        }
}

void ResultsModelTest::sizeClicksLargestSmallestLargest() {
    FoundList list = numbered({entry("a", 500), entry("b", 70000), entry("c", 3), entry("d", 500)});
    ResultsModel model;
    model.setEntries(&list);
    model.sortByColumn(1);
    QCOMPARE(names(model), QStringList({"b", "a", "d", "c"}));
    model.sortByColumn(1);
    QCOMPARE(names(model), QStringList({"c", "a", "d", "b"}));
    model.sortByColumn(1);
    QCOMPARE(names(model), QStringList({"b", "a", "d", "c"}));
    // Another column's first click is its first order again.
    model.sortByColumn(0);
    QCOMPARE(names(model), QStringList({"a", "b", "c", "d"}));
}

void ResultsModelTest::timesWithinOneStepCompareEqual() {
    // The reduced time steps every 2^24 * 100 ns (about 1.68 s): a step's first tick and the time
    // one second later compare equal, and the stable sort keeps their order in both directions.
    const std::uint64_t step = (kMarch2006 >> 24) << 24;
    std::vector<DeletedFileEntry> list =
        numbered({entry("early"), entry("later"), entry("newest"), entry("oldest")});
    list[0].createTime = step;
    list[1].createTime = step + kSecond;
    list[2].createTime = step + 4 * kSecond;
    list[3].createTime = step - kSecond;
    for (auto& e : list)
        e.accessTime = kMarch2006;
    list[3].accessTime = kMarch2006 + 10 * kSecond;
    ResultsModel model;
    const FoundList found(list);
    model.setEntries(&found);
    model.sortByColumn(2);
    QCOMPARE(names(model), QStringList({"newest", "early", "later", "oldest"}));
    model.sortByColumn(2);
    QCOMPARE(names(model), QStringList({"oldest", "early", "later", "newest"}));
    QVERIFY(rekkon::ui::compareEntries(list[0], list[1], rekkon::ui::kCreateTimeColumn, 0) == 0);

    // Last Access Time sorts by its own field.
    model.sortByColumn(3);
    QCOMPARE(names(model).first(), QString("oldest"));
}

void ResultsModelTest::statusAndTypeOrders() {
    std::vector<DeletedFileEntry> list = numbered(
        {entry("p.TXT"), entry("g.gz"), entry("a50.doc"), entry("noext"), entry("a5.txt")});
    list[0].status = 0;
    list[1].status = 255;
    list[2].status = 50;
    list[3].status = 0;
    list[4].status = 5;
    ResultsModel model;
    const FoundList found(list);
    model.setEntries(&found);
    model.sortByColumn(4);
    QCOMPARE(names(model), QStringList({"g.gz", "a50.doc", "a5.txt", "p.TXT", "noext"}));
    model.sortByColumn(5);
    QCOMPARE(column(model, 5), QStringList({"", "doc", "gz", "txt", "TXT"}));
    model.sortByColumn(5);
    QCOMPARE(column(model, 5), QStringList({"txt", "TXT", "gz", "doc", ""}));
}

void ResultsModelTest::longNamesShowAndSortLikeNames() {
    std::vector<DeletedFileEntry> list =
        numbered({entry("?UDGET~1.TXT"), entry("?EW.TXT"), entry("?RGERU~1.TXT")});
    list[0].longName = "budget Forecast.txt";
    list[2].longName = "\xC3\x84rger.txt";
    ResultsModel model;
    const FoundList found(list);
    model.setEntries(&found);
    const int longNames = rekkon::ui::kLongNameColumn;
    QCOMPARE(column(model, longNames),
             QStringList({"budget Forecast.txt", "", QString::fromUtf8("\xC3\x84rger.txt")}));
    QVERIFY(!model.data(model.index(0, longNames), Qt::DecorationRole).isValid());
    // A first click gives A to Z (upper-cased, byte by byte; none sorts as an empty name), the
    // next Z to A.
    model.sortByColumn(longNames);
    QCOMPARE(names(model), QStringList({"?EW.TXT", "?UDGET~1.TXT", "?RGERU~1.TXT"}));
    model.sortByColumn(longNames);
    QCOMPARE(names(model), QStringList({"?RGERU~1.TXT", "?UDGET~1.TXT", "?EW.TXT"}));
}

void ResultsModelTest::streamsSortAsTheirFileOtherFilesByTheirOwnValues() {
    // An NTFS file and its named streams share the record number; each stream sorts as the file.
    FoundList list = {entry("zeta.txt", 10, 7), entry("mid.bin", 500, 8),
                      entry("zeta.txt:big", 90000, 7), entry("alpha.txt:s", 1, 9),
                      entry("zeta.txt:a", 20, 7)};
    ResultsModel model;
    model.setEntries(&list);
    model.sortByColumn(1);
    QCOMPARE(names(model),
             QStringList({"mid.bin", "zeta.txt", "zeta.txt:big", "zeta.txt:a", "alpha.txt:s"}));
    model.sortByColumn(5);  // types: txt (as the file), bin, and the stream's own "txt:s"
    QCOMPARE(names(model),
             QStringList({"mid.bin", "zeta.txt", "zeta.txt:big", "zeta.txt:a", "alpha.txt:s"}));
    QCOMPARE(rekkon::ui::streamOwners(list), (std::vector<std::uint32_t>{0, 1, 0, 3, 0}));

    // On FAT a later file can take a deleted file's first cluster: different files that share
    // a location sort by their own values.
    std::vector<DeletedFileEntry> fatEntries = {
        entry("?OUR.TXT", 4000, 5), entry("?INE.TXT", 9950, 5), entry("?HREE.TXT", 3000, 6)};
    fatEntries[0].status = rekkon::kStatusGood;
    fatEntries[1].status = 50;
    fatEntries[2].status = 80;
    const FoundList fat(fatEntries);
    ResultsModel fatModel;
    fatModel.setEntries(&fat);
    fatModel.sortByColumn(1);
    QCOMPARE(names(fatModel), QStringList({"?INE.TXT", "?OUR.TXT", "?HREE.TXT"}));
    fatModel.sortByColumn(4);  // status, best first
    QCOMPARE(names(fatModel), QStringList({"?OUR.TXT", "?HREE.TXT", "?INE.TXT"}));
    fatModel.sortByColumn(4);
    QCOMPARE(names(fatModel), QStringList({"?INE.TXT", "?HREE.TXT", "?OUR.TXT"}));
}

void ResultsModelTest::setEntriesForgetsTheSortState() {
    FoundList list = numbered({entry("a", 2), entry("c", 1), entry("b", 3)});
    ResultsModel model;
    model.setEntries(&list);
    model.sortByColumn(0);
    model.sortByColumn(1);
    model.setEntries(&list);
    QCOMPARE(names(model), QStringList({"a", "c", "b"}));
    model.sortByColumn(0);  // previous column 0 again: Z to A
    QCOMPARE(names(model), QStringList({"c", "b", "a"}));
}

void ResultsModelTest::reducedTimeKeepsBits24To54() {
    QCOMPARE(rekkon::ui::reducedTime(0x0123456789ABCDEFULL), 0x23456789u);
    QCOMPARE(rekkon::ui::reducedTime(~0ULL), 0x7FFFFFFFu);
    QCOMPARE(rekkon::ui::reducedTime(0x00FFFFFFULL), 0u);
    QCOMPARE(rekkon::ui::previousAfterClick(3, 3), std::uint16_t{0xFFF});
    QCOMPARE(rekkon::ui::previousAfterClick(3, 0xFFF), std::uint16_t{3});
}

namespace {

void clickHeader(QTableView& view, int section) {
    QHeaderView* header = view.horizontalHeader();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

struct ShownList {
    FoundList list;
    ResultsModel model;
    QTableView view;

    explicit ShownList(FoundList entries) : list(std::move(entries)) {
        model.setEntries(&list);
        view.setModel(&model);
        view.setSortingEnabled(false);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        QObject::connect(view.horizontalHeader(), &QHeaderView::sectionClicked, &model,
                         &ResultsModel::sortByColumn);
        view.resize(900, 400);
        view.show();
    }
};

}  // namespace

void ResultsModelTest::headerClicksInATableView() {
    ShownList shown(numbered({entry("b.txt", 30), entry("c.doc", 10), entry("a.gz", 20)}));
    QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
    QSignalSpy clicked(shown.view.horizontalHeader(), &QHeaderView::sectionClicked);
    clickHeader(shown.view, 0);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(names(shown.model), QStringList({"c.doc", "b.txt", "a.gz"}));
    clickHeader(shown.view, 0);
    QCOMPARE(names(shown.model), QStringList({"a.gz", "b.txt", "c.doc"}));
    clickHeader(shown.view, 1);
    QCOMPARE(names(shown.model), QStringList({"b.txt", "a.gz", "c.doc"}));
    clickHeader(shown.view, 1);
    QCOMPARE(names(shown.model), QStringList({"c.doc", "a.gz", "b.txt"}));
    QCOMPARE(shown.view.model()->data(shown.view.model()->index(0, 1)).toString(), QString("0,00"));
}

void ResultsModelTest::selectionFollowsSortedEntries() {
    ShownList shown(numbered({entry("b", 30), entry("c", 10), entry("a", 20), entry("d", 5)}));
    QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
    const auto rowCenter = [&](int row) {
        return QPoint(shown.view.columnViewportPosition(0) + 5,
                      shown.view.rowViewportPosition(row) + shown.view.rowHeight(row) / 2);
    };
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, {}, rowCenter(0));
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, Qt::ControlModifier, rowCenter(2));
    const auto selectedNames = [&] {
        QStringList selected;
        for (const QModelIndex& index : shown.view.selectionModel()->selectedRows()) {
            selected << QString::fromStdString(shown.model.entryAt(index.row())->name);
        }
        selected.sort();
        return selected;
    };
    QCOMPARE(selectedNames(), QStringList({"a", "b"}));

    shown.view.horizontalHeader()->sectionClicked(1);  // sizes, largest first: b a c d
    QCOMPARE(names(shown.model), QStringList({"b", "a", "c", "d"}));
    QCOMPARE(selectedNames(), QStringList({"a", "b"}));
    QVERIFY(shown.view.selectionModel()->isRowSelected(0, {}));
    QVERIFY(shown.view.selectionModel()->isRowSelected(1, {}));
    QVERIFY(!shown.view.selectionModel()->isRowSelected(2, {}));
    QCOMPARE(shown.model.entryAt(1)->location, 102u);

    // A plain click selects that row alone.
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, {}, rowCenter(3));
    QCOMPARE(selectedNames(), QStringList({"d"}));
}

// The filter matches the name, long name, folder and type, letters in any case (also beyond
// ASCII), combines with the estimate choice, keeps the sort order and the selection of rows still
// shown; the folder column sorts A to Z first.
void ResultsModelTest::filterNarrowsByNameFolderTypeAndEstimate() {
    std::vector<DeletedFileEntry> list =
        numbered({entry("IMG_1.JPG", 30), entry("notes.txt", 10), entry("?ACKUP.ZIP", 20),
                  entry("report.doc", 5)});
    list[0].folder = "\\DCIM\\100CANON";
    list[1].folder = "\\Users\\Åsa";
    list[2].folder = "\\";
    list[2].longName = "Holiday backup.zip";
    list[3].folder = "\\Work";
    list[0].status = 255;
    list[1].status = 40;
    list[2].status = 0;
    list[3].status = 255;
    ShownList shown(list);
    QCOMPARE(shown.model.data(shown.model.index(0, kFolderColumn)).toString(),
             QStringLiteral("\\DCIM\\100CANON"));
    shown.view.horizontalHeader()->sectionClicked(kFolderColumn);
    QCOMPARE(names(shown.model),
             QStringList({"?ACKUP.ZIP", "IMG_1.JPG", "notes.txt", "report.doc"}));
    shown.view.selectionModel()->select(
        QItemSelection(shown.model.index(1, 0), shown.model.index(3, kFolderColumn)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);

    const auto filtered = [&](const QString& text, StatusFilter status = StatusFilter::All) {
        shown.model.setFilter({text, status});
        return names(shown.model);
    };
    // Rows filtered out leave the selection; those still shown keep it.
    QCOMPARE(filtered("t"), QStringList({"notes.txt", "report.doc"}));
    QCOMPARE(shown.view.selectionModel()->selectedRows().size(), 2);
    QCOMPARE(filtered(""), QStringList({"?ACKUP.ZIP", "IMG_1.JPG", "notes.txt", "report.doc"}));
    QCOMPARE(shown.view.selectionModel()->selectedRows().size(), 2);
    QVERIFY(shown.view.selectionModel()->isRowSelected(2, {}));

    QCOMPARE(filtered("img_"), QStringList({"IMG_1.JPG"}));
    QCOMPARE(filtered("canon"), QStringList({"IMG_1.JPG"}));     // folder
    QCOMPARE(filtered("HOLIDAY"), QStringList({"?ACKUP.ZIP"}));  // long name
    QCOMPARE(filtered("doc"), QStringList({"report.doc"}));      // type
    QCOMPARE(filtered("åSA"), QStringList({"notes.txt"}));       // beyond ASCII
    QCOMPARE(filtered("zzz"), QStringList());
    QCOMPARE(filtered("", StatusFilter::GoodOnly), QStringList({"IMG_1.JPG", "report.doc"}));
    QCOMPARE(filtered("o", StatusFilter::GoodAndAverage),
             QStringList({"IMG_1.JPG", "notes.txt", "report.doc"}));
    QCOMPARE(shown.model.foundCount(), 4);
}

QTEST_MAIN(ResultsModelTest)
#include "ResultsModelTest.moc"
