#include "ui/RecoverFlow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>

#include "ui/FirstCharDialog.h"
#include "ui/Texts.h"

namespace rekkon::ui {

namespace {

const QString kFolderTitle = QStringLiteral("Store selected file(s) to:");
const QString kSameVolumeText = QStringLiteral(
    "It is dangerous to undelete files to the same volume!\nDo you wish to change the drive ?");

// The progress bar's steps; byte counts are scaled to it (they may exceed an int).
constexpr int kProgressSteps = 1000;
// How often the bar is brought up to date while copying.
constexpr int kProgressPollMs = 100;
// The bar appears only when the copy takes longer than this.
constexpr int kProgressDelayMs = 1000;
// Files not written whole named in the closing summary at most; the rest are counted.
constexpr qsizetype kNotWholeNamesShown = 10;

QString chooseFolderDialog(QWidget* parent, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent, kFolderTitle, startFolder,
                                             QFileDialog::ShowDirsOnly);
}

bool yesNoBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, kProductTitle, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void messageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, kProductTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

// Keeps the answers given on the user-interface thread, in the order they were asked.
class RecordingAsker final : public FirstCharAsker {
  public:
    explicit RecordingAsker(FirstCharAsker& inner) : inner_(inner) {}
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>& suggestion) override {
        return answers.emplace_back(inner_.ask(name, suggestion));
    }
    std::vector<std::optional<FirstCharAnswer>> answers;

  private:
    FirstCharAsker& inner_;
};

// Gives the recorded answers again, on the copying thread. The first-character rule asks the
// same questions in the same order for the same entries, so each question meets its answer.
class ReplayAsker final : public FirstCharAsker {
  public:
    explicit ReplayAsker(const std::vector<std::optional<FirstCharAnswer>>& answers)
        : answers_(answers) {}
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        if (next_ >= answers_.size()) return std::nullopt;
        return answers_[next_++];
    }

  private:
    const std::vector<std::optional<FirstCharAnswer>>& answers_;
    std::size_t next_ = 0;
};

bool askYesNo(QWidget* parent, const QString& text, const RecoverFlowHooks& hooks) {
    return hooks.askYesNo ? hooks.askYesNo(parent, text) : yesNoBox(parent, text);
}

void showMessage(QWidget* parent, const QString& text, const RecoverFlowHooks& hooks) {
    if (hooks.showMessage)
        hooks.showMessage(parent, text);
    else
        messageBox(parent, text);
}

// The destination folder, asked again while the user wants another one than a folder on the
// scanned device, and while the folder cannot take the files (the user is told why, or asked
// when it only may not have room); empty when the user cancelled.
QString chooseDestination(QWidget* parent, const ScanContext& context, const QString& sourcePath,
                          std::uint64_t neededBytes, const RecoverFlowHooks& hooks) {
    while (true) {
        const QString folder = hooks.chooseFolder ? hooks.chooseFolder(parent)
                                                  : chooseFolderDialog(parent, hooks.startFolder);
        if (folder.isEmpty()) return folder;
        if (onScannedDevice(context, sourcePath, folder, hooks.probe) &&
            askYesNo(parent, kSameVolumeText, hooks))
            continue;
        const DestinationCheck check =
            checkDestination(folder.toStdString(), neededBytes, hooks.folderProbe);
        const auto chosen = [&] {
            if (hooks.chosenFolder != nullptr) *hooks.chosenFolder = folder;
            return folder;
        };
        if (check.verdict == DestinationVerdict::Usable) return chosen();
        const QString text = destinationText(folder, check);
        if (check.verdict == DestinationVerdict::MayNotHaveRoom) {
            if (!askYesNo(parent, text, hooks)) return chosen();
        } else {
            showMessage(parent, text, hooks);
        }
    }
}

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Runs the copy on a thread of its own while this thread keeps the window painted and shows a
// progress bar with Cancel once the copy has lasted a second.
std::vector<RecoveryOutcome> copyOffThread(QWidget* parent, ScanContext& context,
                                           const std::vector<const DeletedFileEntry*>& entries,
                                           RecoveryOptions options, FirstCharAsker& asker,
                                           const RecoverFlowHooks& hooks, bool& crashed,
                                           bool& cancelled) {
    std::uint64_t totalBytes = 0;
    for (const DeletedFileEntry* e : entries)
        totalBytes += e->size;
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> bytesDone{0};
    options.cancelled = [&cancel] { return cancel.load(); };
    options.copied = [&bytesDone](std::uint64_t n) { bytesDone += n; };

    QProgressDialog progress(QStringLiteral("Recovering %1 file(s) to\n%2")
                                 .arg(entries.size())
                                 .arg(QString::fromStdString(options.destination)),
                             QStringLiteral("Cancel"), 0, kProgressSteps, parent);
    progress.setWindowTitle(kProductTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(kProgressDelayMs);
    progress.setValue(0);  // starts the delay after which the bar shows
    QObject::connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel = true; });
    QTimer poll;
    poll.setInterval(kProgressPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const std::uint64_t done = bytesDone.load();
        const auto step = totalBytes == 0 ? 0 : done * kProgressSteps / totalBytes;
        if (!progress.wasCanceled())
            progress.setValue(static_cast<int>(std::min<std::uint64_t>(step, kProgressSteps)));
    });

    if (hooks.copyStarted) hooks.copyStarted([&cancel] { cancel = true; });
    WaitCursor waitCursor;
    std::vector<RecoveryOutcome> outcomes;
    bool finished = false;
    QObject finishedSignal;
    std::thread worker([&] {
        try {
            outcomes = recoverEntries(context, entries, options, asker);
        } catch (const std::exception&) {
            crashed = true;
        }
        QMetaObject::invokeMethod(
            &finishedSignal, [&finished] { finished = true; }, Qt::QueuedConnection);
    });
    poll.start();
    while (!finished) {
        // Until the progress window shows (and blocks the main window), input waits.
        QEventLoop::ProcessEventsFlags flags = QEventLoop::WaitForMoreEvents;
        if (!progress.isVisible()) flags |= QEventLoop::ExcludeUserInputEvents;
        QCoreApplication::processEvents(flags);
    }
    worker.join();
    cancelled = cancel.load();
    return outcomes;
}

