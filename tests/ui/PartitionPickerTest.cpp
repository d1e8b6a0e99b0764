// The partition picker and the choice of a disk's volume: the names and texts listed, the
// selection, cancel, and how the main window opens a disk with one, several or no FAT, exFAT or
// NTFS partitions.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "ModalHelper.h"
#include "support/Fixtures.h"
#include "ui/ContentSearchOffer.h"
#include "ui/DriveText.h"
#include "ui/MainWindow.h"
#include "ui/PartitionPicker.h"
#include "ui/ResultsModel.h"
#include "ui/Texts.h"
#include "ui/VolumeChoice.h"

using namespace rekkon;
using namespace rekkon::ui;

namespace {

// A disk with a FAT32 partition, a Linux one and an NTFS logical partition.
PartitionTable threePartitions() {
    PartitionTable table;
    table.scheme = "dos";
    table.partitions = {
        {1, 1 << 20, 64ull << 20, "0x0c", "FAT32", "CARD"},
        {2, 65ull << 20, 32ull << 20, "0x83", "ext4", "home"},
        {5, 98ull << 20, 3ull << 30, "0x07", "NTFS", ""},
    };
    return table;
}

// selectSource as a disk with `table` answers it: PartitionNeeded without a choice, the
// partition asked for opened (as the fixture image, so that it mounts). Counts its calls.
struct FakeDisk {
    SourceStatus firstAnswer = SourceStatus::PartitionNeeded;
    std::vector<std::optional<int>> asked;

    SourceSelector selector() {
        return [this](const std::string&, const SourceChoice& choice, const SourceOpener&) {
            asked.push_back(choice.partition);
            SelectedSource s;
            s.table = threePartitions();
            s.status = choice.partition ? SourceStatus::Opened : firstAnswer;
            if (s.status == SourceStatus::Opened) {
                s.device = openFileSource(test::fixtureImage("fat/fat16.img"), s.error);
                s.partition = choice.partition;
                s.fileSystemName = choice.partition == 5 ? "NTFS" : "FAT16";
            }
            return s;
        };
    }
};

}  // namespace

class PartitionPickerTest : public QObject {
    Q_OBJECT

  private slots:
    void partitionsAreNamedAsLinuxNamesThem();
    void pickerListsTheFatAndNtfsPartitionsInTheDriveDialogsWords();
    void pickerGivesTheSelectionOnOkAndNothingOnCancel();
    void aDiskWithSeveralVolumesAsksAndOpensTheChosenOne();
    void oneVolumeIsUsedAndNoVolumeIsReportedWithoutAsking();
    void mainWindowAsksForThePartitionOfADisk();
};

void PartitionPickerTest::partitionsAreNamedAsLinuxNamesThem() {
    QCOMPARE(partitionName(QStringLiteral("/dev/sdb"), 1), QStringLiteral("sdb1"));
    QCOMPARE(partitionName(QStringLiteral("/dev/mmcblk0"), 1), QStringLiteral("mmcblk0p1"));
    QCOMPARE(partitionName(QStringLiteral("/dev/nvme0n1"), 12), QStringLiteral("nvme0n1p12"));
    QCOMPARE(partitionName(QStringLiteral("/dev/loop3"), 5), QStringLiteral("loop3p5"));
    QCOMPARE(partitionName(QStringLiteral("/home/me/disk.img"), 2),
             QStringLiteral("disk.img partition 2"));
    QCOMPARE(partitionName(QStringLiteral("card7"), 1), QStringLiteral("card7 partition 1"));
}

void PartitionPickerTest::pickerListsTheFatAndNtfsPartitionsInTheDriveDialogsWords() {
    PartitionPicker picker(QStringLiteral("/dev/sdb"), threePartitions());
    QCOMPARE(picker.windowTitle(), kProductTitle);
    QCOMPARE(picker.label()->text(), QStringLiteral("Select partition:"));
    QCOMPARE(picker.palette().color(QPalette::Window), QColor(241, 249, 225));
    QCOMPARE(picker.okButton()->text(), QStringLiteral("OK"));
    QCOMPARE(picker.cancelButton()->text(), QStringLiteral("Cancel"));
    QComboBox* list = picker.partitionList();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), driveItemText(QStringLiteral("sdb1"), QStringLiteral("FAT32"),
                                              64ull << 20, QStringLiteral("CARD")));
    QCOMPARE(list->itemText(1), QStringLiteral("sdb5 (NTFS) 3.0 GiB"));
    QCOMPARE(picker.selectedPartition(), std::optional<int>(1));
    list->setCurrentIndex(1);
    QCOMPARE(picker.selectedPartition(), std::optional<int>(5));

    // Nothing to offer: nothing can be chosen.
    PartitionPicker empty(QStringLiteral("/dev/sdb"), PartitionTable{});
    QCOMPARE(empty.selectedPartition(), std::nullopt);
    QVERIFY(!empty.okButton()->isEnabled());
}

