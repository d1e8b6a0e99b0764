// The recovery flow on the FAT fixture: destination choice, the same-volume question, the first
// characters asked on the user-interface thread, the copy and its summary, and a cancel; on the
// exFAT fixture, whole names that need no question.
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "ModalHelper.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "ui/FirstCharDialog.h"
#include "ui/RecoverFlow.h"

using namespace rekkon;
using rekkon::test::whenModal;
using rekkon::ui::FirstCharDialog;
using rekkon::ui::RecoverFlowHooks;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& f : fs::directory_iterator(folder))
        names.push_back(f.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Answers the next first-character dialog with `typed`; counts the dialogs answered and keeps
// what each said about its file.
void answerFirstChar(const QString& typed, bool useForAll, int& dialogs,
                     QStringList* details = nullptr) {
    whenModal([typed, useForAll, &dialogs, details](QWidget* w) {
        auto* dialog = qobject_cast<FirstCharDialog*>(w);
        if (!dialog) return;
        ++dialogs;
        if (details) *details << dialog->findChild<QLabel*>(QStringLiteral("fileDetails"))->text();
        QVERIFY(QThread::currentThread() == QCoreApplication::instance()->thread());
        if (typed.isEmpty()) {
            dialog->reject();
            return;
        }
        QTest::keyClicks(dialog->characterEdit(), typed);
        dialog->useForAllBox()->setChecked(useForAll);
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
}

// "K" for every lost first character, without a dialog; counts the questions.
class KAsker final : public FirstCharAsker {
  public:
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        ++asked;
        return FirstCharAnswer{"K", true};
    }
    int asked = 0;
};

// Acts on the closing summary once it is up, after the copy: polls every 10 ms, 10 s at most.
void whenSummary(std::function<void(QMessageBox*)> act, int triesLeft = 1000) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->objectName() == QStringLiteral("recoverySummary"))
            act(box);
        else if (triesLeft > 0)
            whenSummary(std::move(act), triesLeft - 1);
    });
}

// Notes each question in `events` and gives `answer`.
class NotingAsker final : public FirstCharAsker {
  public:
    NotingAsker(QStringList& events, std::optional<FirstCharAnswer> answer)
        : events_(events), answer_(std::move(answer)) {}
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        events_ << QStringLiteral("first character");
        return answer_;
    }

  private:
    QStringList& events_;
    std::optional<FirstCharAnswer> answer_;
};

}  // namespace

class RecoverFlowTest : public QObject {
    Q_OBJECT

  private:
    ScanContext context;
    std::string image;
    std::vector<DeletedFileEntry> foundEntries;  // the scan's list, which `all` points into
    std::vector<const DeletedFileEntry*> all;

    // Hooks that choose `folder` and note the questions and the summary.
    RecoverFlowHooks hooksFor(const std::string& folder) {
        RecoverFlowHooks hooks;
        hooks.chooseFolder = [this, folder](QWidget*) {
            ++folderChoices;
            return QString::fromStdString(folder);
        };
        hooks.askYesNo = [this](QWidget*, const QString& text) {
            questions << text;
            return false;
        };
        hooks.showMessage = [this](QWidget*, const QString& text) { summary = text; };
        return hooks;
    }
    int folderChoices = 0;
    QStringList questions;
    QString summary;

    // Entries whose first character is lost and not proven: only these are asked about.
    std::vector<const DeletedFileEntry*> unproven() const {
        std::vector<const DeletedFileEntry*> out;
        for (const DeletedFileEntry* e : all)
            if (e->name.rfind('?', 0) == 0 && !e->firstChar) out.push_back(e);
        return out;
    }

    const DeletedFileEntry* entryAt(std::uint64_t location) const {
        for (const DeletedFileEntry* e : all)
            if (e->location == location) return e;
        return nullptr;
    }