QString summaryText(const std::vector<RecoveryOutcome>& outcomes, std::size_t selected,
                    const QString& folder, bool crashed, bool cancelRequested) {
    int written = 0, notWhole = 0, skipped = 0, failed = 0;
    bool cancelled = false;
    const RecoveryOutcome* firstFailure = nullptr;
    QStringList notWholeNames;
    for (const RecoveryOutcome& o : outcomes) {
        switch (o.result) {
            case RecoveryResult::Written:
                ++written;
                break;
            case RecoveryResult::NotWhole:
                ++written;
                ++notWhole;
                if (notWholeNames.size() < kNotWholeNamesShown)
                    notWholeNames << QFileInfo(QString::fromStdString(o.outputPath)).fileName();
                break;
            case RecoveryResult::NoFirstChar:
            case RecoveryResult::CannotOpenData:
            case RecoveryResult::NoFreeName:
                ++skipped;
                break;
            case RecoveryResult::CannotCreate:
            case RecoveryResult::WriteFailed:
                ++failed;
                if (!firstFailure) firstFailure = &o;
                break;
            case RecoveryResult::Cancelled:
                cancelled = true;
                break;
        }
    }
    QString text = QStringLiteral("%1 of %2 file(s) were recovered to\n%3")
                       .arg(written)
                       .arg(selected)
                       .arg(folder);
    if (notWhole != 0) {
        text += QStringLiteral(
                    "\n%1 of them are not whole: parts that could not be read "
                    "are zeros, or the end had no place on the volume:")
                    .arg(notWhole);
        for (const QString& name : notWholeNames)
            text += QStringLiteral("\n    ") + name;
        if (notWhole > notWholeNames.size())
            text += QStringLiteral("\n    and %1 more").arg(notWhole - notWholeNames.size());
    }
    if (skipped != 0)
        text += QStringLiteral(
                    "\n%1 file(s) were skipped (no first character given, no data on "
                    "the volume, or no free name in the folder).")
                    .arg(skipped);
    if (failed != 0)
        text += QStringLiteral("\n%1 file(s) could not be written: %2")
                    .arg(failed)
                    .arg(QString::fromStdString(describeOutcome(*firstFailure)));
    const std::size_t notTried = selected - std::min(selected, outcomes.size());
    if (cancelled)
        text += QStringLiteral(
                    "\nThe recovery was cancelled: the file being copied was not "
                    "kept, and %1 more file(s) were not tried.")
                    .arg(notTried);
    else if (cancelRequested && notTried != 0)
        text += QStringLiteral("\nThe recovery was cancelled: %1 file(s) were not tried.")
                    .arg(notTried);
    else if (notTried != 0 && !crashed)
        text += QStringLiteral("\nThe destination cannot take more: %1 file(s) were not tried.")
                    .arg(notTried);
    if (crashed) text += QStringLiteral("\nThe recovery stopped: there was not enough memory.");
    return text;
}