void PartitionPickerTest::pickerGivesTheSelectionOnOkAndNothingOnCancel() {
    test::whenModal([](QWidget* w) {
        auto* picker = qobject_cast<PartitionPicker*>(w);
        QVERIFY(picker);
        picker->partitionList()->setCurrentIndex(1);
        QTest::mouseClick(picker->okButton(), Qt::LeftButton);
    });
    QCOMPARE(PartitionPicker::ask(nullptr, QStringLiteral("disk.img"), threePartitions()),
             std::optional<int>(5));
    test::whenModal([](QWidget* w) {
        auto* picker = qobject_cast<PartitionPicker*>(w);
        QVERIFY(picker);
        picker->partitionList()->setCurrentIndex(1);
        QTest::mouseClick(picker->cancelButton(), Qt::LeftButton);
    });
    QCOMPARE(PartitionPicker::ask(nullptr, QStringLiteral("disk.img"), threePartitions()),
             std::nullopt);
}

void PartitionPickerTest::aDiskWithSeveralVolumesAsksAndOpensTheChosenOne() {
    FakeDisk disk;
    int asks = 0;
    const PartitionAsker chooseNtfs = [&asks](QWidget*, const QString& path,
                                              const PartitionTable& table) {
        ++asks;
        [&] {
            QCOMPARE(path, QStringLiteral("/dev/sdb"));
            QCOMPARE(table.partitions.size(), std::size_t{3});
        }();
        return std::optional<int>(5);
    };
    VolumeChoice chosen = chooseVolume(nullptr, QStringLiteral("/dev/sdb"), openFileSource,
                                       chooseNtfs, disk.selector());
    QCOMPARE(asks, 1);
    QVERIFY(chosen.device);
    QCOMPARE(chosen.partition, std::optional<int>(5));
    QVERIFY(chosen.mountOrder().platformName.find("NTFS") != std::string::npos);
    QCOMPARE(disk.asked.size(), std::size_t{2});
    QCOMPARE(disk.asked[1], std::optional<int>(5));

    // Cancelled: nothing opened and nothing to say.
    FakeDisk again;
    const PartitionAsker cancel = [](QWidget*, const QString&, const PartitionTable&) {
        return std::optional<int>();
    };
    VolumeChoice none =
        chooseVolume(nullptr, QStringLiteral("/dev/sdb"), openFileSource, cancel, again.selector());
    QVERIFY(!none.device);
    QVERIFY(none.message.isEmpty());
    QCOMPARE(again.asked.size(), std::size_t{1});
}

void PartitionPickerTest::oneVolumeIsUsedAndNoVolumeIsReportedWithoutAsking() {
    int asks = 0;
    const PartitionAsker never = [&asks](QWidget*, const QString&, const PartitionTable&) {
        ++asks;
        return std::optional<int>(1);
    };
    // The one partition comes back opened at once.
    const SourceSelector onePartition = [](const std::string&, const SourceChoice&,
                                           const SourceOpener&) {
        SelectedSource s;
        s.device = openFileSource(test::fixtureImage("fat/fat16.img"), s.error);
        s.status = SourceStatus::Opened;
        s.partition = 1;
        s.fileSystemName = "FAT16";
        return s;
    };
    VolumeChoice one =
        chooseVolume(nullptr, QStringLiteral("disk.img"), openFileSource, never, onePartition);
    QVERIFY(one.device);
    QVERIFY(one.mountOrder().platformName.find("FAT") != std::string::npos);

    FakeDisk noVolume;
    noVolume.firstAnswer = SourceStatus::NoVolumePartition;
    VolumeChoice none = chooseVolume(nullptr, QStringLiteral("disk.img"), openFileSource, never,
                                     noVolume.selector());
    QVERIFY(!none.device);
    QCOMPARE(none.message, noVolumePartitionMessage(QStringLiteral("disk.img")));

    // The real selection on a source that is not there says why it cannot be opened.
    VolumeChoice missing =
        chooseVolume(nullptr, QStringLiteral("/nonexistent/disk.img"), openFileSource, never);
    QVERIFY(!missing.device);
    QCOMPARE(missing.message, openFailedMessage(QStringLiteral("/nonexistent/disk.img"), ENOENT));
    QCOMPARE(asks, 0);
}

void PartitionPickerTest::mainWindowAsksForThePartitionOfADisk() {
    FakeDisk disk;
    QStringList warnings;
    MainWindowHooks hooks;
    hooks.warn = [&warnings](QWidget*, const QString& text) { warnings << text; };
    hooks.askSearchByContent = [&warnings](QWidget*, const QString& text) {
        warnings << text;
        return false;
    };
    hooks.selectSource = disk.selector();
    hooks.askPartition = [](QWidget*, const QString&, const PartitionTable&) {
        return std::optional<int>(1);
    };
    MainWindow window(hooks);
    QVERIFY(window.openSource(QStringLiteral("disk.img")));
    QVERIFY(warnings.isEmpty());
    QVERIFY(window.resultsModel()->rowCount() > 0);
    QCOMPARE(disk.asked.size(), std::size_t{2});

    // A table without FAT, exFAT or NTFS partitions is said so, with the offer to search the disk
    // by content; declined, nothing is mounted.
    FakeDisk noVolume;
    noVolume.firstAnswer = SourceStatus::NoVolumePartition;
    hooks.selectSource = noVolume.selector();
    MainWindow other(hooks);
    QVERIFY(!other.openSource(QStringLiteral("disk.img")));
    QVERIFY(!other.mounted());
    QCOMPARE(warnings, QStringList{noVolumePartitionMessage(QStringLiteral("disk.img")) +
                                   QStringLiteral("\n\n") + wholeSourceOfferText()});
}

QTEST_MAIN(PartitionPickerTest)
#include "PartitionPickerTest.moc"