  private slots:
    void initTestCase() {
        image = test::fixtureImage("fat/fat16.img");
        int error = 0;
        QCOMPARE(int(mountVolume(context, image, error)), int(MountStatus::Mounted));
        QVERIFY(scanVolume(context) > 0);
        foundEntries.assign(context.foundList.begin(), context.foundList.end());
        for (const auto& e : foundEntries)
            all.push_back(&e);
    }
    void init() {
        folderChoices = 0;
        questions.clear();
        summary.clear();
    }

    void recoveredFilesMatchTheManifestAndOneAnswerServesAll() {
        test::TempDir out;
        int dialogs = 0;
        answerFirstChar(QStringLiteral("X"), true, dialogs);
        const auto outcomes = ui::recoverSelected(nullptr, context, QString::fromStdString(image),
                                                  all, hooksFor(out.path()));
        QCOMPARE(dialogs, 1);
        QCOMPARE(folderChoices, 1);
        QVERIFY2(questions.isEmpty(), "an image source is never the destination's volume");
        QCOMPARE(outcomes.size(), all.size());
        std::map<const DeletedFileEntry*, const RecoveryOutcome*> byEntry;
        for (const auto& o : outcomes)
            byEntry[o.entry] = &o;
        int checked = 0;
        for (const auto& row : test::readManifest(test::fixtureSource("fat/fat16.manifest.tsv"))) {
            if (row.at("state") != "deleted" || row.at("type") != "file" ||
                row.at("contiguous") != "yes" || row.at("reused") != "no" || row.at("size") == "0")
                continue;
            const DeletedFileEntry* e = entryAt(std::stoull(row.at("first_cluster")));
            QVERIFY2(e, row.at("long_path").c_str());
            const RecoveryOutcome& o = *byEntry.at(e);
            QCOMPARE(int(o.result), int(RecoveryResult::Written));
            QCOMPARE(fs::path(o.outputPath).parent_path().string(), out.path());
            // "X" was typed for the first file without a proven first character, and for all of
            // them; a proven first character goes with its own file, unasked.
            const std::string written = fs::path(o.outputPath).filename().string();
            const std::string first = e->firstChar.value_or("X");
            QCOMPARE(written.substr(0, first.size()), first);
            QCOMPARE(test::md5OfFile(o.outputPath), row.at("md5"));
            QCOMPARE(e->name.substr(0, 1), std::string("?"));  // the list keeps its '?' name
            ++checked;
        }
        QVERIFY(checked >= 5);
        QVERIFY2(summary.startsWith(QStringLiteral("%1 of %1 file(s) were recovered to\n%2")
                                        .arg(all.size())
                                        .arg(QString::fromStdString(out.path()))),
                 qPrintable(summary));
    }

    // Into its folder below the destination, and hashed while copying, for the report.
    void keepingFoldersWritesAFileIntoItsFolderWithItsHashes() {
        const DeletedFileEntry* inFolder = nullptr;
        for (const DeletedFileEntry* e : all)
            if (e->folder == "\\DOCS" && e->size != 0) inFolder = e;
        QVERIFY(inFolder);
        test::TempDir out;
        KAsker asker;
        RecoverFlowHooks hooks = hooksFor(out.path());
        hooks.firstCharAsker = &asker;
        hooks.keepFolders = true;
        QString chosen;  // remembered by the main window for the next chooser
        hooks.chosenFolder = &chosen;
        const auto outcomes = ui::recoverSelected(nullptr, context, QString(), {inFolder}, hooks);
        QCOMPARE(chosen, QString::fromStdString(out.path()));
        QCOMPARE(outcomes.size(), std::size_t(1));
        QCOMPARE(fs::path(outcomes[0].outputPath).parent_path().string(), out.path() + "/DOCS");
        QCOMPARE(filesIn(out.path() + "/DOCS"),
                 std::vector<std::string>{"K" + inFolder->name.substr(1)});
        QCOMPARE(outcomes[0].md5, test::md5OfFile(outcomes[0].outputPath));
        QCOMPARE(outcomes[0].sha256.size(), std::size_t(64));
    }

