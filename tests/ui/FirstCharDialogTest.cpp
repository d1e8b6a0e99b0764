// The first-character dialog: its texts and controls, the answers it gives, and the characters
// it refuses with a message while staying open.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include "ModalHelper.h"
#include "ui/FirstCharDialog.h"
#include "ui/Texts.h"

using rekkon::FirstCharAnswer;
using rekkon::test::whenModal;
using rekkon::ui::DialogFirstCharAsker;
using rekkon::ui::FirstCharDialog;

class FirstCharDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void showsTheRestOfTheNameAndAQuestionMark() {
        FirstCharDialog dialog(QStringLiteral("?EPORT.DOC"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Type in the first character"));
        QCOMPARE(dialog.findChild<QLabel*>("restOfName")->text(), QStringLiteral("EPORT.DOC"));
        QCOMPARE(dialog.characterEdit()->text(), QStringLiteral("?"));
        QCOMPARE(dialog.useForAllBox()->text(), QStringLiteral("Use for all files"));
        QVERIFY(!dialog.useForAllBox()->isChecked());
        QVERIFY(dialog.okButton()->isDefault());
        QVERIFY(!dialog.answer());
    }

    // Which file is meant, and a field that shows any character whole, in a large font too.
    void namesItsFileAndFitsAWideCharacter() {
        const QFont appFont = QApplication::font();
        QFont large = appFont;
        large.setPointSize(28);
        QApplication::setFont(large);
        FirstCharDialog dialog(
            QStringLiteral("?EPORT.DOC"), nullptr, {},
            {QStringLiteral("\\LETTERS\\2006"), QStringLiteral("Report for May.doc"), 123456});
        QApplication::setFont(appFont);
        dialog.show();
        const QString details = dialog.findChild<QLabel*>("fileDetails")->text();
        for (const QString& part :
             {QStringLiteral("\\LETTERS\\2006"), QStringLiteral("Report for May.doc"),
              QLocale().toString(123456)})
            QVERIFY2(details.contains(part), qPrintable(details));
        QLineEdit* edit = dialog.characterEdit();
        const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        for (const QString& c :
             {QStringLiteral("W"), QStringLiteral("\u0416"), QStringLiteral("\u6F22")})
            QVERIFY2(edit->width() >= edit->fontMetrics().horizontalAdvance(c) + 2 * frame + 4,
                     qPrintable(c));
    }

    void typingReplacesTheQuestionMarkAndOnlyTheFirstCharacterCounts() {
        FirstCharDialog dialog(QStringLiteral("?EPORT.DOC"));
        dialog.show();
        QTest::keyClicks(dialog.characterEdit(), QStringLiteral("Rxyz"));
        QCOMPARE(dialog.characterEdit()->text(), QStringLiteral("Rxyz"));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.answer());
        QCOMPARE(dialog.answer()->character, std::string("R"));
        QVERIFY(!dialog.answer()->useForAll);
    }

    void refusedCharactersKeepTheDialogOpenWithAMessage_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("nothing") << QString();
        QTest::newRow("blank") << QStringLiteral(" A");
        QTest::newRow("question mark") << QStringLiteral("?");
        QTest::newRow("slash") << QStringLiteral("/");
        QTest::newRow("tab") << QStringLiteral("\t");
    }
    void refusedCharactersKeepTheDialogOpenWithAMessage() {
        QFETCH(QString, typed);
        FirstCharDialog dialog(QStringLiteral("?EPORT.DOC"));
        dialog.show();
        dialog.characterEdit()->setText(typed);
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) return;
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            box->accept();
        });
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(text, QStringLiteral("You need to type in any legal character"));
        QCOMPARE(title, rekkon::ui::kProductTitle);
        QCOMPARE(icon, QMessageBox::Warning);
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.answer());
        // A legal character afterwards is taken; one beyond ASCII too, since names are UTF-8.
        dialog.characterEdit()->setText(QStringLiteral("\u00C9"));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QVERIFY(dialog.answer());
        QCOMPARE(dialog.answer()->character, std::string("\u00C9"));
    }

    void aProvenCharacterIsFilledInAndCanBeChanged() {
        DialogFirstCharAsker asker(nullptr);
        QString shown;
        whenModal([&shown](QWidget* w) {
            auto* dialog = qobject_cast<FirstCharDialog*>(w);
            if (!dialog) return;
            shown = dialog->characterEdit()->text();
            QTest::keyClick(dialog->characterEdit(), Qt::Key_Return);
        });
        auto answer = asker.ask("?RGERU~1.TXT", "\u00C4");
        QCOMPARE(shown, QStringLiteral("\u00C4"));
        QVERIFY(answer);
        QCOMPARE(answer->character, std::string("\u00C4"));
        // It is selected: typing replaces it.
        whenModal([](QWidget* w) {
            auto* dialog = qobject_cast<FirstCharDialog*>(w);
            if (!dialog) return;
            QTest::keyClicks(dialog->characterEdit(), QStringLiteral("A"));
            QTest::keyClick(dialog->characterEdit(), Qt::Key_Return);
        });
        answer = asker.ask("?RGERU~1.TXT", "\u00C4");
        QVERIFY(answer);
        QCOMPARE(answer->character, std::string("A"));
    }

    void theAskerShowsTheDialogAndReturnsItsAnswer() {
        DialogFirstCharAsker asker(nullptr);
        whenModal([](QWidget* w) {
            auto* dialog = qobject_cast<FirstCharDialog*>(w);
            if (!dialog) return;
            QTest::keyClicks(dialog->characterEdit(), QStringLiteral("Q"));
            dialog->useForAllBox()->setChecked(true);
            QTest::keyClick(dialog->characterEdit(), Qt::Key_Return);  // the default button
        });
        const auto answer = asker.ask("?A.TXT", std::nullopt);
        QVERIFY(answer);
        QCOMPARE(answer->character, std::string("Q"));
        QVERIFY(answer->useForAll);

        whenModal([](QWidget* w) {
            if (auto* dialog = qobject_cast<FirstCharDialog*>(w)) dialog->reject();
        });
        QVERIFY(!asker.ask("?B.TXT", std::nullopt));
    }

    void aNameWithItsFirstCharacterIsNeverAskedAbout() {
        DialogFirstCharAsker asker(nullptr);
        bool shown = false;
        whenModal(
            [&](QWidget* w) {
                shown = true;
                w->close();
            },
            3);
        QVERIFY(!asker.ask("B.TXT", std::nullopt));
        QVERIFY(!asker.ask("?", "X"));
        QCoreApplication::processEvents();
        QVERIFY(!shown);
    }
};

QTEST_MAIN(FirstCharDialogTest)
#include "FirstCharDialogTest.moc"
