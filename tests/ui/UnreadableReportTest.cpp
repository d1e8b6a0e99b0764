// The desktop program on a source that fails to read in places: the status line tells how many
// sectors could not be read, and the recovery's summary names the files not written whole.
#include <QLabel>
#include <QTableView>
#include <QtTest>

#include "recovery/FirstChar.h"
#include "support/Fixtures.h"
#include "ui/MainWindow.h"
#include "ui/RecoverFlow.h"
#include "ui/ResultsModel.h"
#include "volume/SectorDevice.h"

using namespace rekkon;
using namespace rekkon::ui;

namespace {

// fat16.img: data from sector 100, 4 sectors a cluster. The folder LETTERS lies at cluster 122,
// the deleted OLDNOTES.TXT (3072 bytes) at clusters 17 and 18.
constexpr std::uint64_t kLettersSector = 100 + (122 - 2) * 4;
constexpr std::uint64_t kOldNotesSector = 100 + (17 - 2) * 4;

// The fixture image, with the first sector of LETTERS and of OLDNOTES.TXT failing every read.
class FailingImage final : public SectorDevice {
  public:
    explicit FailingImage(std::unique_ptr<SectorDevice> image) : image_(std::move(image)) {}
    void seekSector(std::uint64_t sector) override {
        sector_ = sector;
        image_->seekSector(sector);
    }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        std::size_t sectors = buffer.size() / kSectorSize;
        for (std::uint64_t bad : {kLettersSector, kOldNotesSector})
            if (bad >= sector_ && bad < sector_ + sectors) sectors = bad - sector_;
        const std::size_t got = image_->readSectors(buffer.first(sectors * kSectorSize));
        sector_ += got / kSectorSize;
        return got;
    }
    std::optional<std::uint64_t> sizeBytes() const override { return image_->sizeBytes(); }

  private:
    std::unique_ptr<SectorDevice> image_;
    std::uint64_t sector_ = 0;
};

class Underscore final : public FirstCharAsker {
  public:
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        return FirstCharAnswer{"_", true};
    }
};

}  // namespace

class UnreadableReportTest : public QObject {
    Q_OBJECT

  private slots:
    void statusLineAndSummaryTellWhatCouldNotBeRead();
};

void UnreadableReportTest::statusLineAndSummaryTellWhatCouldNotBeRead() {
    test::TempDir out;
    Underscore underscore;
    QStringList warnings;
    QString summary;
    MainWindowHooks hooks;
    hooks.warn = [&warnings](QWidget*, const QString& text) { warnings << text; };
    hooks.recover = [&](QWidget* parent, ScanContext& context, const QString& source,
                        const std::vector<const DeletedFileEntry*>& entries) {
        RecoverFlowHooks flow;
        flow.chooseFolder = [&out](QWidget*) { return QString::fromStdString(out.path()); };
        flow.askYesNo = [](QWidget*, const QString&) { return false; };
        flow.showMessage = [&summary](QWidget*, const QString& text) { summary = text; };
        flow.firstCharAsker = &underscore;
        return recoverSelected(parent, context, source, entries, flow);
    };
    MainWindow window(hooks);
    const QString image = QString::fromStdString(test::fixtureImage("fat/fat16.img"));
    const SourceOpener open = [](const std::string& path, int& error) {
        auto file = openFileSource(path, error);
        return file ? std::make_unique<FailingImage>(std::move(file)) : nullptr;
    };
    QVERIFY(window.openSource(image, {}, open));
    QVERIFY(warnings.isEmpty());
    // Not a message box: the scan's count is in the status line, explained in its tooltip.
    const int found = window.resultsModel()->rowCount();
    QCOMPARE(window.statusLine()->text(),
             QStringLiteral("On %1:\\ found  %2 deleted files  (1 sector could not be read)")
                 .arg(image)
                 .arg(found));
    QVERIFY(window.statusLine()->toolTip().startsWith(
        QStringLiteral("1 sector of the source could not be read")));

    window.resultsView()->selectAll();
    window.recoverSelection();
    QVERIFY2(summary.contains(QStringLiteral("1 of them are not whole")), qPrintable(summary));
    QVERIFY2(summary.contains(QStringLiteral("\n    _LDNOTES.TXT")), qPrintable(summary));
    QVERIFY(window.statusLine()->text().endsWith(QStringLiteral("(2 sectors could not be read)")));
}

QTEST_MAIN(UnreadableReportTest)
#include "UnreadableReportTest.moc"