    void aProvenCharacterIsNotAskedForAndLongNamesNeedNone() {
        const DeletedFileEntry* proven = nullptr;
        for (const DeletedFileEntry* e : all)
            if (e->firstChar && e->longName && *e->firstChar != "B") proven = e;
        QVERIFY(proven);
        // An asker, not a dialog watcher, that would be left waiting for the next test's dialogs.
        test::TempDir out;
        KAsker first;
        RecoverFlowHooks shortHooks = hooksFor(out.path());
        shortHooks.firstCharAsker = &first;
        ui::recoverSelected(nullptr, context, QString(), {proven}, shortHooks);
        QCOMPARE(first.asked, 0);
        QCOMPARE(filesIn(out.path()),
                 std::vector<std::string>{*proven->firstChar + proven->name.substr(1)});

        // Under long names nothing is asked either.
        test::TempDir longOut;
        KAsker asker;
        RecoverFlowHooks hooks = hooksFor(longOut.path());
        hooks.firstCharAsker = &asker;
        hooks.longNames = true;
        ui::recoverSelected(nullptr, context, QString(), {proven}, hooks);
        QCOMPARE(asker.asked, 0);
        QCOMPARE(filesIn(longOut.path()), std::vector<std::string>{*proven->longName});
    }

    void aCancelledQuestionSkipsThatFileAndTheNextOneAsksAgain() {
        const auto asked = unproven();
        QVERIFY(asked.size() >= 2);
        test::TempDir out;
        int dialogs = 0;
        answerFirstChar(QString(), false, dialogs);
        const std::vector<const DeletedFileEntry*> two{asked[0], asked[1]};
        // The second dialog is answered once the first is gone.
        QStringList details;
        QTimer::singleShot(0,
                           [&] { answerFirstChar(QStringLiteral("Q"), false, dialogs, &details); });
        const auto outcomes =
            ui::recoverSelected(nullptr, context, QString(), two, hooksFor(out.path()));
        QCOMPARE(dialogs, 2);
        // The dialog names the file it asks about.
        QCOMPARE(details.size(), 1);
        QVERIFY2(details[0].contains(QString::fromStdString(asked[1]->folder)) &&
                     details[0].contains(QLocale().toString(qulonglong{asked[1]->size})),
                 qPrintable(details[0]));
        QCOMPARE(outcomes.size(), std::size_t(2));
        QCOMPARE(int(outcomes[0].result), int(RecoveryResult::NoFirstChar));
        QVERIFY(outcomes[1].result == RecoveryResult::Written ||
                outcomes[1].result == RecoveryResult::NotWhole);
        QCOMPARE(filesIn(out.path()), std::vector<std::string>{"Q" + asked[1]->name.substr(1)});
        QVERIFY2(summary.contains(QStringLiteral("1 file(s) were skipped")), qPrintable(summary));
    }

