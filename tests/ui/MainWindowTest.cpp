// Drives the real main window on the fixture images (FAT, NTFS, exFAT): the rows against the
// command line's list, the header clicks, Change Folder, recovery of selected rows, and the
// failure messages.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>

#include <QTreeWidget>
#include <QUrl>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "fat/FatFolders.h"
#include "recovery/EntryText.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/ToyFileSystem.h"
#include "ui/AboutBox.h"
#include "ui/App.h"
#include "ui/ChangeFolderDialog.h"
#include "ui/ContentSearchOffer.h"
#include "ui/CutCellTips.h"
#include "ui/FilterBar.h"
#include "ui/FirstCharDialog.h"
#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"
#include "ui/RecoverFlow.h"
#include "ui/ResultsModel.h"
#include "ui/SortRules.h"
#include "volume/SectorDevice.h"
#include "volume/TextEncoding.h"

using namespace rekkon;
using namespace rekkon::ui;

namespace {

const char* const kFatImage = "fat/fat16.img";
const char* const kNtfsImage = "ntfs/ntfs-512-4k.img";
const char* const kExfatImage = "exfat/basic.img";

// One row of `rekkon-cli list --format csv`.
struct CliRow {
    std::string location, name, size, statusText, type;
};

std::vector<std::string> splitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<CliRow> cliList(const std::string& image) {
    int status = -1;
    const std::string out = test::runCommand(
        std::string(REKKON_CLI_PATH) + " list --format csv '" + image + "'", status);
    std::vector<CliRow> rows;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        const auto f = splitCsvLine(line);
        if (f.size() < 8) continue;
        rows.push_back({f[0], f[1], f[2], f[6], f[7]});
    }
    return rows;
}

QString cell(const ResultsModel* model, int row, int column) {
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

// A main window whose message boxes are collected instead of shown.
struct Harness {
    std::vector<QString> warnings;
    std::vector<QUrl> opened;
    std::vector<QUrl> shownInside;
    bool browserOpens = true;
    std::optional<std::string> folderChoice;
    bool folderAsked = false;
    MainWindow window;

    Harness() : window(hooks()) {}

    MainWindowHooks hooks() {
        MainWindowHooks h;
        h.warn = [this](QWidget*, const QString& text) { warnings.push_back(text); };
        h.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return browserOpens;
        };
        h.showManualInside = [this](QWidget*, const QUrl& url) { shownInside.push_back(url); };
        h.openSettings = [] { return std::unique_ptr<QSettings>(); };
        h.askSearchByContent = [this](QWidget*, const QString& text) {
            warnings.push_back(text);
            return false;
        };
        return h;
    }
};

// "&Rekkon" without dialogs: the files go to `destination` (a same-volume question is answered
// Yes when `askYesNo`), the first characters come from `asker` (null: the real dialog), and the
// outcomes are kept.
std::function<std::vector<RecoveryOutcome>(QWidget*, ScanContext&, const QString&,
                                           const std::vector<const DeletedFileEntry*>&)>
recoverInto(const test::TempDir& destination, std::vector<RecoveryOutcome>& outcomes,
            FirstCharAsker* asker = nullptr) {
    return [&destination, &outcomes, asker](QWidget* parent, ScanContext& context,
                                            const QString& source,
                                            const std::vector<const DeletedFileEntry*>& entries) {
        RecoverFlowHooks flow;
        flow.chooseFolder = [&](QWidget*) { return QString::fromStdString(destination.path()); };
        flow.askYesNo = [](QWidget*, const QString&) { return true; };
        flow.showMessage = [](QWidget*, const QString&) {};
        flow.firstCharAsker = asker;
        if (auto* window = qobject_cast<MainWindow*>(parent)) {
            flow.longNames = window->recoverUnderLongNames();
            flow.keepFolders = window->recoverIntoFolders();
        }
        // The window's copies of the selected entries live only while it recovers: the outcomes
        // point at copies that outlive it.
        static std::deque<DeletedFileEntry> kept;
        std::vector<const DeletedFileEntry*> ours;
        for (const DeletedFileEntry* e : entries)
            ours.push_back(&kept.emplace_back(*e));
        outcomes = recoverSelected(parent, context, source, ours, flow);
        return outcomes;
    };
}

void clickHeader(QTableView* view, int column) {
    QHeaderView* header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// Runs `answer` on the first modal dialog the event loop shows while it lives.
class ModalAnswer {
  public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                timer_.stop();
                answer_(modal);
            }
        });
        timer_.start();
    }

  private:
    std::function<void(QWidget*)> answer_;
    QTimer timer_;
};

// Opens the list's context menu and closes it again: whether the item `text` was enabled there
// (nullopt: not in the menu). An enabled item is then triggered when `trigger`.
std::optional<bool> listMenuItem(MainWindow& window, const QString& text, bool trigger = true) {
    std::optional<bool> enabled;
    QAction* item = nullptr;
    QTimer menuTimer;
    menuTimer.setInterval(0);
    QObject::connect(&menuTimer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        menuTimer.stop();
        for (QAction* action : menu->actions())
            if (action->text() == text) {
                item = action;
                enabled = action->isEnabled();
            }
        menu->close();
    });
    menuTimer.start();
    emit window.resultsView()->customContextMenuRequested(QPoint(5, 5));
    if (trigger && item != nullptr && *enabled) item->trigger();
    return enabled;
}

using RowKey = std::tuple<std::uint64_t, std::string, std::string>;  // location, folder, name

