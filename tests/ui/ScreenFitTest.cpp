#include <QApplication>
#include <QScreen>
#include <QTest>

#include "ui/App.h"
#include "ui/ScreenFit.h"

using rekkon::ui::fittedGeometry;

class ScreenFitTest : public QObject {
    Q_OBJECT

  private slots:
    void windowsAreShrunkAndMovedIntoTheArea() {
        const QRect area(0, 30, 1000, 700);
        // Fits: unchanged.
        QCOMPARE(fittedGeometry({100, 100, 400, 300}, area), QRect(100, 100, 400, 300));
        // Too wide (a 2x scale factor): as wide as the area, its left edge in view.
        QCOMPARE(fittedGeometry({200, 100, 1764, 620}, area), QRect(0, 100, 1000, 620));
        // Off the bottom right: moved in, size kept.
        QCOMPARE(fittedGeometry({900, 600, 400, 300}, area), QRect(600, 430, 400, 300));
        // Never below the minimum size, and then its top left stays in view.
        QCOMPARE(fittedGeometry({0, 0, 1200, 800}, area, {1100, 100}), QRect(0, 30, 1100, 700));
    }

    // The program's set-up names it after its desktop entry (the window class) and fits the
    // windows it shows into the screen.
    void theApplicationIsSetUpForTheDesktop() {
        rekkon::ui::setUpApplication(*qApp, QStringLiteral("io.github.rekkon.Rekkon"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("io.github.rekkon.Rekkon"));
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("io.github.rekkon.Rekkon"));
        QWidget huge;
        huge.resize(20000, 15000);
        huge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&huge));
        QTRY_VERIFY(huge.screen()->availableGeometry().contains(huge.geometry()));
    }
};

QTEST_MAIN(ScreenFitTest)
#include "ScreenFitTest.moc"