    // exFAT names are whole: nothing is asked, and each file goes into its folder under its
    // own name (one too long for this file system shortened), byte-exact.
    void exfatFilesAreWrittenUnderTheirWholeNamesUnasked() {
        const std::string exfatImage = test::fixtureImage("exfat/basic.img");
        ScanContext exfat;
        int error = 0;
        QCOMPARE(int(mountVolume(exfat, exfatImage, error)), int(MountStatus::Mounted));
        QVERIFY(scanVolume(exfat) > 0);
        const std::vector<DeletedFileEntry> found(exfat.foundList.begin(), exfat.foundList.end());
        std::vector<const DeletedFileEntry*> entries;
        for (const auto& e : found)
            entries.push_back(&e);
        test::TempDir out;
        KAsker asker;
        RecoverFlowHooks hooks = hooksFor(out.path());
        hooks.firstCharAsker = &asker;
        hooks.keepFolders = true;
        const auto outcomes =
            ui::recoverSelected(nullptr, exfat, QString::fromStdString(exfatImage), entries, hooks);
        QCOMPARE(asker.asked, 0);
        QCOMPARE(outcomes.size(), entries.size());
        std::map<std::string, const RecoveryOutcome*> byPath;  // "old-project/sub/inner.bin"
        for (const auto& o : outcomes) {
            std::string folder = o.entry->folder.substr(1);
            std::replace(folder.begin(), folder.end(), '\\', '/');
            byPath[(folder.empty() ? "" : folder + "/") + o.entry->name] = &o;
        }
        int checked = 0;
        for (const auto& row :
             test::readManifest(test::fixtureSource("exfat/basic.manifest.tsv"))) {
            if (row.at("state") != "deleted" || row.at("type") != "file" ||
                row.at("reachable") != "yes" || row.at("contiguous") != "yes")
                continue;
            const std::string& path = row.at("path");
            const RecoveryOutcome* o = byPath[path];
            QVERIFY2(o, path.c_str());
            QCOMPARE(int(o->result), int(RecoveryResult::Written));
            QCOMPARE(test::md5OfFile(o->outputPath), row.at("md5"));
            if (fs::path(path).filename().string().size() <= 255)
                QCOMPARE(o->outputPath, out.path() + "/" + path);
            ++checked;
        }
        QVERIFY(checked >= 60);
        QVERIFY(questions.isEmpty());
    }

    void noFolderChosenEndsQuietly() {
        RecoverFlowHooks hooks = hooksFor("");
        const auto outcomes = ui::recoverSelected(nullptr, context, QString(), all, hooks);
        QVERIFY(outcomes.empty());
        QCOMPARE(folderChoices, 1);
        QVERIFY(summary.isEmpty());
        QVERIFY(ui::recoverSelected(nullptr, context, QString(), {}, hooks).empty());
        QCOMPARE(folderChoices, 1);  // nothing selected: not even the folder is asked
    }