std::set<RowKey> rowKeys(const MainWindow& window) {
    std::set<RowKey> keys;
    const ResultsModel* model = window.resultsModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const auto e = model->entryAt(row);
        keys.emplace(e->location, e->folder, e->name);
    }
    return keys;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Selects the rows whose entries lie at `locations` (every row of such a location when
// `streams`, else only rows without a stream name).
void selectLocations(MainWindow& window, const std::set<std::uint64_t>& locations) {
    const ResultsModel* model = window.resultsModel();
    QItemSelectionModel* selection = window.resultsView()->selectionModel();
    for (int row = 0; row < model->rowCount(); ++row)
        if (locations.count(model->entryAt(row)->location) != 0)
            selection->select(model->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Answers the first-character questions from the fixture's manifest: the one deleted short name
// that ends like the asked-for name.
class ManifestAsker : public FirstCharAsker {
  public:
    explicit ManifestAsker(std::vector<test::ManifestRow> rows) : rows_(std::move(rows)) {}
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>&) override {
        ++asked;
        for (const auto& row : rows_) {
            if (row.at("state") == "live") continue;
            const std::string& path = row.at("short_path");
            const std::string base = path.substr(path.rfind('/') + 1);
            // The first character may be several UTF-8 bytes.
            std::size_t first = 1;
            while (first < base.size() && (static_cast<unsigned char>(base[first]) & 0xC0) == 0x80)
                ++first;
            if (base.substr(first) == name.substr(1)) return FirstCharAnswer{base.substr(0, first)};
        }
        return std::nullopt;
    }
    int asked = 0;

  private:
    std::vector<test::ManifestRow> rows_;
};

// The manifest's md5 of a FAT file by the folder a scan shows (long names, "\\DOCS") and its
// 8.3 name.
std::string fatManifestMd5(const std::vector<test::ManifestRow>& rows, const std::string& folder,
                           const std::string& fileName) {
    std::string longFolder = folder == "\\" ? "" : folder;
    std::replace(longFolder.begin(), longFolder.end(), '\\', '/');
    for (const auto& row : rows) {
        const std::string& longPath = row.at("long_path");
        const std::string& shortPath = row.at("short_path");
        if (longPath.substr(0, longPath.rfind('/')) == longFolder &&
            shortPath.substr(shortPath.rfind('/') + 1) == fileName)
            return row.at("md5");
    }
    return "(not in the manifest: " + folder + " " + fileName + ")";
}

// The manifest's md5 of an NTFS file or stream by record and stream name.
std::string ntfsManifestMd5(const std::vector<test::ManifestRow>& rows,
                            const DeletedFileEntry& entry) {
    const std::size_t colon = entry.name.find(':');
    const std::string stream = colon == std::string::npos ? "-" : entry.name.substr(colon + 1);
    for (const auto& row : rows)
        if (row.at("state") != "live" && row.at("record") == std::to_string(entry.location) &&
            row.at("stream") == stream)
            return row.at("md5");
    return "(not in the manifest: " + entry.name + ")";
}

using ListedFile = std::tuple<std::string, std::string, std::uint64_t>;  // folder, name, size

std::set<ListedFile> listedFiles(const MainWindow& window) {
    std::set<ListedFile> files;
    const ResultsModel* model = window.resultsModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const auto e = model->entryAt(row);
        files.emplace(e->folder, e->name, e->size);
    }
    return files;
}

// The deleted files of an exFAT fixture's manifest that a walk from the root reaches, in
// `folder` ('/'-separated, empty: all), as the list shows them ("\\old-project\\sub").
std::set<ListedFile> exfatDeletedFiles(const std::string& folder = {}) {
    std::set<ListedFile> files;
    for (const auto& row : test::readManifest(test::fixtureSource("exfat/basic.manifest.tsv"))) {
        const std::string& path = row.at("path");
        if (row.at("state") != "deleted" || row.at("type") != "file" ||
            row.at("reachable") != "yes" || path.rfind(folder, 0) != 0)
            continue;
        const std::size_t slash = path.rfind('/');
        std::string shown =
            "\\" + (slash == std::string::npos ? std::string() : path.substr(0, slash));
        std::replace(shown.begin(), shown.end(), '/', '\\');
        files.emplace(shown, path.substr(slash + 1), std::stoull(row.at("size")));
    }
    return files;
}

}  // namespace

// A fixture image whose reads wait until the user-interface thread opens the gate, so a test
// can look at the windows while the worker is busy.
class GatedDevice : public SectorDevice {
  public:
    GatedDevice(std::unique_ptr<SectorDevice> inner, std::shared_ptr<struct Gate> gate)
        : inner_(std::move(inner)), gate_(std::move(gate)) {}
    void seekSector(std::uint64_t sector) override { inner_->seekSector(sector); }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return inner_->sizeBytes(); }

  private:
    std::unique_ptr<SectorDevice> inner_;
    std::shared_ptr<struct Gate> gate_;
};

struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
};

std::size_t GatedDevice::readSectors(std::span<std::uint8_t> buffer) {
    gate_->wait();
    return inner_->readSectors(buffer);
}

QStringList labelTexts(QWidget* widget) {
    QStringList texts;
    for (const QLabel* label : widget->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    void checkRowsEqualCli(const char* fixture);

  private slots:
    // The windows made without settings hooks remember into a test folder, emptied before each
    // test, so no test sees what another left.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QSettings(QStringLiteral("rekkon"), QStringLiteral("rekkon")).clear(); }
    void fatRowsEqualTheCommandLineList() { checkRowsEqualCli(kFatImage); }
    void ntfsRowsEqualTheCommandLineList() { checkRowsEqualCli(kNtfsImage); }
    void exfatRowsEqualTheCommandLineList() { checkRowsEqualCli(kExfatImage); }
    void exfatListsDeletedFilesWithWholeNamesWithoutALongNameColumn();
    void changeFolderBrowsesExfatFolders();
    void windowHasTheControlsAndTexts();
    void scanRunsOffTheUserInterfaceThreadBehindTheProgressWindow();
    void escapeCancelsTheScanAndTheListSaysItIsIncomplete();
    void headerClicksSortByTheClickRules();
    void rekkonRecoversTheSelectedFatRows();
    void rekkonAsksTheFirstCharacterWithTheDialog();
    void rekkonRecoversTheSelectedNtfsRows();
    void aFileSystemOfTheTestsOwnIsListedAndRecovered();
    void changeFolderIsDisabledOnNtfs();
    void changeFolderTreeShowsLongNamesAndGives83Paths();
    void changeFolderRescansTheChosenFolder();
    void changeFolderToAFolderWithoutDeletedFilesKeepsTheStatusLine();
    void folderOnTheCommandLineIsScannedOnFat();
    void sourceThatCannotBeOpenedIsReported();
    void sourceWithoutAVolumeIsReported();
    void searchByContentIsOfferedWhereNothingMountsOrIsFound();
    void f1OpensTheManualBesideTheProgram();
    void escapeClosesTheWindow();
    void enterRecoversTheSelection();
    void startUpEndsAfterAFailureOrNothingFound();
    void aboutButtonAndListMenuShowTheAboutBox();
    void listMenuChoosesLongNamesAndTheListShowsThem();
    void listMenuSearchesFreeSpaceForLostFolders();
    void lostFolderSearchIsOfferedOnMountedFatOnly();
    void listMenuKeepsFoldersAndSavesTheReport();
    void keyboardLeavesTheListForTheButtonsAndRekkonWaitsForASelection();
    void toolsMenuFilterLineAndCounts();
    void settingsComeBackAfterARestart();
    void aPartitionOfADiskIsNamedInTheTitleAndStatusLine();
    void cutCellsGiveTheirWholeTextAsTooltip();
};

void MainWindowTest::checkRowsEqualCli(const char* fixture) {
    const std::string image = test::fixtureImage(fixture);
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(image)));
    QVERIFY(h.warnings.empty());
    const std::vector<CliRow> expected = cliList(image);
    const ResultsModel* model = h.window.resultsModel();
    QVERIFY(!expected.empty());
    QCOMPARE(model->rowCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < model->rowCount(); ++row) {
        const CliRow& want = expected[static_cast<std::size_t>(row)];
        QCOMPARE(std::to_string(model->entryAt(row)->location), want.location);
        QCOMPARE(cell(model, row, 0).toStdString(), want.name);
        QCOMPARE(cell(model, row, 1).toStdString(), sizeText(std::stoull(want.size)));
        QCOMPARE(cell(model, row, 4).toStdString(), want.statusText);
        QCOMPARE(cell(model, row, 5).toStdString(), want.type);
    }
    QCOMPARE(h.window.statusLine()->text(), QStringLiteral("On %1:\\ found  %2 deleted files")
                                                .arg(QString::fromStdString(image))
                                                .arg(expected.size()));
}

