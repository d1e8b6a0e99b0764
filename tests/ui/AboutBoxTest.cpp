#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/AboutBox.h"
#include "ui/Texts.h"

using rekkon::ui::AboutBox;

class AboutBoxTest : public QObject {
    Q_OBJECT

  private:
    static QString labelText(AboutBox& box, const char* name) {
        auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
        return label != nullptr ? label->text() : QString();
    }

  private slots:
    void showsTheTitleMakerAddressAndNotice() {
        // Two boxes in a row show the same texts: nothing carries over.
        for (int opening = 0; opening < 2; ++opening) {
            AboutBox box;
            QCOMPARE(box.windowTitle(), QStringLiteral("About"));
            QCOMPARE(labelText(box, "aboutTitle"), QStringLiteral("Vantrel Rekkon Personal 1.4"));
            QCOMPARE(labelText(box, "aboutTitle"), rekkon::ui::kProductTitle);
            QVERIFY(box.findChild<QLabel*>(QStringLiteral("aboutTitle"))->font().bold());
            QCOMPARE(labelText(box, "aboutMaker"), AboutBox::kMakerNotice);
            QCOMPARE(labelText(box, "aboutWeb"), AboutBox::kWebAddress);
            QVERIFY(AboutBox::kWebAddress.startsWith(QStringLiteral("https://")));
            QCOMPARE(labelText(box, "aboutLegal"), AboutBox::kLegalNotice);
            QVERIFY(!box.findChild<QLabel*>(QStringLiteral("aboutBanner"))->pixmap().isNull());
            QVERIFY(!box.findChild<QLabel*>(QStringLiteral("aboutIcon"))->pixmap().isNull());
            // The address is text, not a link.
            QCOMPARE(box.findChild<QLabel*>(QStringLiteral("aboutWeb"))->textFormat(),
                     Qt::PlainText);
        }
    }

    void okIsTheDefaultButtonAndClosesTheBox() {
        AboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto* ok = box.findChild<QPushButton*>(QStringLiteral("aboutOk"));
        QVERIFY(ok != nullptr);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
    }

    void enterAndEscapeCloseTheBox() {
        AboutBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Return);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));

        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