    // A folder that cannot take the files is found out when chosen, before any first-character
    // question: the user is told why (or asked, when it only may not have room) and chooses again.
    void aFolderThatCannotTakeTheFilesIsRefusedWhenChosen_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("read-only") << 0 << QStringLiteral("is on a read-only file system");
        QTest::newRow("read-only, by access") << 1 << QStringLiteral("read-only file system");
        QTest::newRow("full") << 2 << QStringLiteral("has no room");
        QTest::newRow("less free than the sizes") << 3 << QStringLiteral("may not have room");
    }
    void aFolderThatCannotTakeTheFilesIsRefusedWhenChosen() {
        QFETCH(int, fault);
        QFETCH(QString, told);
        QVERIFY(!unproven().empty());
        const DeletedFileEntry* file = unproven().front();
        QVERIFY(file->size > 1);
        test::TempDir refused, taken;
        QStringList events;
        NotingAsker asker(events, FirstCharAnswer{"R", false});
        RecoverFlowHooks hooks = hooksFor("");
        hooks.firstCharAsker = &asker;
        hooks.chooseFolder = [&](QWidget*) {
            events << QStringLiteral("choose");
            return QString::fromStdString(events.size() == 1 ? refused.path() : taken.path());
        };
        const auto tell = [&](QWidget*, const QString& text) {
            if (text.contains(told)) events << QStringLiteral("told");
            return true;  // Yes: choose another folder
        };
        hooks.showMessage = [&](QWidget* w, const QString& text) { tell(w, text); };
        hooks.askYesNo = tell;
        const auto realStatvfs = hooks.folderProbe.statvfs;
        hooks.folderProbe.statvfs = [&](const std::string& path, struct statvfs& out) {
            const int result = realStatvfs(path, out);
            if (path == refused.path()) {
                if (fault == 0) out.f_flag |= ST_RDONLY;
                if (fault == 2) out.f_bavail = 0;
                if (fault == 3) {
                    out.f_frsize = 1;
                    out.f_bavail = file->size - 1;
                }
            }
            return result;
        };
        hooks.folderProbe.access = [&](const std::string& path, int mode) {
            if (fault == 1 && path == refused.path()) {
                errno = EROFS;
                return -1;
            }
            return ::access(path.c_str(), mode);
        };
        ui::recoverSelected(nullptr, context, QString(), {file}, hooks);
        QCOMPARE(events, (QStringList{"choose", "told", "choose", "first character"}));
        QCOMPARE(filesIn(refused.path()), std::vector<std::string>{});
        QCOMPARE(filesIn(taken.path()), std::vector<std::string>{"R" + file->name.substr(1)});
    }

    // The summary's icon tells whether every file was written; the box fits its caption beside a
    // title bar's buttons; Open Folder opens the destination, and says where it is when nothing
    // could open it.
    void theSummaryBoxTellsAtAGlanceAndOpensTheFolder_data() {
        QTest::addColumn<bool>("answered");
        QTest::newRow("all written") << true;
        QTest::newRow("one skipped") << false;
    }
    void theSummaryBoxTellsAtAGlanceAndOpensTheFolder() {
        QFETCH(bool, answered);
        test::TempDir out;
        QStringList events;
        NotingAsker asker(
            events, answered ? std::optional<FirstCharAnswer>(FirstCharAnswer{"S"}) : std::nullopt);
        RecoverFlowHooks hooks = hooksFor(out.path());
        hooks.showMessage = nullptr;
        hooks.firstCharAsker = &asker;
        QList<QUrl> opened;
        hooks.openUrl = [&](const QUrl& url) {
            opened << url;
            return false;
        };
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int width = 0, captionWidth = 0;
        QString notOpened;
        whenSummary([&](QMessageBox* box) {
            icon = box->icon();
            width = box->width();
            QFont bold = box->font();
            bold.setBold(true);
            // The caption, and a title bar's close, maximize and minimize buttons beside it.
            captionWidth = QFontMetrics(bold).horizontalAdvance(box->windowTitle()) +
                           3 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
            QPushButton* open = nullptr;
            for (QAbstractButton* b : box->buttons())
                if (b->text() == QStringLiteral("&Open Folder"))
                    open = qobject_cast<QPushButton*>(b);
            if (!open) {  // found out below: nothing opened
                box->reject();
                return;
            }
            QTimer::singleShot(0, [&] {
                whenModal([&](QWidget* next) {
                    auto* message = qobject_cast<QMessageBox*>(next);
                    if (!message) return;
                    notOpened = message->text();
                    message->accept();
                });
            });
            open->click();
        });
        ui::recoverSelected(nullptr, context, QString(), {unproven().front()}, hooks);
        QCOMPARE(icon, answered ? QMessageBox::Information : QMessageBox::Warning);
        QVERIFY2(width >= captionWidth, qPrintable(QString::number(width)));
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(out.path()))});
        QVERIFY2(notOpened.endsWith(QString::fromStdString(out.path())), qPrintable(notOpened));
    }

    // A made-up disk /dev/sda with a partition sda1: the first folder offered lies on sda1.
    void aFolderOnTheScannedDeviceIsQuestioned_data() {
        QTest::addColumn<bool>("chooseAgain");
        QTest::addColumn<bool>("byDescriptor");
        QTest::newRow("Yes: choose again") << true << false;
        QTest::newRow("No: go on") << false << false;
        // A device handed over as a descriptor is known by the descriptor's device number.
        QTest::newRow("descriptor, Yes") << true << true;
    }
    void aFolderOnTheScannedDeviceIsQuestioned() {
        QFETCH(bool, chooseAgain);
        QFETCH(bool, byDescriptor);
        test::TempDir sys, onSource, elsewhere;
        for (const auto& [path, dev] : std::vector<std::pair<std::string, std::string>>{
                 {"sda", "8:0"}, {"sda/sda1", "8:1"}}) {
            const std::string dir = sys.path() + "/devices/" + path;
            fs::create_directories(dir);
            std::ofstream(dir + "/dev") << dev << "\n";
            fs::create_directories(sys.path() + "/dev/block");
            fs::create_symlink(dir, sys.path() + "/dev/block/" + dev);
        }
        std::ofstream(sys.path() + "/devices/sda/sda1/partition") << "1\n";
        std::map<std::string, struct stat> stats;
        stats["/dev/sda"].st_mode = S_IFBLK | 0660;
        stats["/dev/sda"].st_rdev = makedev(8, 0);
        stats[onSource.path()].st_mode = S_IFDIR | 0755;
        stats[onSource.path()].st_dev = makedev(8, 1);
        stats[elsewhere.path()].st_mode = S_IFDIR | 0755;
        stats[elsewhere.path()].st_dev = makedev(8, 16);

        RecoverFlowHooks hooks = hooksFor("");
        hooks.probe.sysfsRoot = sys.path();
        hooks.probe.stat = [&stats](const std::string& path, struct stat& out) {
            const auto it = stats.find(path);
            if (it == stats.end()) return -1;
            out = it->second;
            return 0;
        };
        if (byDescriptor) {
            stats.erase("/dev/sda");
            hooks.probe.fstat = [](int, struct stat& out) {
                out = {};
                out.st_mode = S_IFBLK | 0660;
                out.st_rdev = makedev(8, 0);
                return 0;
            };
        }
        hooks.chooseFolder = [&](QWidget*) {
            ++folderChoices;
            return QString::fromStdString(folderChoices == 1 ? onSource.path() : elsewhere.path());
        };
        hooks.askYesNo = [&](QWidget*, const QString& text) {
            questions << text;
            return chooseAgain;
        };
        hooks.firstCharAsker = nullptr;
        int dialogs = 0;
        answerFirstChar(QStringLiteral("Z"), true, dialogs);
        QVERIFY(!unproven().empty());
        const std::vector<const DeletedFileEntry*> one{unproven().front()};
        ui::recoverSelected(nullptr, context, QStringLiteral("/dev/sda"), one, hooks);
        QCOMPARE(questions,
                 QStringList{QStringLiteral("It is dangerous to undelete files to the same "
                                            "volume!\nDo you wish to change the drive ?")});
        QCOMPARE(folderChoices, chooseAgain ? 2 : 1);
        const std::string written = "Z" + one[0]->name.substr(1);
        QCOMPARE(filesIn(onSource.path()),
                 chooseAgain ? std::vector<std::string>{} : std::vector<std::string>{written});
        QCOMPARE(filesIn(elsewhere.path()),
                 chooseAgain ? std::vector<std::string>{written} : std::vector<std::string>{});
    }

    void aCancelledCopyLeavesNothingBehind() {
        test::TempDir out;
        RecoverFlowHooks hooks = hooksFor(out.path());
        int dialogs = 0;
        answerFirstChar(QStringLiteral("C"), true, dialogs);
        hooks.chunkBytes = 512;
        hooks.copyStarted = [](const std::function<void()>& cancel) { cancel(); };
        const auto outcomes = ui::recoverSelected(nullptr, context, QString(), all, hooks);
        QVERIFY(outcomes.size() <= 1);
        if (!outcomes.empty()) QCOMPARE(int(outcomes[0].result), int(RecoveryResult::Cancelled));
        QCOMPARE(filesIn(out.path()), std::vector<std::string>{});
        QVERIFY2(summary.startsWith(QStringLiteral("0 of %1").arg(all.size())),
                 qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("cancelled")), qPrintable(summary));
    }
};

QTEST_MAIN(RecoverFlowTest)
#include "RecoverFlowTest.moc"