void MainWindowTest::exfatListsDeletedFilesWithWholeNamesWithoutALongNameColumn() {
    Harness h;
    const QTableView* view = h.window.resultsView();
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kExfatImage))));
    QVERIFY(h.warnings.empty());
    // Every deleted file the folders lead to, with its whole Unicode name, folder and size, and
    // nothing else.
    const std::set<ListedFile> listed = listedFiles(h.window);
    QCOMPARE(listed, exfatDeletedFiles());
    QVERIFY(listed.count({"\\", "写真 🎉 2024.jpg", 12609}) == 1);
    QVERIFY(listed.count({"\\old-project\\sub", "inner.bin", 12293}) == 1);
    QVERIFY(h.window.changeFolderButton()->isEnabled());
    // File Name holds the whole name: no Long Name column, and no long names to recover under.
    QVERIFY(view->isColumnHidden(kLongNameColumn));
    const int wideName = view->columnWidth(kNameColumn);
    QVERIFY(wideName > ResultsModel::columnWidth(kNameColumn));
    QCOMPARE(listMenuItem(h.window, QStringLiteral("Recover under long names"), false),
             std::optional<bool>(false));
    // A FAT volume opened next in the same window shows the column again.
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    QVERIFY(!view->isColumnHidden(kLongNameColumn));
    QVERIFY(view->columnWidth(kNameColumn) < wideName);
}

void MainWindowTest::windowHasTheControlsAndTexts() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    // The title names what is listed, so two windows are told apart.
    QCOMPARE(h.window.windowTitle(),
             QFileInfo(QString::fromStdString(test::fixtureImage(kFatImage))).fileName() +
                 QStringLiteral(" \u2014 Vantrel Rekkon Personal 1.4"));
    QCOMPARE(h.window.recoverButton()->text(), QStringLiteral("&Rekkon"));
    QCOMPARE(h.window.changeFolderButton()->text(), QStringLiteral("&Change Folder"));
    QCOMPARE(h.window.aboutButton()->text(), QStringLiteral("&About"));
    QCOMPARE(h.window.doneButton()->text(), QStringLiteral("Done (ESC)"));
    QVERIFY(h.window.recoverButton()->isDefault());
    QVERIFY(h.window.changeFolderButton()->isEnabled());
    QCOMPARE(h.window.resultsView()->selectionMode(), QAbstractItemView::ExtendedSelection);
    // A 1,536-byte file shows "1,50"; the model uses the shared size text.
    const ResultsModel* model = h.window.resultsModel();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->entryAt(row)->size == 2047)
            QCOMPARE(cell(model, row, 1), QStringLiteral("1,99"));
}

void MainWindowTest::scanRunsOffTheUserInterfaceThreadBehindTheProgressWindow() {
    auto gate = std::make_shared<Gate>();
    SourceOpener open = [gate](const std::string& path,
                               int& error) -> std::unique_ptr<SectorDevice> {
        auto inner = openFileSource(path, error);
        if (!inner) return nullptr;
        return std::make_unique<GatedDevice>(std::move(inner), gate);
    };
    Harness h;
    QSignalSpy rejected(&h.window, &QDialog::rejected);
    bool looked = false;
    bool disabled = false;
    bool progressShown = false;
    QStringList progressTexts;
    // The volume's first read waits for this timer: the user-interface thread is still handling
    // events while the worker mounts.
    QTimer::singleShot(0, [&] {
        looked = true;
        disabled = !h.window.isEnabled();
        progressShown = h.window.progressWindow()->isVisible();
        progressTexts = labelTexts(h.window.progressWindow());
        // Keys pressed meanwhile are dropped, not acted on once the scan is over.
        QTest::keyClick(&h.window, Qt::Key_Escape);
        gate->release();
    });
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage)), {}, open));
    QVERIFY(looked);
    QVERIFY(disabled);
    QVERIFY(progressShown);
    QVERIFY2(
        progressTexts.contains(QStringLiteral("Initialization of volume %1: ...")
                                   .arg(QString::fromStdString(test::fixtureImage(kFatImage)))),
        qPrintable(progressTexts.join('|')));
    // The worker's last count reached the progress window before it closed.
    QVERIFY2(labelTexts(h.window.progressWindow())
                 .contains(QStringLiteral("Found 11 deleted files. Searching...")),
             qPrintable(labelTexts(h.window.progressWindow()).join('|')));
    QVERIFY(!h.window.progressWindow()->isVisible());
    QVERIFY(h.window.isEnabled());
    QCOMPARE(rejected.count(), 0);
    QCOMPARE(h.window.resultsModel()->rowCount(), 11);
}

// fat16.img, whose scan waits at its first read of the folder LETTERS (cluster 122 at sector
// 100 + 120 * 4) until the gate opens; `reached` says it waits there.
class WaitingDevice final : public SectorDevice {
  public:
    WaitingDevice(std::unique_ptr<SectorDevice> inner, std::shared_ptr<Gate> gate,
                  std::shared_ptr<std::atomic<bool>> reached)
        : inner_(std::move(inner)), gate_(std::move(gate)), reached_(std::move(reached)) {}
    void seekSector(std::uint64_t sector) override {
        sector_ = sector;
        inner_->seekSector(sector);
    }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        constexpr std::uint64_t kLetters = 580;
        if (sector_ <= kLetters && kLetters < sector_ + buffer.size() / kSectorSize) {
            reached_->store(true);
            gate_->wait();
        }
        return inner_->readSectors(buffer);
    }
    std::optional<std::uint64_t> sizeBytes() const override { return inner_->sizeBytes(); }

  private:
    std::unique_ptr<SectorDevice> inner_;
    std::shared_ptr<Gate> gate_;
    std::shared_ptr<std::atomic<bool>> reached_;
    std::uint64_t sector_ = 0;
};

void MainWindowTest::escapeCancelsTheScanAndTheListSaysItIsIncomplete() {
    auto gate = std::make_shared<Gate>();
    auto reached = std::make_shared<std::atomic<bool>>(false);
    SourceOpener open = [gate, reached](const std::string& path,
                                        int& error) -> std::unique_ptr<SectorDevice> {
        auto inner = openFileSource(path, error);
        if (!inner) return nullptr;
        return std::make_unique<WaitingDevice>(std::move(inner), gate, reached);
    };
    Harness h;
    h.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&h.window));
    QSignalSpy rejected(&h.window, &QDialog::rejected);
    bool cancelShown = false;
    QTimer press;
    press.setInterval(5);
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (!reached->load()) return;
        press.stop();
        cancelShown = h.window.progressWindow()->cancelButton()->isVisible();
        // Escape in the main window, which the scan keeps disabled, presses Cancel.
        QTest::keyClick(&h.window, Qt::Key_Escape);
        gate->release();
    });
    press.start();
    const QString image = QString::fromStdString(test::fixtureImage(kFatImage));
    QVERIFY(h.window.openSource(image, {}, open));
    QVERIFY(cancelShown);
    QCOMPARE(rejected.count(), 0);
    // The files of the root and \DOCS, found before the scan reached LETTERS, are listed.
    const int rows = h.window.resultsModel()->rowCount();
    QVERIFY2(rows > 0 && rows < 11, qPrintable(QString::number(rows)));
    QCOMPARE(h.window.statusLine()->text(),
             QStringLiteral("On %1:\\ found  %2 deleted files  (search cancelled: the list is "
                            "incomplete)")
                 .arg(image)
                 .arg(rows));
    QVERIFY(!h.window.progressWindow()->cancelButton()->isVisible());
}

