#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <thread>

#include "ui/ElidedLabel.h"
#include "ui/ProgressWindow.h"

using rekkon::ui::ProgressWindow;

class ProgressWindowTest : public QObject {
    Q_OBJECT

  private:
    static QString shownText(ProgressWindow& window) {
        return window.findChild<QLabel*>(QStringLiteral("progressText"))->text();
    }
    static int shownFrame(ProgressWindow& window) {
        return window.findChild<QLabel*>(QStringLiteral("progressPicture"))
            ->property("frame")
            .toInt();
    }

  private slots:
    void isAFramelessToolWindowAboveTheOthers() {
        ProgressWindow window;
        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::Tool));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!window.isVisible());
    }

    void startShowsTheInitialisationLineWithTheSourceName() {
        ProgressWindow window;
        window.start(QStringLiteral("/dev/sdb1"));
        QVERIFY(window.isVisible());
        QCOMPARE(shownText(window), QStringLiteral("Initialization of volume /dev/sdb1: ..."));
        QVERIFY(!window.findChild<QLabel*>(QStringLiteral("progressPicture"))->pixmap().isNull());
    }

    void textFromAnotherThreadShowsTheLatestWithoutWaiting() {
        ProgressWindow window;
        window.start(QStringLiteral("card.img"));
        // The worker returns from every call before the event loop has run once.
        std::thread worker([&window] {
            for (int found = 1; found <= 500; ++found) {
                window.setText(QStringLiteral("Found %1 deleted files. Searching...").arg(found));
            }
        });
        worker.join();
        QCOMPARE(shownText(window), QStringLiteral("Initialization of volume card.img: ..."));
        QTRY_COMPARE(shownText(window), QStringLiteral("Found 500 deleted files. Searching..."));
    }

    void aTextArrivingAfterStopOrBeforeTheNextStartIsDropped() {
        ProgressWindow window;
        window.setText(QStringLiteral("before start"));
        window.start(QStringLiteral("a.img"));
        QCoreApplication::processEvents();
        QCOMPARE(shownText(window), QStringLiteral("Initialization of volume a.img: ..."));

        window.setText(QStringLiteral("Found 3 deleted files. Searching..."));
        window.stop();
        QCoreApplication::processEvents();
        QCOMPARE(shownText(window), QStringLiteral("Initialization of volume a.img: ..."));

        window.start(QStringLiteral("b.img"));
        QCoreApplication::processEvents();
        QCOMPARE(shownText(window), QStringLiteral("Initialization of volume b.img: ..."));
        window.setText(QStringLiteral("Found 1 deleted files. Searching..."));
        QTRY_COMPARE(shownText(window), QStringLiteral("Found 1 deleted files. Searching..."));
    }

    void theAnimationStepsThroughTheSixFramesOnItsTimer() {
        ProgressWindow window;
        auto* timer = window.findChild<QTimer*>();
        QVERIFY(timer != nullptr);
        QVERIFY(!timer->isActive());
        window.start(QStringLiteral("x.img"));
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 200);
        QCOMPARE(shownFrame(window), 0);
        // Each tick shows the next frame; after the sixth the first comes back.
        for (int tick = 1; tick <= 7; ++tick) {
            QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
            QCOMPARE(shownFrame(window), tick % ProgressWindow::kFrameCount);
        }
    }

    // The strip shows while the main window is disabled, and is never the active window: its
    // text must not be drawn greyed. A long text widens it within the screen and is cut in the
    // middle, keeping both ends.
    void staysReadableBesideADisabledOwnerAndKeepsBothEndsOfALongText() {
        QWidget owner;
        auto* window = new ProgressWindow(&owner);
        owner.setEnabled(false);
        window->start(QStringLiteral("/dev/sdb1"));
        auto* label = window->findChild<rekkon::ui::ElidedLabel*>(QStringLiteral("progressText"));
        QVERIFY(label->isEnabled());
        const QPalette& palette = label->palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::WindowText),
                 palette.color(QPalette::Active, QPalette::WindowText));

        const int narrow = window->width();
        const QString tail = QStringLiteral(" Searching free space for lost folders (83%).");
        window->setText(QStringLiteral("Found 850 deleted files.") + tail);
        QTRY_VERIFY(window->width() > narrow);
        QCOMPARE(label->shownText(), label->text());
        const int screenWidth = window->screen()->availableGeometry().width();
        window->setText(QStringLiteral("Found 850 deleted files in ") +
                        QString(400, QLatin1Char('x')) + tail);
        QTRY_VERIFY(label->shownText().endsWith(QStringLiteral("(83%).")));
        QVERIFY(label->shownText().startsWith(QStringLiteral("Found 850")));
        QVERIFY(window->width() <= screenWidth);
    }

    void stopHidesItAndEndsTheAnimation() {
        ProgressWindow window;
        window.start(QStringLiteral("x.img"));
        window.stop();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.findChild<QTimer*>()->isActive());
        window.stop();  // a second stop is harmless
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(ProgressWindowTest)
#include "ProgressWindowTest.moc"