// Wide enough for the caption beside a title bar's icon and buttons (window managers draw it
// in a font of their own, often bold), within the screen's available width.
void fitCaption(QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int titleBar = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    const int frame = box.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &box);
    // The window's icon and three buttons, each about as wide as the title bar is high.
    int width =
        QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 4 * titleBar + 2 * frame;
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    if (screen) width = std::min(width, screen->availableGeometry().width() - 2 * frame);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    const QMargins margins = grid->contentsMargins();
    // QMessageBox sizes itself from its layout: a spacer as wide as the caption needs widens it.
    grid->addItem(new QSpacerItem(width - margins.left() - margins.right(), 0, QSizePolicy::Fixed,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// The closing summary: the information icon when every file was written whole, else the
// warning one; "Open Folder" shows the destination in the desktop's file manager.
void summaryBox(QWidget* parent, const QString& text, bool allWritten, const QString& folder,
                const RecoverFlowHooks& hooks) {
    QMessageBox box(allWritten ? QMessageBox::Information : QMessageBox::Warning, kProductTitle,
                    text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("recoverySummary"));
    QPushButton* open = box.addButton(QStringLiteral("&Open Folder"), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    fitCaption(box);
    box.exec();
    if (box.clickedButton() != open) return;
    const QUrl url = QUrl::fromLocalFile(folder);
    const bool opened = hooks.openUrl ? hooks.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened)
        showMessage(parent,
                    QStringLiteral("No file manager could open the folder. The recovered files "
                                   "are in\n%1")
                        .arg(folder),
                    hooks);
}

FirstCharFile firstCharFileOf(const DeletedFileEntry& e) {
    FirstCharFile file;
    file.folder = QString::fromStdString(e.folder);
    if (e.longName) file.longName = QString::fromStdString(*e.longName);
    file.size = e.size;
    return file;
}

}  // namespace

bool onScannedDevice(const ScanContext& context, const QString& sourcePath, const QString& folder,
                     const DeviceProbe& probe) {
    if (const auto device = sourceBlockDevice(context.volume, probe))
        return destinationOnSourceDevice(*device, folder.toStdString(), probe);
    return destinationOnSourceDevice(sourcePath.toStdString(), folder.toStdString(), probe);
}

std::vector<RecoveryOutcome> recoverSelected(QWidget* parent, ScanContext& context,
                                             const QString& sourcePath,
                                             const std::vector<const DeletedFileEntry*>& entries,
                                             bool longNames, bool keepFolders) {
    RecoverFlowHooks hooks;
    hooks.longNames = longNames;
    hooks.keepFolders = keepFolders;
    return recoverSelected(parent, context, sourcePath, entries, hooks);
}

std::vector<RecoveryOutcome> recoverSelected(QWidget* parent, ScanContext& context,
                                             const QString& sourcePath,
                                             const std::vector<const DeletedFileEntry*>& entries,
                                             const RecoverFlowHooks& hooks) {
    if (entries.empty()) return {};
    std::uint64_t neededBytes = 0;
    for (const DeletedFileEntry* e : entries)
        neededBytes = e->size > UINT64_MAX - neededBytes ? UINT64_MAX : neededBytes + e->size;
    const QString folder = chooseDestination(parent, context, sourcePath, neededBytes, hooks);
    if (folder.isEmpty()) return {};

    // The first characters are asked here, on this thread, before anything is copied.
    DialogFirstCharAsker dialogAsker(parent);
    RecordingAsker recording(hooks.firstCharAsker ? *hooks.firstCharAsker : dialogAsker);
    if (context.fileSystem && context.fileSystem->capabilities().namesLoseFirstChar) {
        FirstCharRule rule(recording);
        for (const DeletedFileEntry* e : entries) {
            dialogAsker.setFile(firstCharFileOf(*e));
            rule.resolve(outputNameOf(*e, hooks.longNames), e->firstChar);
        }
    }
    ReplayAsker replay(recording.answers);

    RecoveryOptions options;
    options.destination = folder.toStdString();
    options.chunkBytes = hooks.chunkBytes;
    options.longNames = hooks.longNames;
    options.keepFolders = hooks.keepFolders;
    // Always: the report of this recovery can be saved afterwards.
    options.hashes = true;
    bool crashed = false;
    bool cancelled = false;
    auto outcomes =
        copyOffThread(parent, context, entries, options, replay, hooks, crashed, cancelled);

    const QString text = summaryText(outcomes, entries.size(), folder, crashed, cancelled);
    const bool allWritten =
        !crashed && outcomes.size() == entries.size() &&
        std::all_of(outcomes.begin(), outcomes.end(),
                    [](const RecoveryOutcome& o) { return o.result == RecoveryResult::Written; });
    if (hooks.showMessage)
        hooks.showMessage(parent, text);
    else
        summaryBox(parent, text, allWritten, folder, hooks);
    return outcomes;
}

}  // namespace rekkon::ui