void MainWindowTest::headerClicksSortByTheClickRules() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    QTableView* view = h.window.resultsView();
    const ResultsModel* model = h.window.resultsModel();
    // Names compare byte by byte with ASCII letters upper-cased. Each FAT row compares by its
    // own values, also where rows share a location (files without a first cluster, a reused
    // cluster).
    auto names = [&] {
        std::vector<std::string> out;
        for (int row = 0; row < model->rowCount(); ++row)
            out.push_back(asciiUpper(model->entryAt(row)->name));
        return out;
    };
    auto sizes = [&] {
        std::vector<std::uint64_t> out;
        for (int row = 0; row < model->rowCount(); ++row)
            out.push_back(model->entryAt(row)->size);
        return out;
    };
    // Right after a scan the first click on "File Name" gives Z to A, the next A to Z.
    clickHeader(view, 0);
    auto byName = names();
    QVERIFY(std::is_sorted(byName.rbegin(), byName.rend()));
    QVERIFY(byName.front() != byName.back());
    QHeaderView* header = view->horizontalHeader();
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(view, 0);
    byName = names();
    QVERIFY(std::is_sorted(byName.begin(), byName.end()));
    // The arrow follows the order the list shows.
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // "Size (kB)": largest first, then smallest first, then largest first again.
    clickHeader(view, 1);
    auto s = sizes();
    QVERIFY(std::is_sorted(s.rbegin(), s.rend()));
    clickHeader(view, 1);
    s = sizes();
    QVERIFY(std::is_sorted(s.begin(), s.end()));
    clickHeader(view, 1);
    s = sizes();
    QVERIFY(std::is_sorted(s.rbegin(), s.rend()));
    QVERIFY(s.front() > s.back());
}

void MainWindowTest::rekkonRecoversTheSelectedFatRows() {
    const auto manifest = test::readManifest(test::fixtureSource("fat/fat16.manifest.tsv"));
    test::TempDir destination;
    ManifestAsker asker(manifest);
    std::vector<RecoveryOutcome> outcomes;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = recoverInto(destination, outcomes, &asker);
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    // A long name with a non-ASCII first character, a file in the root, two in folders.
    selectLocations(window, {10, 17, 121, 127});
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QCOMPARE(outcomes.size(), std::size_t{4});
    QCOMPARE(asker.asked, 1);  // ?LDNOTES.TXT: the disk proves the other three characters
    for (const RecoveryOutcome& outcome : outcomes) {
        QCOMPARE(outcome.result, RecoveryResult::Written);
        const std::string fileName = std::filesystem::path(outcome.outputPath).filename().string();
        QCOMPARE(test::md5OfFile(outcome.outputPath),
                 fatManifestMd5(manifest, outcome.entry->folder, fileName));
    }
}

void MainWindowTest::rekkonAsksTheFirstCharacterWithTheDialog() {
    const auto manifest = test::readManifest(test::fixtureSource("fat/fat16.manifest.tsv"));
    test::TempDir destination;
    std::vector<RecoveryOutcome> outcomes;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = recoverInto(destination, outcomes);
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    selectLocations(window, {17});
    bool answered = false;
    ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<FirstCharDialog*>(modal);
        if (dialog == nullptr) {
            modal->close();
            return;
        }
        dialog->characterEdit()->setText(QStringLiteral("O"));
        answered = true;
        dialog->accept();
    });
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QVERIFY(answered);
    QCOMPARE(outcomes.size(), std::size_t{1});
    QCOMPARE(std::filesystem::path(outcomes[0].outputPath).filename().string(),
             std::string("OLDNOTES.TXT"));
    QCOMPARE(test::md5OfFile(outcomes[0].outputPath),
             fatManifestMd5(manifest, "\\DOCS", "OLDNOTES.TXT"));
}

void MainWindowTest::rekkonRecoversTheSelectedNtfsRows() {
    const auto manifest = test::readManifest(test::fixtureSource("ntfs/ntfs-512-4k.manifest.tsv"));
    test::TempDir destination;
    std::vector<RecoveryOutcome> outcomes;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = recoverInto(destination, outcomes);
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kNtfsImage))));
    // Fragmented, with named streams, resident, non-ASCII, in a deleted folder, compressed.
    selectLocations(window, {70, 73, 109, 111, 117, 124});
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QCOMPARE(outcomes.size(), std::size_t{8});
    for (const RecoveryOutcome& outcome : outcomes) {
        QCOMPARE(outcome.result, RecoveryResult::Written);
        QCOMPARE(test::md5OfFile(outcome.outputPath), ntfsManifestMd5(manifest, *outcome.entry));
    }
}

void MainWindowTest::aFileSystemOfTheTestsOwnIsListedAndRecovered() {
    const test::ToyRegistration toy;
    test::TempDir folder;
    const std::string image = folder.path() + "/toy.img";
    const std::vector<std::uint8_t> bytes = test::toyVolume();
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    test::TempDir destination;
    std::vector<RecoveryOutcome> outcomes;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = recoverInto(destination, outcomes);
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(image)));
    QVERIFY(!window.changeFolderButton()->isEnabled());
    const ResultsModel* model = window.resultsModel();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(cell(model, 0, 0), QStringLiteral("GONE.TXT"));
    selectLocations(window, {1});
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QCOMPARE(outcomes.size(), std::size_t{1});
    QCOMPARE(outcomes[0].result, RecoveryResult::Written);
    std::ifstream in(outcomes[0].outputPath, std::ios::binary);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), std::string("hello, toy\n"));
}

void MainWindowTest::changeFolderIsDisabledOnNtfs() {
    Harness h;
    bool asked = false;
    MainWindowHooks hooks = h.hooks();
    hooks.chooseFolder = [&](QWidget*, ScanContext&) -> std::optional<std::string> {
        asked = true;
        return std::nullopt;
    };
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kNtfsImage))));
    QVERIFY(!window.changeFolderButton()->isEnabled());
    window.changeFolder();
    QVERIFY(!asked);
    QVERIFY(window.resultsView()->isColumnHidden(kLongNameColumn));  // one name per file
}

void MainWindowTest::changeFolderBrowsesExfatFolders() {
    Harness h;
    const QString image = QString::fromStdString(test::fixtureImage(kExfatImage));
    QVERIFY(h.window.openSource(image));
    // The live folders by their whole names, read as they are opened; the real dialog is
    // answered as a person would: "many", OK.
    QStringList top;
    int manyChildren = -1;
    std::string chosen;
    ModalAnswer answer([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<ChangeFolderDialog*>(modal)) {
            QTreeWidgetItem* root = dialog->tree()->topLevelItem(0);
            for (int i = 0; i < root->childCount(); ++i)
                top << root->child(i)->text(0);
            if (QTreeWidgetItem* many = root->child(2)) {
                many->setExpanded(true);
                manyChildren = many->childCount();
                dialog->tree()->setCurrentItem(many);
                chosen = dialog->chosenFolder();
            }
            dialog->accept();
        } else {
            modal->close();
        }
    });
    h.window.changeFolder();
    QCOMPARE(top, (QStringList{"docs", "Ελληνικά", "many", "names"}));
    QCOMPARE(manyChildren, 0);
    QCOMPARE(chosen, std::string("\\many"));
    QVERIFY(h.warnings.empty());
    QCOMPARE(listedFiles(h.window), exfatDeletedFiles("many/"));
    QCOMPARE(h.window.resultsModel()->rowCount(), 4);
    QCOMPARE(h.window.statusLine()->text(),
             QStringLiteral("On %1:\\many found  4 deleted files").arg(image));
}

