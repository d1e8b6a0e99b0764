#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/ManualPath.h"

using namespace rekkon::ui;

// Where the desktop program looks for MANUAL.html: beside itself in a build tree, in the
// documentation folder of an installed tree.
class ManualPathTest : public QObject {
    Q_OBJECT

  private slots:
    void besideTheProgramComesFirst();
    void installedTreeFindsTheDocumentationFolder();
    void missingEverywhereNamesThePlaceBesideTheProgram();
};

namespace {

void touch(const QString& path) {
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

void ManualPathTest::besideTheProgramComesFirst() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString bin = root.filePath("bin");
    touch(bin + "/MANUAL.html");
    touch(QDir::cleanPath(bin + "/" + installedManualDir() + "/MANUAL.html"));
    QCOMPARE(manualPathFor(bin), bin + "/MANUAL.html");
}

void ManualPathTest::installedTreeFindsTheDocumentationFolder() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString bin = root.filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    const QString installed = QDir::cleanPath(bin + "/" + installedManualDir() + "/MANUAL.html");
    touch(installed);
    QVERIFY(!QDir::isAbsolutePath(installedManualDir()));
    QCOMPARE(manualPathFor(bin), installed);
    // The same from the folder's name with a trailing separator.
    QCOMPARE(manualPathFor(bin + "/"), installed);
}

void ManualPathTest::missingEverywhereNamesThePlaceBesideTheProgram() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString bin = root.filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    QCOMPARE(manualPathFor(bin), bin + "/MANUAL.html");
}

QTEST_GUILESS_MAIN(ManualPathTest)
#include "ManualPathTest.moc"
