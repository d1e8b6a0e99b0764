// Drives the drive dialog with a fake device list, fake openers and the fixture images: the
// list's texts, order and selection, the image chooser, the failures that keep it open, cancel,
// the no-drive path, and the program's start-up without a source.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <functional>
#include <optional>
#include <vector>

#include "recovery/CarveMount.h"
#include "support/Fixtures.h"
#include "ui/App.h"
#include "ui/DriveSelectDialog.h"
#include "ui/DriveText.h"
#include "ui/MainWindow.h"
#include "ui/ResultsModel.h"
#include "ui/Texts.h"

using namespace rekkon;
using namespace rekkon::ui;

namespace {

const char* const kFatImage = "fat/fat16.img";
const char* const kNtfsImage = "ntfs/ntfs-512-4k.img";
const char* const kExfatImage = "exfat/basic.img";

QString fixture(const char* relative) {
    return QString::fromStdString(test::fixtureImage(relative));
}

DriveInfo drive(const std::string& name, const std::string& fileSystem, std::uint64_t size,
                const std::string& label = {}, const std::string& devicePath = {}) {
    DriveInfo info;
    info.name = name;
    info.devicePath = devicePath.empty() ? "/dev/" + name : devicePath;
    info.fileSystem = fileSystem;
    info.label = label;
    info.sizeBytes = size;
    return info;
}

// A dialog whose devices, chooser, opener and message boxes are the test's.
struct Harness {
    std::vector<DriveInfo> drives;
    std::vector<QString> warnings;
    std::vector<std::string> opened;
    QString imageChoice;
    int imageAsked = 0;
    ScanContext context;

    DriveSelectHooks hooks() {
        DriveSelectHooks h;
        h.listDrives = [this] { return drives; };
        h.chooseImage = [this](QWidget*) {
            ++imageAsked;
            return imageChoice;
        };
        h.open = [this](const std::string& path, int& error, QString& message) {
            opened.push_back(path);
            return defaultDeviceOpener()(path, error, message);
        };
        h.warn = [this](QWidget*, const QString& text) { warnings.push_back(text); };
        h.askSearchByContent = [this](QWidget*, const QString& text) {
            warnings.push_back(text);
            return false;
        };
        return h;
    }
};

QStringList itemTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// Answers every modal window that comes up with `answer`, until destroyed.
class ModalAnswer {
  public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && modal != last_) {
                last_ = modal;
                answer_(modal);
            }
        });
        timer_.start();
    }

  private:
    std::function<void(QWidget*)> answer_;
    QWidget* last_ = nullptr;
    QTimer timer_;
};

// Passes reads through to `inner`, noting every sector the mount attempts move to.
class RecordingDevice final : public SectorDevice {
  public:
    RecordingDevice(std::unique_ptr<SectorDevice> inner, std::vector<std::uint64_t>& seeks)
        : inner_(std::move(inner)), seeks_(seeks) {}
    void seekSector(std::uint64_t sector) override {
        seeks_.push_back(sector);
        inner_->seekSector(sector);
    }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        return inner_->readSectors(buffer);
    }
    std::optional<std::uint64_t> sizeBytes() const override { return inner_->sizeBytes(); }
    std::optional<int> descriptor() const override { return inner_->descriptor(); }

  private:
    std::unique_ptr<SectorDevice> inner_;
    std::vector<std::uint64_t>& seeks_;
};

// The sectors a mount of `image` in `order` moves to.
std::vector<std::uint64_t> mountTrace(const QString& image, MountOrder order) {
    std::vector<std::uint64_t> seeks;
    int error = 0;
    ScanContext context;
    mountVolume(
        context,
        std::make_unique<RecordingDevice>(openFileSource(image.toStdString(), error), seeks),
        order);
    unmountVolume(context);
    return seeks;
}

int visibleTopLevelWindows() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) ++count;
    return count;
}

}  // namespace

class DriveSelectDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void listsSortedDevicesWithTheLastAddedSelected() {
        Harness h;
        // Added in this order; the list sorts them, numbers by value.
        h.drives = {drive("sdc1", "FAT32", 15ULL << 29, "CARD"), drive("sda1", "NTFS", 1ULL << 30),
                    drive("sdb10", "FAT16", 16ULL << 20), drive("sdb2", "exFAT", 3ULL << 30)};
        DriveSelectDialog dialog(h.context, h.hooks());
        QCOMPARE(
            itemTexts(dialog.driveList()),
            (QStringList{"sda1 (NTFS) 1.0 GiB", "sdb2 (exFAT) 3.0 GiB", "sdb10 (FAT16) 16.0 MiB",
                         "sdc1 (FAT32) 7.5 GiB CARD", "Image file..."}));
        QCOMPARE(dialog.driveList()->currentText(), QStringLiteral("sdb2 (exFAT) 3.0 GiB"));
        QVERIFY(dialog.hasDrives());
        QVERIFY(!dialog.driveList()->isEditable());

        QCOMPARE(dialog.windowTitle(), kProductTitle);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("driveLabel"))->text(),
                 QStringLiteral("Select drive:"));
        const QPixmap banner = dialog.findChild<QLabel*>(QStringLiteral("driveBanner"))->pixmap();
        QCOMPARE(banner.size(), QSize(413, 158));
        QCOMPARE(dialog.okButton()->text(), QStringLiteral("OK"));
        QVERIFY(dialog.okButton()->isDefault());
        QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
        const QColor pale(241, 249, 225);
        QCOMPARE(dialog.palette().color(QPalette::Window), pale);
        QCOMPARE(dialog.okButton()->palette().color(QPalette::Button), pale);
        QCOMPARE(dialog.okButton()->palette().color(QPalette::ButtonText), QColor(Qt::black));
        // At least the template's 275 x 124 dialog units; wide enough for the longest item.
        QVERIFY(dialog.width() >= 413 && dialog.height() >= 202);
        QVERIFY(dialog.driveList()->width() >=
                dialog.driveList()->fontMetrics().horizontalAdvance("sdc1 (FAT32) 7.5 GiB CARD"));
        // Side by side in their order, none overlapping another or the dialog's edge.
        const QRect label = dialog.findChild<QLabel*>(QStringLiteral("driveLabel"))->geometry();
        const QRect list = dialog.driveList()->geometry();
        const QRect ok = dialog.okButton()->geometry();
        const QRect cancel = dialog.cancelButton()->geometry();
        QVERIFY(label.left() >= 0 && label.right() < list.left());
        QVERIFY(list.right() < ok.left() && ok.right() < cancel.left());
        QVERIFY(cancel.right() < dialog.width() && cancel.bottom() < dialog.height());
        QVERIFY(list.top() >= 158 && ok.top() >= 158);  // below the banner
        QVERIFY(h.opened.empty());
    }

    void okWithoutSelectionWarnsAndStaysOpen() {
        Harness h;
        h.drives = {drive("sdb1", "FAT32", 1ULL << 30)};
        DriveSelectDialog dialog(h.context, h.hooks());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.driveList()->setCurrentIndex(-1);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(h.warnings, (std::vector<QString>{"Invalid selection"}));
        QVERIFY(dialog.isVisible());
        QVERIFY(h.opened.empty());
        QVERIFY(!h.context.volume.isOpen());
    }

    void imageItemMountsTheChosenFile() {
        Harness h;
        h.drives = {drive("sdb1", "FAT32", 1ULL << 30)};
        DriveSelectDialog dialog(h.context, h.hooks());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QComboBox* list = dialog.driveList();
        const int imageItem = list->count() - 1;
        // Picking the item asks nothing yet (the arrow keys pass over it); OK asks, and
        // declining leaves the dialog as it was.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentIndex(), imageItem);
        QCOMPARE(h.imageAsked, 0);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(h.imageAsked, 1);
        QVERIFY(dialog.isVisible());
        QVERIFY(h.opened.empty() && h.warnings.empty());

        h.imageChoice = fixture(kFatImage);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(h.imageAsked, 2);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.sourcePath(), h.imageChoice);
        QCOMPARE(h.opened, (std::vector<std::string>{h.imageChoice.toStdString()}));
        QVERIFY(h.context.volume.isOpen());
        QVERIFY(!(h.context.fileSystem && h.context.fileSystem->name() == "NTFS"));
        QCOMPARE(h.context.scanTarget, std::string("\\"));
        QVERIFY(h.warnings.empty());
    }

    // An evidence file set of a whole disk: its partitions are offered and the one chosen is
    // mounted.
    void imageOfAWholeDiskAsksForThePartition() {
        Harness h;
        h.imageChoice = fixture("ewf/dos-disk.E01");
        std::vector<int> offered;
        DriveSelectHooks hooks = h.hooks();
        hooks.askPartition = [&offered](QWidget*, const QString&, const PartitionTable& table) {
            for (const PartitionInfo& p : table.partitions)
                if (!p.extended) offered.push_back(p.number);
            return std::optional<int>(5);
        };
        DriveSelectDialog dialog(h.context, hooks);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(offered, (std::vector<int>{1, 5}));
        QVERIFY(h.warnings.empty());
        QCOMPARE(h.context.volume.kind, FileSystemKind::Fat12Or16);
        // Partition 5 holds the FAT12 fixture: its files, not partition 1's FAT16 ones.
        ScanContext bare;
        int openError = 0;
        QCOMPARE(mountVolume(bare, test::fixtureImage("fat/fat12.img"), openError),
                 MountStatus::Mounted);
        QCOMPARE(scanVolume(h.context), scanVolume(bare));
    }

    void failedOpenOrMountKeepsItOpenForAnotherChoice() {
        Harness h;
        test::TempDir dir;
        const std::string blank = dir.path() + "/blank.img";
        std::ofstream(blank) << std::string(1 << 20, '\0');
        h.drives = {drive("loop0", "FAT16", 1 << 20, {}, blank),
                    drive("loop1", "FAT16", 16ULL << 20, {}, fixture(kFatImage).toStdString()),
                    drive("sdz1", "NTFS", 1ULL << 30)};
        DriveSelectDialog dialog(h.context, h.hooks());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        // The device cannot be opened: the opener's message follows the heading.
        dialog.driveList()->setCurrentIndex(2);  // sdz1, which does not exist
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(h.warnings.size(), std::size_t{1});
        QVERIFY(h.warnings[0].startsWith("Error of Initialization volume\n\n\"/dev/sdz1\""));
        QVERIFY(dialog.isVisible());
        QVERIFY(!h.context.volume.isOpen());

        // Opened, but neither FAT nor NTFS: the device is closed again.
        dialog.driveList()->setCurrentIndex(0);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(h.warnings.size(), std::size_t{2});
        QVERIFY(h.warnings[1].startsWith("Error of Initialization volume"));
        QVERIFY(h.warnings[1].contains(QString::fromStdString(blank)));
        QVERIFY(dialog.isVisible());
        QVERIFY(!h.context.volume.isOpen());
        QVERIFY(dialog.sourcePath().isEmpty());

        // Another choice then mounts.
        dialog.driveList()->setCurrentIndex(1);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(h.context.volume.isOpen());
        QCOMPARE(h.warnings.size(), std::size_t{2});

        // The offer to search the blank one by content, accepted, mounts it for that.
        DriveSelectHooks searching = h.hooks();
        searching.askSearchByContent = [](QWidget*, const QString&) { return true; };
        DriveSelectDialog again(h.context, searching);
        again.driveList()->setCurrentIndex(0);
        QTest::mouseClick(again.okButton(), Qt::LeftButton);
        QCOMPARE(again.result(), int(QDialog::Accepted));
        QVERIFY(searchedRawOnly(h.context));
        QCOMPARE(again.sourcePath(), QString::fromStdString(blank));
    }

    // An exFAT device mounts, also when the platform names it otherwise; one that does not is
    // named in the message. From the start-up dialog the folder to scan is asked for first.
    void exfatDriveMountsAndItsFolderIsAsked() {
        Harness h;
        test::TempDir dir;
        const std::string blank = dir.path() + "/blank.img";
        std::ofstream(blank) << std::string(1 << 20, '\0');
        const std::string image = fixture(kExfatImage).toStdString();
        h.drives = {drive("sdb1", "exFAT", 8ULL << 20, "RekkonExFAT", image),
                    drive("sdb2", "FAT32", 8ULL << 20, {}, image),
                    drive("sdb3", "exFAT", 1 << 20, {}, blank)};
        for (const int item : {0, 1}) {
            DriveSelectDialog dialog(h.context, h.hooks());
            QCOMPARE(dialog.driveList()->itemText(0),
                     QStringLiteral("sdb1 (exFAT) 8.0 MiB RekkonExFAT"));
            dialog.driveList()->setCurrentIndex(item);
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(h.context.fileSystem && h.context.fileSystem->name() == "exFAT");
            QCOMPARE(h.context.scanTarget, std::string("\\"));
            unmountVolume(h.context);
        }
        QVERIFY(h.warnings.empty());
        {
            DriveSelectDialog dialog(h.context, h.hooks());
            dialog.driveList()->setCurrentIndex(2);
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
            QCOMPARE(h.warnings.size(), std::size_t{1});
            QVERIFY2(
                h.warnings[0].contains(QStringLiteral("holds an exFAT volume that cannot be read")),
                qPrintable(h.warnings[0]));
            QVERIFY(!h.context.volume.isOpen());
        }

        MainWindowHooks hooks;
        hooks.warn = [&](QWidget*, const QString& text) { h.warnings.push_back(text); };
        int folderAsked = 0;
        hooks.chooseFolder = [&](QWidget*, ScanContext&) {
            ++folderAsked;
            return std::optional<std::string>("\\many");
        };
        DriveSelectHooks driveHooks = h.hooks();
        int rows = 0;
        bool changeFolderEnabled = false;
        ModalAnswer answer([&](QWidget* modal) {
            if (auto* d = qobject_cast<DriveSelectDialog*>(modal)) {
                d->driveList()->setCurrentIndex(0);
                QTest::mouseClick(d->okButton(), Qt::LeftButton);
            } else if (auto* window = qobject_cast<MainWindow*>(modal)) {
                rows = window->resultsModel()->rowCount();
                changeFolderEnabled = window->changeFolderButton()->isEnabled();
                QTest::mouseClick(window->doneButton(), Qt::LeftButton);
            }
        });
        QCOMPARE(runProgram({}, hooks, driveHooks), 0);
        QCOMPARE(folderAsked, 1);
        QCOMPARE(rows, 4);  // many/file-10.txt and file-42 to file-44
        QVERIFY(changeFolderEnabled);
        QCOMPARE(h.warnings.size(), std::size_t{1});
    }

    void refusingOpenerShowsItsMessage() {
        Harness h;
        h.drives = {drive("sdb1", "FAT32", 1ULL << 30)};
        DriveSelectHooks hooks = h.hooks();
        DriveSelectDialog* opening = nullptr;
        bool enabledWhileOpening = true;
        hooks.open = [&](const std::string&, int& error, QString& message) {
            // The opener may wait for an authorisation while events are handled: no second OK
            // can come in meanwhile.
            enabledWhileOpening = opening->isEnabled();
            error = EACCES;
            message = QStringLiteral("Access was refused. Join the disk group.");
            return std::unique_ptr<SectorDevice>();
        };
        DriveSelectDialog dialog(h.context, hooks);
        opening = &dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QVERIFY(!enabledWhileOpening);
        QVERIFY(dialog.isEnabled());
        QCOMPARE(h.warnings, (std::vector<QString>{"Error of Initialization volume\n\nAccess was "
                                                   "refused. Join the disk group."}));
        QVERIFY(dialog.isVisible());
    }

    void listedNameOrdersTheMountAttempts() {
        // A FAT image listed as NTFS mounts through the second attempt, after the NTFS one; the
        // same image listed as FAT mounts at once. The other way round for an NTFS image.
        Harness h;
        const QString fatImage = fixture(kFatImage);
        const QString ntfsImage = fixture(kNtfsImage);
        h.drives = {drive("sdb1", "NTFS", 16ULL << 20, {}, fatImage.toStdString()),
                    drive("sdb2", "FAT16", 16ULL << 20, {}, fatImage.toStdString()),
                    drive("sdb3", "FAT32", 16ULL << 20, {}, ntfsImage.toStdString()),
                    drive("sdb4", "NTFS", 16ULL << 20, {}, ntfsImage.toStdString())};
        std::vector<std::uint64_t> seeks;
        DriveSelectHooks hooks = h.hooks();
        hooks.open = [&](const std::string& path, int& error, QString& message) {
            std::unique_ptr<SectorDevice> device = defaultDeviceOpener()(path, error, message);
            return std::make_unique<RecordingDevice>(std::move(device), seeks);
        };
        struct Case {
            int item;
            bool ntfs;
            std::vector<std::uint64_t> trace;
        };
        const std::vector<Case> cases = {
            {0, false, mountTrace(fatImage, mountOrderForName("NTFS"))},
            {1, false, mountTrace(fatImage, mountOrderForName("FAT32"))},
            {2, true, mountTrace(ntfsImage, mountOrderForName("FAT32"))},
            {3, true, mountTrace(ntfsImage, mountOrderForName("NTFS"))}};
        // The orders can be told apart by what they read.
        QVERIFY(cases[0].trace != cases[1].trace);
        QVERIFY(cases[2].trace != cases[3].trace);
        for (const Case& c : cases) {
            seeks.clear();
            DriveSelectDialog dialog(h.context, hooks);
            dialog.driveList()->setCurrentIndex(c.item);
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(h.context.fileSystem->name() == "NTFS", c.ntfs);
            QCOMPARE(seeks, c.trace);
            unmountVolume(h.context);
        }
        QVERIFY(h.warnings.empty());
    }

    void cancelMountsNothing() {
        Harness h;
        h.drives = {drive("loop1", "FAT16", 16ULL << 20, {}, fixture(kFatImage).toStdString())};
        DriveSelectDialog dialog(h.context, h.hooks());
        ModalAnswer answer([](QWidget* modal) {
            if (auto* d = qobject_cast<DriveSelectDialog*>(modal))
                QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(h.opened.empty() && h.warnings.empty());
        QVERIFY(!h.context.volume.isOpen());
    }

    void withoutDrivesAnImageIsAskedForAtOnce() {
        // Declined: the message, and the dialog ends without having been shown.
        {
            Harness h;
            DriveSelectDialog dialog(h.context, h.hooks());
            QVERIFY(!dialog.hasDrives());
            QCOMPARE(itemTexts(dialog.driveList()), QStringList{"Image file..."});
            QCOMPARE(dialog.driveList()->currentIndex(), 0);
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QCOMPARE(h.imageAsked, 1);
            QCOMPARE(
                h.warnings,
                (std::vector<QString>{"Unable to find any drive where you can Rekkon files!"}));
            QVERIFY(!h.context.volume.isOpen());
        }
        // Chosen: mounted, no dialog shown.
        {
            Harness h;
            h.imageChoice = fixture(kNtfsImage);
            DriveSelectDialog dialog(h.context, h.hooks());
            ModalAnswer unexpected([](QWidget* modal) {
                QFAIL("no window should open");
                modal->close();
            });
            QCOMPARE(dialog.exec(), int(QDialog::Accepted));
            QVERIFY((h.context.fileSystem && h.context.fileSystem->name() == "NTFS"));
            QVERIFY(h.warnings.empty());
            unmountVolume(h.context);
        }
        // Not mountable: the error, then the dialog opens with the image item to try again;
        // cancelling it says no drive was found.
        {
            Harness h;
            h.imageChoice = QStringLiteral("/nonexistent/card.img");
            DriveSelectDialog dialog(h.context, h.hooks());
            bool shown = false;
            ModalAnswer answer([&](QWidget* modal) {
                if (modal != &dialog) return;
                shown = true;
                QCOMPARE(dialog.driveList()->currentText(), QStringLiteral("Image file..."));
                dialog.reject();
            });
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QVERIFY(shown);
            QCOMPARE(h.warnings.size(), std::size_t{2});
            QVERIFY(h.warnings[0].startsWith("Error of Initialization volume"));
            QCOMPARE(h.warnings[1], DriveSelectDialog::kNoDriveMessage);
        }
    }

    void startUpWithoutSourceFollowsTheDialog() {
        std::vector<QString> warnings;
        MainWindowHooks hooks;
        hooks.warn = [&](QWidget*, const QString& text) { warnings.push_back(text); };
        std::optional<std::string> folderChoice;
        int folderAsked = 0;
        hooks.chooseFolder = [&](QWidget*, ScanContext&) {
            ++folderAsked;
            return folderChoice;
        };
        std::vector<DriveInfo> drives = {
            drive("loop1", "FAT16", 16ULL << 20, {}, fixture(kFatImage).toStdString())};
        DriveSelectHooks driveHooks;
        driveHooks.listDrives = [&] { return drives; };
        driveHooks.warn = hooks.warn;
        driveHooks.chooseImage = [](QWidget*) { return fixture(kNtfsImage); };

        // Cancelled: the program ends silently, no window left.
        {
            ModalAnswer answer([](QWidget* modal) {
                if (auto* d = qobject_cast<DriveSelectDialog*>(modal)) d->reject();
            });
            QCOMPARE(runProgram({}, hooks, driveHooks), 0);
        }
        QVERIFY(warnings.empty());
        QCOMPARE(folderAsked, 0);
        QCOMPARE(visibleTopLevelWindows(), 0);

        // FAT: the folder is asked for first; cancelling that ends the program too.
        int mainWindows = 0;
        int rows = 0;
        bool changeFolderEnabled = false;
        auto pickFirstThenDone = [&](QWidget* modal) {
            if (auto* d = qobject_cast<DriveSelectDialog*>(modal)) {
                QTest::mouseClick(d->okButton(), Qt::LeftButton);
            } else if (auto* window = qobject_cast<MainWindow*>(modal)) {
                ++mainWindows;
                rows = window->resultsModel()->rowCount();
                changeFolderEnabled = window->changeFolderButton()->isEnabled();
                QTest::mouseClick(window->doneButton(), Qt::LeftButton);
            }
        };
        {
            ModalAnswer answer(pickFirstThenDone);
            QCOMPARE(runProgram({}, hooks, driveHooks), 0);
        }
        QCOMPARE(folderAsked, 1);
        QCOMPARE(mainWindows, 0);
        QVERIFY(warnings.empty());

        // FAT, folder chosen, nothing found there: the message, then the end.
        folderChoice = "\\DOCS\\PROJEC~1\\DRAFTS";
        {
            ModalAnswer answer(pickFirstThenDone);
            QCOMPARE(runProgram({}, hooks, driveHooks), 0);
        }
        QCOMPARE(mainWindows, 0);
        QCOMPARE(warnings.size(), std::size_t{1});
        QVERIFY(warnings[0].startsWith("Could not find deleted files located in"));

        // FAT, the root: the main window shows the files until Done.
        folderChoice = "\\";
        {
            ModalAnswer answer(pickFirstThenDone);
            QCOMPARE(runProgram({}, hooks, driveHooks), 0);
        }
        QCOMPARE(mainWindows, 1);
        QCOMPARE(rows, 11);
        QVERIFY(changeFolderEnabled);

        // No drive: the image chooser; an NTFS image is scanned whole, Change Folder disabled.
        drives.clear();
        folderAsked = 0;
        {
            ModalAnswer answer(pickFirstThenDone);
            QCOMPARE(runProgram({}, hooks, driveHooks), 0);
        }
        QCOMPARE(mainWindows, 2);
        QVERIFY(rows > 0);
        QVERIFY(!changeFolderEnabled);
        QCOMPARE(folderAsked, 0);
        QCOMPARE(warnings.size(), std::size_t{1});
        QCOMPARE(visibleTopLevelWindows(), 0);
    }
};

QTEST_MAIN(DriveSelectDialogTest)
#include "DriveSelectDialogTest.moc"