void MainWindowTest::changeFolderTreeShowsLongNamesAndGives83Paths() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    ChangeFolderDialog dialog(h.window.context(), QStringLiteral("fat16.img:\\"));
    QTreeWidgetItem* root = dialog.tree()->topLevelItem(0);
    QVERIFY(root != nullptr);
    QStringList top;
    for (int i = 0; i < root->childCount(); ++i)
        top << root->child(i)->text(0);
    // Live folders only: the deleted "Old Projects Archive" is not offered.
    QCOMPARE(top, (QStringList{"DOCS", "LETTERS", "TEMP", "Fragment Test"}));
    QTreeWidgetItem* docs = root->child(0);
    QCOMPARE(docs->childCount(), 0);  // read when opened
    docs->setExpanded(true);
    QCOMPARE(docs->childCount(), 1);
    QTreeWidgetItem* notes = docs->child(0);
    QCOMPARE(notes->text(0), QStringLiteral("Project Notes 2021"));
    notes->setExpanded(true);
    QCOMPARE(notes->childCount(), 1);
    QCOMPARE(notes->child(0)->text(0), QStringLiteral("Drafts"));
    dialog.tree()->setCurrentItem(notes->child(0));
    QCOMPARE(dialog.chosenFolder(), std::string("\\DOCS\\PROJEC~1\\DRAFTS"));
    dialog.tree()->setCurrentItem(root);
    QCOMPARE(dialog.chosenFolder(), std::string("\\"));
}

void MainWindowTest::changeFolderRescansTheChosenFolder() {
    // The real dialog, answered as a person would: open DOCS, pick "Project Notes 2021", OK.
    Harness h;
    const QString image = QString::fromStdString(test::fixtureImage(kFatImage));
    QVERIFY(h.window.openSource(image));
    QVERIFY(h.window.resultsModel()->rowCount() > 1);
    bool answered = false;
    ModalAnswer answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<ChangeFolderDialog*>(modal);
        if (dialog == nullptr) {
            modal->close();
            return;
        }
        QTreeWidgetItem* docs = dialog->tree()->topLevelItem(0)->child(0);
        docs->setExpanded(true);
        dialog->tree()->setCurrentItem(docs->child(0));
        answered = true;
        dialog->accept();
    });
    h.window.changeFolder();
    QVERIFY(answered);
    QVERIFY(h.warnings.empty());
    const ResultsModel* model = h.window.resultsModel();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->entryAt(0)->location, 10u);
    QCOMPARE(h.window.statusLine()->text(),
             QStringLiteral("On %1:\\DOCS\\PROJEC~1 found  1 deleted files").arg(image));
}

void MainWindowTest::changeFolderToAFolderWithoutDeletedFilesKeepsTheStatusLine() {
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.chooseFolder = [](QWidget*, ScanContext&) -> std::optional<std::string> {
        return std::string("\\DOCS\\PROJEC~1\\DRAFTS");
    };
    MainWindow window(hooks);
    const QString image = QString::fromStdString(test::fixtureImage(kFatImage));
    QVERIFY(window.openSource(image));
    const QString before = window.statusLine()->text();
    window.changeFolder();
    QCOMPARE(h.warnings.size(), std::size_t{1});
    QCOMPARE(h.warnings[0], QStringLiteral("Could not find deleted files located in \"%1:\\DOCS\\"
                                           "PROJEC~1\\DRAFTS\"")
                                .arg(image));
    QCOMPARE(window.resultsModel()->rowCount(), 0);
    QCOMPARE(window.statusLine()->text(), before);
}

void MainWindowTest::folderOnTheCommandLineIsScannedOnFat() {
    Harness h;
    const QString image = QString::fromStdString(test::fixtureImage(kFatImage));
    QVERIFY(h.window.openSource(image, QStringLiteral("/LETTERS")));
    QCOMPARE(h.window.resultsModel()->rowCount(), 3);
    QVERIFY(h.window.statusLine()->text().startsWith(image + QStringLiteral(":\\LETTERS found"),
                                                     Qt::CaseInsensitive) ||
            h.window.statusLine()->text().contains(QStringLiteral(":\\LETTERS found  3")));
    // A folder that is not there: nothing found, and the program would end after the message.
    Harness missing;
    QVERIFY(!missing.window.openSource(image, QStringLiteral("/NOPE")));
    QCOMPARE(missing.warnings.size(), std::size_t{1});
    QVERIFY(
        missing.warnings[0].startsWith(QStringLiteral("Could not find deleted files located in")));
    QVERIFY(missing.window.mounted());
}

void MainWindowTest::sourceThatCannotBeOpenedIsReported() {
    Harness h;
    QVERIFY(!h.window.openSource(QStringLiteral("/nonexistent/card.img")));
    QVERIFY(!h.window.mounted());
    QCOMPARE(h.warnings.size(), std::size_t{1});
    QVERIFY(h.warnings[0].startsWith(QStringLiteral("Error of Initialization volume")));
    QVERIFY(h.warnings[0].contains(QStringLiteral("\"/nonexistent/card.img\" cannot be opened")));
    QCOMPARE(h.window.resultsModel()->rowCount(), 0);

    // A folder, and an exFAT volume whose boot regions are damaged, are named for what they are.
    test::TempDir dir;
    Harness folder;
    QVERIFY(!folder.window.openSource(QString::fromStdString(dir.path())));
    QCOMPARE(folder.warnings.size(), std::size_t{1});
    QVERIFY(folder.warnings[0].contains(QStringLiteral("This is a folder, not a device")));
    std::string exfat(1 << 20, '\0');
    exfat.replace(0, 11,
                  "\xEB\x76\x90"
                  "EXFAT   ");
    exfat[510] = '\x55';
    exfat[511] = '\xAA';
    const std::string exfatPath = dir.path() + "/exfat.img";
    std::ofstream(exfatPath, std::ios::binary) << exfat;
    Harness unread;
    QVERIFY(!unread.window.openSource(QString::fromStdString(exfatPath)));
    QCOMPARE(unread.warnings.size(), std::size_t{1});
    QVERIFY(unread.warnings[0].contains(QStringLiteral("holds an exFAT volume")));
}

void MainWindowTest::sourceWithoutAVolumeIsReported() {
    test::TempDir dir;
    const std::string path = dir.path() + "/zeros.img";
    {
        std::ofstream out(path, std::ios::binary);
        const std::string zeros(1 << 20, '\0');
        out << zeros;
    }
    // The real message box, closed the way a person would.
    QString shown;
    QString caption;
    ModalAnswer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box != nullptr) {
            shown = box->text();
            caption = box->windowTitle();
            QCOMPARE(box->icon(), QMessageBox::Warning);
        }
        modal->close();
    });
    MainWindow window;
    QVERIFY(!window.openSource(QString::fromStdString(path)));
    QVERIFY(!window.mounted());
    QCOMPARE(caption, QStringLiteral("Vantrel Rekkon Personal 1.4"));
    QVERIFY(shown.startsWith(QStringLiteral("Error of Initialization volume")));
    QVERIFY(shown.contains(QStringLiteral("holds no FAT, exFAT or NTFS volume")));
    // The offer to search by content follows; closed, nothing is searched.
    QVERIFY(shown.endsWith(wholeSourceOfferText()));
    QCOMPARE(window.resultsModel()->rowCount(), 0);
}

