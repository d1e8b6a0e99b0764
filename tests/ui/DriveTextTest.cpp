#include <QLocale>
#include <QTest>

#include "ui/DriveText.h"

using rekkon::ui::binarySizeText;
using rekkon::ui::compareDriveTexts;
using rekkon::ui::driveItemText;

class DriveTextTest : public QObject {
    Q_OBJECT

  private slots:
    void namesFileSystemSizeAndLabel() {
        constexpr quint64 kGiB = 1024ULL * 1024 * 1024;
        QCOMPARE(driveItemText("sdb1", "FAT32", kGiB * 15 / 2, "CARD"),
                 QStringLiteral("sdb1 (FAT32) 7.5 GiB CARD"));
        QCOMPARE(driveItemText("nvme0n1p3", "NTFS", 500107862016ULL, ""),
                 QStringLiteral("nvme0n1p3 (NTFS) 465.8 GiB"));
        // Labels keep inner spaces; blanks around them, or a label of blanks, are dropped.
        QCOMPARE(driveItemText("sdc1", "FAT16", 16ULL << 20, "  MY DISK  "),
                 QStringLiteral("sdc1 (FAT16) 16.0 MiB MY DISK"));
        QCOMPARE(driveItemText("sdc1", "FAT16", 16ULL << 20, "   "),
                 QStringLiteral("sdc1 (FAT16) 16.0 MiB"));
        QCOMPARE(driveItemText("loop0", "", 512, ""), QStringLiteral("loop0 512 B"));
    }

    void sizesRoundToOneDecimalInTheLargestFittingUnit() {
        QCOMPARE(binarySizeText(0), QStringLiteral("0 B"));
        QCOMPARE(binarySizeText(1023), QStringLiteral("1023 B"));
        QCOMPARE(binarySizeText(1024), QStringLiteral("1.0 KiB"));
        QCOMPARE(binarySizeText(1024 + 51), QStringLiteral("1.0 KiB"));  // 1.0498
        QCOMPARE(binarySizeText(1024 + 52), QStringLiteral("1.1 KiB"));  // 1.0508
        QCOMPARE(binarySizeText(2047), QStringLiteral("2.0 KiB"));       // carries into the units
        // Rounding up to 1024.0 moves to the next unit instead.
        QCOMPARE(binarySizeText((1ULL << 20) - 1), QStringLiteral("1.0 MiB"));
        QCOMPARE(binarySizeText((1ULL << 20) - 60), QStringLiteral("1023.9 KiB"));
        QCOMPARE(binarySizeText(1ULL << 40), QStringLiteral("1.0 TiB"));
        // The largest size stays in EiB without overflowing.
        QCOMPARE(binarySizeText(~0ULL), QStringLiteral("16.0 EiB"));
    }

    void numbersInNamesSortByValue() {
        QVERIFY(compareDriveTexts("sdb2 (FAT32)", "sdb10 (FAT32)") < 0);
        QVERIFY(compareDriveTexts("sdb10", "sdb2") > 0);
        QVERIFY(compareDriveTexts("mmcblk0p2", "mmcblk0p10") < 0);
        QVERIFY(compareDriveTexts("sda1", "sdb1") < 0);
        QVERIFY(compareDriveTexts("SDA1", "sda2") < 0);  // case does not count
        QCOMPARE(compareDriveTexts("sda1", "SDA1"), 0);
        QCOMPARE(compareDriveTexts("loop007", "loop7"), 0);  // leading zeros do not count
        QVERIFY(compareDriveTexts("loop7", "loop7a") < 0);   // a prefix comes first
        QVERIFY(compareDriveTexts("loop10", "loop9") > 0);
        // Longer than any integer type: still by value.
        QVERIFY(compareDriveTexts("x99999999999999999999999", "x100000000000000000000000") < 0);
    }

    void decimalPointIgnoresTheLocale() {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString text = binarySizeText(1536);
        QLocale::setDefault(saved);
        QCOMPARE(text, QStringLiteral("1.5 KiB"));
    }
};

QTEST_MAIN(DriveTextTest)
#include "DriveTextTest.moc"