void MainWindowTest::searchByContentIsOfferedWhereNothingMountsOrIsFound() {
    // A card whose boot sector is gone, with a photo at 64 KiB.
    const std::string photo = fileText(test::fixtureSource("carve/images/exif.jpg"));
    test::TempDir dir;
    const std::string path = dir.path() + "/card.img";
    std::string bytes(1 << 20, '\0');
    bytes.replace(64 << 10, photo.size(), photo);
    std::ofstream(path, std::ios::binary) << bytes;
    const QString source = QString::fromStdString(path);

    test::TempDir destination;
    std::vector<RecoveryOutcome> outcomes;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    QString asked;
    hooks.askSearchByContent = [&asked](QWidget*, const QString& text) {
        asked = text;
        return true;
    };
    hooks.recover = recoverInto(destination, outcomes);
    MainWindow window(hooks);
    QVERIFY(window.openSource(source));
    QCOMPARE(asked, notRecognisedMessage(source) + QStringLiteral("\n\n") + wholeSourceOfferText());
    const ResultsModel* model = window.resultsModel();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(cell(model, 0, kTypeColumn), QStringLiteral("JPEG image"));
    QCOMPARE(model->data(model->index(0, kSizeColumn), Qt::ToolTipRole).toString(),
             QStringLiteral("Found by its content: whole"));
    QCOMPARE(window.statusLine()->text(),
             foundStatusText(source + QStringLiteral(" (searched by content)"), 1, 0));
    selectLocations(window, {(64 << 10) / 512});
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QCOMPARE(outcomes.size(), std::size_t{1});
    QCOMPARE(test::md5OfFile(outcomes[0].outputPath),
             test::md5OfFile(test::fixtureSource("carve/images/exif.jpg")));

    // Formatted over instead: a FAT12 volume with nothing deleted offers its free space.
    const auto put = [&bytes](std::size_t at, std::initializer_list<int> values) {
        for (const int v : values)
            bytes[at++] = static_cast<char>(v);
    };
    // 512-byte sectors, 1 per cluster, 1 reserved, 2 FATs, 224 root entries, 2048 sectors,
    // 6 sectors per FAT; the tables start with the media byte.
    put(0, {0xEB, 0x3C, 0x90, 'M', 'S', 'D',  'O', 'S', '5', '.',  '0', 0,
            2,    1,    1,    0,   2,   0xE0, 0,   0,   8,   0xF8, 6,   0});
    put(510, {0x55, 0xAA});
    put(512, {0xF8, 0xFF, 0xFF});
    put(512 * 7, {0xF8, 0xFF, 0xFF});
    std::ofstream(path, std::ios::binary) << bytes;
    MainWindow formatted(hooks);
    QVERIFY(formatted.openSource(source));
    QCOMPARE(asked, nothingFoundMessage(source + QStringLiteral(":\\")) + QStringLiteral("\n\n") +
                        freeSpaceOfferText());
    QCOMPARE(formatted.resultsModel()->rowCount(), 1);
    QVERIFY(formatted.statusLine()->text().endsWith(
        QStringLiteral("(free space searched by content)")));
    QVERIFY(h.warnings.empty());
}

void MainWindowTest::f1OpensTheManualBesideTheProgram() {
    Harness h;
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    const QString path = QCoreApplication::applicationDirPath() + "/MANUAL.html";
    // Missing: a message names where it was looked for.
    QFile::remove(path);
    QTest::keyClick(&h.window, Qt::Key_F1);
    QVERIFY(h.opened.empty());
    QCOMPARE(h.warnings.size(), std::size_t{1});
    QVERIFY(h.warnings[0].contains(path));

    QFile manual(path);
    QVERIFY(manual.open(QIODevice::WriteOnly));
    manual.write("<html><body>Manual</body></html>");
    manual.close();
    QTest::keyClick(&h.window, Qt::Key_F1);
    QCOMPARE(h.opened, std::vector<QUrl>{QUrl::fromLocalFile(path)});
    QVERIFY(h.shownInside.empty());
    // No browser opens it: the program's own viewer shows it.
    h.browserOpens = false;
    QTest::keyClick(&h.window, Qt::Key_F1);
    QCOMPARE(h.shownInside, std::vector<QUrl>{QUrl::fromLocalFile(path)});
    QFile::remove(path);
}

void MainWindowTest::escapeClosesTheWindow() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    QSignalSpy rejected(&h.window, &QDialog::rejected);
    QTest::keyClick(&h.window, Qt::Key_Escape);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!h.window.isVisible());
}

void MainWindowTest::startUpEndsAfterAFailureOrNothingFound() {
    std::vector<QString> warnings;
    MainWindowHooks hooks;
    hooks.warn = [&](QWidget*, const QString& text) { warnings.push_back(text); };
    // Cannot be mounted: the message, then the program ends with status 1.
    QCOMPARE(runProgram({QStringLiteral("/nonexistent/card.img")}, hooks), 1);
    QCOMPARE(warnings.size(), std::size_t{1});
    // Nothing found: the message, then the program ends.
    const QString image = QString::fromStdString(test::fixtureImage(kFatImage));
    QCOMPARE(runProgram({image, QStringLiteral("/DOCS/PROJEC~1/DRAFTS")}, hooks), 0);
    QCOMPARE(warnings.size(), std::size_t{2});
    QVERIFY(warnings[1].startsWith(QStringLiteral("Could not find deleted files located in")));
    // Found files: the main window runs until Done.
    int rows = 0;
    ModalAnswer answer([&](QWidget* modal) {
        if (auto* window = qobject_cast<MainWindow*>(modal)) {
            rows = window->resultsModel()->rowCount();
            QTest::mouseClick(window->doneButton(), Qt::LeftButton);
        } else {
            modal->close();
        }
    });
    QCOMPARE(runProgram({image}, hooks), 0);
    QCOMPARE(rows, 11);
    QCOMPARE(warnings.size(), std::size_t{2});
}

void MainWindowTest::enterRecoversTheSelection() {
    Harness h;
    std::vector<std::uint64_t> recovered;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = [&](QWidget*, ScanContext&, const QString&,
                        const std::vector<const DeletedFileEntry*>& entries) {
        for (const DeletedFileEntry* e : entries)
            recovered.push_back(e->location);
        return std::vector<RecoveryOutcome>{};
    };
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectLocations(window, {121, 17});
    QTest::keyClick(window.resultsView(), Qt::Key_Return);
    std::sort(recovered.begin(), recovered.end());
    QCOMPARE(recovered, (std::vector<std::uint64_t>{17, 121}));
}

void MainWindowTest::aboutButtonAndListMenuShowTheAboutBox() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    int aboutShown = 0;
    {
        ModalAnswer answer([&](QWidget* modal) {
            if (qobject_cast<AboutBox*>(modal) != nullptr) ++aboutShown;
            modal->close();
        });
        QTest::mouseClick(h.window.aboutButton(), Qt::LeftButton);
    }
    QCOMPARE(aboutShown, 1);
    // The list's context menu holds the About item.
    QStringList items;
    QTimer menuTimer;
    menuTimer.setInterval(0);
    ModalAnswer answer([&](QWidget* modal) {
        if (qobject_cast<AboutBox*>(modal) != nullptr) ++aboutShown;
        modal->close();
    });
    connect(&menuTimer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        menuTimer.stop();
        for (QAction* action : menu->actions())
            items << action->text();
        menu->actions().front()->trigger();
        menu->close();
    });
    menuTimer.start();
    emit h.window.resultsView()->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(items, (QStringList{QStringLiteral("&About Kesmo Rekkon..."), QString(),
                                 QStringLiteral("Search free space for lost folders"),
                                 QStringLiteral("Search free space by content"), QString(),
                                 QStringLiteral("Recover under long names"),
                                 QStringLiteral("Recover into their folders"), QString(),
                                 QStringLiteral("Save recovery report...")}));
    QTRY_COMPARE(aboutShown, 2);
}

void MainWindowTest::listMenuChoosesLongNamesAndTheListShowsThem() {
    test::TempDir destination;
    std::vector<RecoveryOutcome> outcomes;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = recoverInto(destination, outcomes);
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // "Long Name" and "Folder" are seen right after "File Name"; the six columns keep their
    // order.
    const QHeaderView* header = window.resultsView()->horizontalHeader();
    QCOMPARE(header->visualIndex(kLongNameColumn), 1);
    QCOMPARE(header->logicalIndex(2), int{kFolderColumn});
    QCOMPARE(header->logicalIndex(3), 1);
    QCOMPARE(window.resultsModel()->headerData(kLongNameColumn, Qt::Horizontal).toString(),
             QStringLiteral("Long Name"));
    bool anyLongName = false;
    for (int row = 0; row < window.resultsModel()->rowCount(); ++row)
        anyLongName = anyLongName || !cell(window.resultsModel(), row, kLongNameColumn).isEmpty();
    QVERIFY(anyLongName);

    // Off at first; the menu item turns it on, and again off.
    QVERIFY(!window.recoverUnderLongNames());
    const auto clickMenuItem = [&] {
        QTimer menuTimer;
        menuTimer.setInterval(0);
        connect(&menuTimer, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) return;
            menuTimer.stop();
            for (QAction* action : menu->actions())
                if (action->text() == QStringLiteral("Recover under long names")) {
                    QVERIFY(action->isCheckable());
                    QVERIFY(action->isEnabled());
                    action->trigger();
                }
            menu->close();
        });
        menuTimer.start();
        emit window.resultsView()->customContextMenuRequested(QPoint(5, 5));
    };
    clickMenuItem();
    QVERIFY(window.recoverUnderLongNames());
    // Rekkon now writes "Letter to the Editor.txt" (location 127) under its long name.
    selectLocations(window, {127});
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QCOMPARE(outcomes.size(), std::size_t{1});
    QCOMPARE(std::filesystem::path(outcomes[0].outputPath).filename().string(),
             std::string("Letter to the Editor.txt"));
    clickMenuItem();
    QVERIFY(!window.recoverUnderLongNames());
}

void MainWindowTest::listMenuSearchesFreeSpaceForLostFolders() {
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.chooseFolder = [](QWidget*, ScanContext&) -> std::optional<std::string> {
        return std::string();
    };
    MainWindow window(hooks);
    const QString image = QString::fromStdString(test::fixtureImage("fat/fat16-lost.img"));
    QVERIFY(window.openSource(image));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const std::set<RowKey> plain = rowKeys(window);
    QCOMPARE(static_cast<int>(plain.size()), window.resultsModel()->rowCount());
    for (const auto& [location, folder, name] : plain)
        QVERIFY2(folder.rfind("<lost folder", 0) != 0, folder.c_str());

    QCOMPARE(listMenuItem(window, QStringLiteral("Search free space for lost folders")),
             std::optional<bool>(true));
    // The normal entries and those of the lost folders together, none twice; file 12 of the
    // scattered folder lies in a cluster of it that no folder leads to any more.
    const std::set<RowKey> deep = rowKeys(window);
    QCOMPARE(static_cast<int>(deep.size()), window.resultsModel()->rowCount());
    QVERIFY(deep.size() > plain.size());
    QVERIFY(std::includes(deep.begin(), deep.end(), plain.begin(), plain.end()));
    QVERIFY(deep.count(RowKey{98, "<lost folder 95>", "?CATT~12.TXT"}) == 1);
    QCOMPARE(window.statusLine()->text(),
             foundStatusText(image + QStringLiteral(":\\"), static_cast<int>(deep.size()), 0));
    QVERIFY(h.warnings.empty());

    // Change Folder scans as usual again.
    window.changeFolder();
    QCOMPARE(rowKeys(window), plain);
}

void MainWindowTest::lostFolderSearchIsOfferedOnMountedFatOnly() {
    Harness h;
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    const QString item = QStringLiteral("Search free space for lost folders");
    QCOMPARE(listMenuItem(h.window, item), std::optional<bool>(false));
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kNtfsImage))));
    const int rows = h.window.resultsModel()->rowCount();
    QCOMPARE(listMenuItem(h.window, item), std::optional<bool>(false));
    h.window.searchLostFolders();
    QCOMPARE(h.window.resultsModel()->rowCount(), rows);
    QVERIFY(h.warnings.empty());
}

void MainWindowTest::listMenuKeepsFoldersAndSavesTheReport() {
    const auto manifest = test::readManifest(test::fixtureSource("fat/fat16.manifest.tsv"));
    const std::string image = test::fixtureImage(kFatImage);
    test::TempDir destination;
    test::TempDir reports;
    ManifestAsker asker(manifest);
    std::vector<RecoveryOutcome> outcomes;
    QString reportChoice;
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.recover = recoverInto(destination, outcomes, &asker);
    hooks.chooseReportFile = [&reportChoice](QWidget*) { return reportChoice; };
    // The image stands in for the first partition of a disk, which starts at 1 MiB.
    hooks.selectSource = [](const std::string& path, const SourceChoice&, const SourceOpener&) {
        SelectedSource selected;
        selected.device = openFileSource(path, selected.error);
        selected.status = selected.device ? SourceStatus::Opened : SourceStatus::CannotOpen;
        selected.partition = 1;
        selected.volumeOffset = 1 << 20;
        return selected;
    };
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(image)));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString saveItem = QStringLiteral("Save recovery report...");
    QCOMPARE(listMenuItem(window, saveItem), std::optional<bool>(false));

    // Off at first; ticked, \DOCS\?LDNOTES.TXT goes into DOCS below the destination.
    QVERIFY(!window.recoverIntoFolders());
    QCOMPARE(listMenuItem(window, QStringLiteral("Recover into their folders")),
             std::optional<bool>(true));
    QVERIFY(window.recoverIntoFolders());
    selectLocations(window, {17});
    QTest::mouseClick(window.recoverButton(), Qt::LeftButton);
    QCOMPARE(outcomes.size(), std::size_t{1});
    const std::string written = destination.path() + "/DOCS/OLDNOTES.TXT";
    QCOMPARE(outcomes[0].outputPath, written);
    const std::string md5 = fatManifestMd5(manifest, "\\DOCS", "OLDNOTES.TXT");
    QCOMPARE(test::md5OfFile(written), md5);

    // The report outlives the list it was made from: a rescan comes first.
    QVERIFY(window.scanAndFill(std::string()));
    reportChoice = QString::fromStdString(reports.path() + "/report.json");
    QCOMPARE(listMenuItem(window, saveItem), std::optional<bool>(true));
    QVERIFY(h.warnings.empty());
    const auto report = nlohmann::json::parse(fileText(reportChoice.toStdString()));
    QVERIFY(report.is_array());
    QCOMPARE(report.size(), std::size_t{1});
    QCOMPARE(report[0].at("source").get<std::string>(), image);
    QCOMPARE(report[0].at("volumeOffset").get<std::uint64_t>(), std::uint64_t{1} << 20);
    QCOMPARE(report[0].at("outputPath").get<std::string>(), written);
    QCOMPARE(report[0].at("md5").get<std::string>(), md5);
    QCOMPARE(report[0].at("status").get<std::string>(), std::string("written"));

    // An existing file is refused with a message, and kept as it was.
    const std::string taken = reports.path() + "/taken.json";
    std::ofstream(taken) << "kept";
    reportChoice = QString::fromStdString(taken);
    window.saveReport();
    QCOMPARE(h.warnings.size(), std::size_t{1});
    QVERIFY2(h.warnings[0].contains(QStringLiteral("exists already")) &&
                 h.warnings[0].contains(QStringLiteral("new name")),
             qPrintable(h.warnings[0]));
    QCOMPARE(fileText(taken), std::string("kept"));
}

void MainWindowTest::keyboardLeavesTheListForTheButtonsAndRekkonWaitsForASelection() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    QTableView* view = h.window.resultsView();
    view->setFocus();
    QVERIFY(!h.window.recoverButton()->isEnabled());
    // The arrow keys move within the list and select; Tab leaves it for the buttons.
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    QVERIFY(h.window.recoverButton()->isEnabled());
    QVERIFY(h.window.countsLine()->text().contains(QStringLiteral("2 selected")));
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), h.window.recoverButton());
    for (QPushButton* next : {h.window.changeFolderButton(), h.window.aboutButton(),
                              h.window.toolsButton(), h.window.doneButton()}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    view->clearSelection();
    QVERIFY(!h.window.recoverButton()->isEnabled());
}

void MainWindowTest::toolsMenuFilterLineAndCounts() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    // Ctrl+F goes to the filter line; what is typed narrows the rows at once.
    const int found = h.window.resultsModel()->rowCount();
    QVERIFY(h.window.countsLine()->text().startsWith(QStringLiteral("%1 files").arg(found)));
    QTest::keyClick(&h.window, Qt::Key_F, Qt::ControlModifier);
    QLineEdit* field = h.window.filterBar()->textField();
    QCOMPARE(QApplication::focusWidget(), field);
    // Typed as a user would: the letters of the first row's name, in lower case.
    QString name;
    for (const QChar c : cell(h.window.resultsModel(), 0, kNameColumn)) {
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            name += c.toLower();
        else if (name.size() >= 3)
            break;
        else
            name.clear();
    }
    QTest::keyClicks(field, name);
    const int shown = h.window.resultsModel()->rowCount();
    QVERIFY(shown >= 1 && shown < found);
    for (int row = 0; row < shown; ++row) {
        const auto e = h.window.resultsModel()->entryAt(row);
        const QString text =
            QString::fromStdString(e->name + "|" + e->longName.value_or("") + "|" + e->folder);
        QVERIFY(text.contains(name, Qt::CaseInsensitive));
    }
    QCOMPARE(h.window.countsLine()->text(),
             QStringLiteral("Showing %1 of %2 files").arg(shown).arg(found));
    // Enter goes to the list with its first row selected; it recovers nothing.
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), h.window.resultsView());
    QCOMPARE(h.window.resultsView()->selectionModel()->selectedRows().size(), 1);
    QVERIFY(h.window.lastReport().empty());
    h.window.resultsView()->clearSelection();
    field->clear();
    h.window.filterBar()->statusChoice()->setCurrentIndex(1);  // Good only
    for (int row = 0; row < h.window.resultsModel()->rowCount(); ++row)
        QCOMPARE(cell(h.window.resultsModel(), row, kStatusColumn), QStringLiteral("Good"));

    // The Tools button holds what the list's menu holds, with the shortcuts shown.
    QStringList items;
    QTimer menuTimer;
    menuTimer.setInterval(0);
    connect(&menuTimer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        menuTimer.stop();
        for (const QAction* action : menu->actions())
            items << action->text() + QLatin1Char('|') +
                         action->shortcut().toString(QKeySequence::PortableText);
        menu->close();
    });
    menuTimer.start();
    QTest::keyClick(&h.window, Qt::Key_T, Qt::AltModifier);
    QTRY_VERIFY(!items.isEmpty());
    for (const char* item :
         {"Filter the list|Ctrl+F", "Search free space for lost folders|Ctrl+L",
          "Search free space by content|Ctrl+K", "Recover under long names|Ctrl+N",
          "Recover into their folders|Ctrl+D", "Save recovery report...|Ctrl+S", "Manual|F1"})
        QVERIFY2(items.contains(QString::fromLatin1(item)), item);
}

void MainWindowTest::settingsComeBackAfterARestart() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rekkon.conf"));
    MainWindowHooks hooks;
    hooks.openSettings = [file] { return std::make_unique<QSettings>(file, QSettings::IniFormat); };
    QSize size;
    {
        MainWindow window(hooks);
        QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(640, 300);
        size = window.size();
        window.resultsView()->setColumnWidth(kSizeColumn, 123);
        window.resultsView()->horizontalHeader()->moveSection(
            window.resultsView()->horizontalHeader()->visualIndex(kTypeColumn), 0);
        window.longNamesAction()->setChecked(true);
        window.keepFoldersAction()->setChecked(true);
        window.previewAction()->setChecked(true);
        QTest::keyClick(&window, Qt::Key_Escape);
    }
    QSettings(file, QSettings::IniFormat).setValue("recover/destination", dir.path());
    MainWindow again(hooks);
    QVERIFY(again.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    QCOMPARE(again.size(), size);
    QCOMPARE(again.resultsView()->columnWidth(kSizeColumn), 123);
    QCOMPARE(again.resultsView()->horizontalHeader()->logicalIndex(0), int{kTypeColumn});
    QVERIFY(again.recoverUnderLongNames());
    QVERIFY(again.recoverIntoFolders());
    QVERIFY(again.previewAction()->isChecked());
    QCOMPARE(again.lastDestination(), dir.path());
}

void MainWindowTest::aPartitionOfADiskIsNamedInTheTitleAndStatusLine() {
    Harness h;
    MainWindowHooks hooks = h.hooks();
    hooks.askPartition = [](QWidget*, const QString&, const PartitionTable&) {
        return std::optional<int>(5);
    };
    MainWindow window(hooks);
    QVERIFY(window.openSource(QString::fromStdString(test::fixtureImage("ewf/dos-disk.E01"))));
    QVERIFY2(window.windowTitle().startsWith(QStringLiteral("dos-disk.E01 partition 5 (")),
             qPrintable(window.windowTitle()));
    QVERIFY2(window.statusLine()->text().contains(QStringLiteral("dos-disk.E01 partition 5:\\")),
             qPrintable(window.statusLine()->text()));
}

void MainWindowTest::cutCellsGiveTheirWholeTextAsTooltip() {
    Harness h;
    QVERIFY(h.window.openSource(QString::fromStdString(test::fixtureImage(kFatImage))));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    QTableView* view = h.window.resultsView();
    auto* tips = qobject_cast<CutCellTips*>(view->itemDelegate());
    QVERIFY(tips != nullptr);
    const QModelIndex index = h.window.resultsModel()->index(0, kNameColumn);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(index);
    QVERIFY(tips->tipFor(option, index).isEmpty());
    option.rect.setWidth(12);
    QCOMPARE(tips->tipFor(option, index), index.data().toString());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
