#include "ui/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "recovery/CarveMount.h"
#include "recovery/RecoveryReport.h"
#include "ui/AboutBox.h"
#include "ui/ChangeFolderDialog.h"
#include "ui/ContentSearchOffer.h"
#include "ui/DeviceAccess.h"
#include "ui/DriveSelectDialog.h"
#include "ui/ManualPath.h"
#include "ui/OffThread.h"
#include "ui/PreviewPane.h"
#include "ui/ProgressWindow.h"
#include "ui/RecoverFlow.h"
#include "ui/ReportSave.h"
#include "ui/ResultsModel.h"
#include "ui/SortRules.h"
#include "ui/Texts.h"
#include "volume/EwfSectorDevice.h"
#include "volume/SharedSectorDevice.h"

namespace rekkon::ui {

namespace {

// The window's size in pixels: 475 x 191 dialog units at 1.5 x 1.625 pixels each, widened by
// the "Long Name" column so that the six columns before it keep their room.
constexpr int kWindowWidth = 712 + 170;
constexpr int kWindowHeight = 310;
// The buttons: 61 x 14 dialog units.
constexpr int kButtonWidth = 92;
constexpr int kButtonHeight = 23;

QPushButton* makeButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setMinimumSize(kButtonWidth, kButtonHeight);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

QString nothingFoundMessage(const QString& scanTarget) {
    return QStringLiteral("Could not find deleted files located in \"%1\"").arg(scanTarget);
}

QString nothingCarvedMessage(const QString& sourcePath) {
    return QStringLiteral("No file of a known format was found in \"%1\".").arg(sourcePath);
}

QString openFailedText(const QString& sourcePath, int error) {
    if (const auto problem = evidenceOpenProblem(sourcePath.toStdString()))
        return QStringLiteral("\"%1\" cannot be opened: %2.")
            .arg(sourcePath, QString::fromStdString(*problem));
    QString what = QString::fromLocal8Bit(std::strerror(error));
    QString advice = QStringLiteral("Check the path.");
    if (error == EACCES || error == EPERM)
        advice = QStringLiteral(
            "Reading a disk or partition directly usually needs administrator rights: start the "
            "program as root, or make a disk image of it and open that.");
    else if (error == EISDIR)
        advice = QStringLiteral(
            "This is a folder, not a device or disk image: choose a drive, or a disk-image file.");
    return QStringLiteral("\"%1\" cannot be opened: %2.\n%3").arg(sourcePath, what, advice);
}

QString openFailedMessage(const QString& sourcePath, int error) {
    return QStringLiteral("Error of Initialization volume\n\n") + openFailedText(sourcePath, error);
}

QString notRecognisedMessage(const QString& sourcePath) {
    return QStringLiteral(
               "Error of Initialization volume\n\n\"%1\" holds no FAT, exFAT or NTFS volume that "
               "can be read, nor a partition table that leads to one. Check that this is the "
               "disk, partition or image you meant.")
        .arg(sourcePath);
}

QString unreadableSectorsText(std::uint64_t sectors) {
    return QStringLiteral(
               "%1 of the source could not be read: files stored there are incomplete, and "
               "deleted files recorded there may be missing.")
        .arg(sectors == 1 ? QStringLiteral("1 sector") : QStringLiteral("%1 sectors").arg(sectors));
}

QString foldersNotEnteredText(std::uint64_t folders, int depthLimit) {
    return QStringLiteral(
               "%1 deeper than %2 levels: the deleted files in them are not listed. Choose a "
               "folder further down to reach them.")
        .arg(folders == 1 ? QStringLiteral("1 folder lies")
                          : QStringLiteral("%1 folders lie").arg(folders))
        .arg(depthLimit);
}

QString cancelledBeforeAnyFileMessage() {
    return QStringLiteral("The search was cancelled before any deleted file was found.");
}

QString foundStatusText(const QString& scanTarget, int found, std::uint64_t unreadableSectors,
                        std::uint64_t foldersNotEntered, bool cancelled) {
    QString text = QStringLiteral("On %1 found  %2 deleted files").arg(scanTarget).arg(found);
    if (cancelled) text += QStringLiteral("  (search cancelled: the list is incomplete)");
    if (unreadableSectors != 0)
        text +=
            QStringLiteral("  (%1 could not be read)")
                .arg(unreadableSectors == 1 ? QStringLiteral("1 sector")
                                            : QStringLiteral("%1 sectors").arg(unreadableSectors));
    if (foldersNotEntered != 0)
        text +=
            QStringLiteral("  (%1 too deep to enter)")
                .arg(foldersNotEntered == 1 ? QStringLiteral("1 folder")
                                            : QStringLiteral("%1 folders").arg(foldersNotEntered));
    return text;
}

MainWindow::MainWindow(MainWindowHooks hooks, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)), context_(std::make_unique<ScanContext>()) {
    setWindowTitle(kProductTitle);
    setWindowIcon(QIcon(QStringLiteral(":/rekkon.svg")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // The sizes suit the narrow 8-point dialog font, in which a time text is 122 pixels wide; a
    // wider font widens them alike, so the times are not cut.
    fontScale_ = std::max(
        1.0, fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 at 00:00:00")) / 122.0);
    resize(static_cast<int>(kWindowWidth * fontScale_), kWindowHeight);

    model_ = new ResultsModel(this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSortingEnabled(false);
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    view_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->horizontalHeader()->setSectionsClickable(true);
    for (int column = 0; column < ResultsModel::kColumns; ++column)
        view_->setColumnWidth(column, scaledColumnWidth(column));
    // The long names are seen beside the 8.3 names they belong to.
    view_->horizontalHeader()->moveSection(kLongNameColumn, kNameColumn + 1);
    // The selection follows its entries through a sort.
    connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, model_,
            &ResultsModel::sortByColumn);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &MainWindow::showListMenu);
    longNamesAction_ = new QAction(QStringLiteral("Recover under long names"), this);
    longNamesAction_->setCheckable(true);
    keepFoldersAction_ = new QAction(QStringLiteral("Recover into their folders"), this);
    keepFoldersAction_->setCheckable(true);
    lostFoldersAction_ = new QAction(QStringLiteral("Search free space for lost folders"), this);
    connect(lostFoldersAction_, &QAction::triggered, this, &MainWindow::searchLostFolders);
    carveAction_ = new QAction(QStringLiteral("Search free space by content"), this);
    connect(carveAction_, &QAction::triggered, this, &MainWindow::searchByContent);
    saveReportAction_ = new QAction(QStringLiteral("Save recovery report..."), this);
    connect(saveReportAction_, &QAction::triggered, this, &MainWindow::saveReport);

    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);

    recoverButton_ = makeButton(QStringLiteral("&Rekkon"), this);
    changeFolderButton_ = makeButton(QStringLiteral("&Change Folder"), this);
    aboutButton_ = makeButton(QStringLiteral("&About"), this);
    doneButton_ = makeButton(QStringLiteral("Done (ESC)"), this);
    recoverButton_->setDefault(true);
    connect(recoverButton_, &QPushButton::clicked, this, &MainWindow::recoverSelection);
    connect(changeFolderButton_, &QPushButton::clicked, this, &MainWindow::changeFolder);
    connect(aboutButton_, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(doneButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(recoverButton_);
    buttons->addWidget(changeFolderButton_);
    buttons->addWidget(aboutButton_);
    buttons->addStretch(1);
    buttons->addWidget(doneButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makePreviewSplitter(), 1);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    auto* help = new QShortcut(QKeySequence(QKeySequence::HelpContents), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &MainWindow::showManual);

    progress_ = new ProgressWindow(this);
}

MainWindow::~MainWindow() {
    stopPreview();
    if (mounted_) unmountVolume(*context_);
}

bool MainWindow::askSearchByContent(const QString& text) {
    if (hooks_.askSearchByContent) return hooks_.askSearchByContent(this, text);
    return askSearchByContentBox(this, text);
}

void MainWindow::warn(const QString& text) {
    if (hooks_.warn) {
        hooks_.warn(this, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, kProductTitle, text, QMessageBox::Ok, this);
    box.exec();
}

bool MainWindow::recoverUnderLongNames() const {
    return longNamesAction_->isChecked();
}

bool MainWindow::recoverIntoFolders() const {
    return keepFoldersAction_->isChecked();
}

QString MainWindow::scanTarget() const {
    if (mounted_ && searchedRawOnly(*context_))
        return sourcePath_ + QStringLiteral(" (searched by content)");
    QString folder = QString::fromStdString(context_->scanTarget);
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!folder.startsWith(QLatin1Char('\\'))) folder.prepend(QLatin1Char('\\'));
    return sourcePath_ + QLatin1Char(':') + folder;
}

bool MainWindow::openSource(const QString& sourcePath, const QString& folder,
                            const SourceOpener& open) {
    stopPreview();
    if (mounted_) unmountVolume(*context_);
    mounted_ = false;
    searchingContent_ = false;
    sourcePath_ = sourcePath;
    // Devices the user may not read are opened through UDisks2, which says why when it cannot.
    QString accessMessage;
    const SourceOpener opener = open ? open : DeviceAccess{}.opener(&accessMessage);
    const SourceSelector select = hooks_.selectSource
                                      ? hooks_.selectSource
                                      : selectOffUiThread([this, sourcePath](bool busy) {
                                            setEnabled(!busy);
                                            if (busy)
                                                progress_->start(sourcePath);
                                            else
                                                progress_->stop();
                                        });
    VolumeChoice volume = chooseVolume(this, sourcePath, opener, hooks_.askPartition, select);
    // A disk whose table leads to no volume: all of it can be searched by content.
    const bool wholeDisk = !volume.device && volume.noVolumePartition && accessMessage.isEmpty();
    if (wholeDisk) {
        if (!askSearchByContent(volume.message + QStringLiteral("\n\n") + wholeSourceOfferText()))
            return false;
        int error = 0;
        volume.device = opener(sourcePath.toStdString(), error);
        volume.message = openFailedMessage(sourcePath, error != 0 ? error : EIO);
    }
    if (!volume.device) {
        if (!accessMessage.isEmpty())
            warn(QStringLiteral("Error of Initialization volume\n\n") + accessMessage);
        else if (!volume.message.isEmpty())
            warn(volume.message);
        return false;
    }
    volumeOffset_ = volume.volumeOffset;
    progress_->start(sourcePath);
    MountStatus status = MountStatus::NotRecognised;
    // Kept open past a failed mount, for a search by content.
    const std::shared_ptr<SectorDevice> source = std::move(volume.device);
    if (!wholeDisk) {
        setEnabled(false);
        runOffUiThread([&] {
            status = mountVolume(*context_, std::make_unique<SharedSectorDevice>(source),
                                 volume.mountOrder());
        });
        setEnabled(true);
        if (status != MountStatus::Mounted) {
            progress_->stop();
            if (!askSearchByContent(mountFailedMessage(sourcePath, volume.unreadFileSystem) +
                                    QStringLiteral("\n\n") + wholeSourceOfferText()))
                return false;
        }
    }
    if (status != MountStatus::Mounted)
        mountForCarving(*context_, std::make_unique<SharedSectorDevice>(source), {}, {}, true);
    mounted_ = true;
    searchingContent_ = status != MountStatus::Mounted;
    fitToFileSystem();
    // A file system without choosable folders is scanned whole: a folder given is not used.
    return scanAndFill(canChooseFolders() ? folder.toStdString() : std::string());
}

bool MainWindow::scanAndFill(const std::string& folder, bool deep) {
    stopPreview();
    folder_ = folder;
    progress_->start(sourcePath_);
    model_->setEntries(nullptr);
    ProgressWindow* progress = progress_;
    context_->progress = [progress](const std::string& text) {
        progress->setText(QString::fromStdString(text));
    };
    int found = 0;
    setEnabled(false);
    // The strip's Cancel stays usable: the scan stops at its next check and keeps what it found.
    progress_->setEnabled(true);
    progress_->offerCancel();
    ScanCancel& cancel = context_->cancel;
    const QMetaObject::Connection cancelling =
        connect(progress_, &ProgressWindow::cancelRequested, this, [&cancel] { cancel.request(); });
    runOffUiThread([&] { found = scanVolume(*context_, folder, {}, ScanOptions{.deep = deep}); });
    disconnect(cancelling);
    setEnabled(true);
    context_->progress = nullptr;
    if (found == kScanFolderNotFound) context_->scanTarget = folder;
    if (found <= 0 || context_->foundList.empty()) {
        progress_->stop();
        raise();
        const bool cancelled = context_->lastScan.cancelled;
        QString text = cancelled                    ? cancelledBeforeAnyFileMessage()
                       : searchedRawOnly(*context_) ? nothingCarvedMessage(sourcePath_)
                                                    : nothingFoundMessage(scanTarget());
        if (const auto sectors = context_->volume.reader.unreadableSectors(); sectors != 0)
            text += QStringLiteral("\n\n") + unreadableSectorsText(sectors);
        if (const ScanOutcome& scan = context_->lastScan; scan.foldersNotEntered != 0)
            text += QStringLiteral("\n\n") +
                    foldersNotEnteredText(scan.foldersNotEntered, scan.folderDepthLimit);
        // Nothing deleted on the whole volume: it may have been formatted since.
        const bool wholeVolume = folder.empty() || folder == "\\" || folder == "/";
        if (found == 0 && !cancelled && wholeVolume && !searchingContent_) {
            if (!askSearchByContent(text + QStringLiteral("\n\n") + freeSpaceOfferText()))
                return false;
            searchByContent();
            return !context_->foundList.empty();
        }
        warn(text);
        return false;
    }
    model_->setEntries(&context_->foundList);
    if (searchingContent_) fitContentColumns();
    showFoundStatus();
    progress_->stop();
    return true;
}

bool MainWindow::openFromDriveDialog(const DriveSelectHooks& driveHooks) {
    stopPreview();
    if (mounted_) unmountVolume(*context_);
    mounted_ = false;
    searchingContent_ = false;
    DriveSelectDialog dialog(*context_, driveHooks);
    if (dialog.exec() != QDialog::Accepted) return false;
    mounted_ = true;
    searchingContent_ = searchedRawOnly(*context_);
    sourcePath_ = dialog.sourcePath();
    volumeOffset_ = dialog.volumeOffset();
    fitToFileSystem();
    if (!canChooseFolders()) return scanAndFill(std::string());
    const std::optional<std::string> folder = askFolder();
    return folder && scanAndFill(*folder);
}

std::optional<std::string> MainWindow::askFolder() {
    raise();
    if (hooks_.chooseFolder) return hooks_.chooseFolder(this, *context_);
    return ChangeFolderDialog::chooseFolder(this, *context_, sourcePath_ + QStringLiteral(":\\"));
}

FileSystemCapabilities MainWindow::capabilities() const {
    if (!mounted_ || !context_->fileSystem) return {};
    return context_->fileSystem->capabilities();
}

bool MainWindow::canChooseFolders() const {
    return capabilities().foldersChoosable;
}

int MainWindow::scaledColumnWidth(int column) const {
    return static_cast<int>(ResultsModel::columnWidth(column) * fontScale_);
}

void MainWindow::fitToFileSystem() {
    const FileSystemCapabilities can = capabilities();
    changeFolderButton_->setEnabled(can.foldersChoosable);
    // Where a file has one whole name (NTFS, exFAT) there is no Long Name column: File Name
    // takes its room, so long names are seen as far as they can be.
    view_->setColumnHidden(kLongNameColumn, !can.longNames);
    view_->setColumnWidth(
        kNameColumn,
        scaledColumnWidth(kNameColumn) + (can.longNames ? 0 : scaledColumnWidth(kLongNameColumn)));
}

void MainWindow::fitContentColumns() {
    // Files found by their content have longer names (a photo's date and camera) and types (a
    // format's description) than the columns leave room for; they widen, within bounds.
    // They have no long names: the column shows only where a listed entry has one.
    const bool longNames =
        capabilities().longNames &&
        std::any_of(context_->foundList.begin(), context_->foundList.end(),
                    [](const DeletedFileEntry& e) { return e.longName.has_value(); });
    view_->setColumnHidden(kLongNameColumn, !longNames);
    const QAbstractItemView* view = view_;  // where the measure is public
    for (const int column : {kNameColumn, kTypeColumn}) {
        const int wanted =
            std::min(view->sizeHintForColumn(column) + 8, 2 * scaledColumnWidth(kNameColumn));
        if (wanted > view_->columnWidth(column)) view_->setColumnWidth(column, wanted);
    }
}

void MainWindow::showFoundStatus() {
    const std::uint64_t sectors = context_->volume.reader.unreadableSectors();
    const std::uint64_t folders = context_->lastScan.foldersNotEntered;
    const bool cancelled = context_->lastScan.cancelled;
    QString text = foundStatusText(scanTarget(), model_->rowCount(), sectors, folders, cancelled);
    // A search of the whole source says so in the scan target.
    if (searchingContent_ && !searchedRawOnly(*context_))
        text += QStringLiteral("  (free space searched by content)");
    status_->setText(text);
    QStringList tips;
    if (cancelled)
        tips << QStringLiteral(
            "The search was cancelled: deleted files it had not reached yet are not listed. "
            "Search again to list them all.");
    if (sectors != 0) tips << unreadableSectorsText(sectors);
    if (folders != 0) tips << foldersNotEnteredText(folders, context_->lastScan.folderDepthLimit);
    status_->setToolTip(tips.join(QStringLiteral("\n")));
}

void MainWindow::changeFolder() {
    if (!canChooseFolders()) return;
    // The folder chooser reads the volume.
    stopPreview();
    if (const std::optional<std::string> folder = askFolder())
        scanAndFill(*folder);
    else
        updatePreview();
}

void MainWindow::recoverSelection() {
    if (!mounted_) return;
    stopPreview();
    std::vector<const DeletedFileEntry*> entries;
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    for (const QModelIndex& index : rows)
        if (const DeletedFileEntry* entry = model_->entryAt(index.row())) entries.push_back(entry);
    const std::vector<RecoveryOutcome> outcomes =
        hooks_.recover ? hooks_.recover(this, *context_, sourcePath_, entries)
                       : recoverSelected(this, *context_, sourcePath_, entries,
                                         recoverUnderLongNames(), recoverIntoFolders());
    // Built now: the outcomes point into the found list, which the next scan replaces.
    if (!outcomes.empty()) {
        const std::span<const DeletedFileEntry* const> notTried =
            std::span(entries).subspan(std::min(outcomes.size(), entries.size()));
        report_ =
            recoveryReportJson({sourcePath_.toStdString(), volumeOffset_}, outcomes, notTried);
    }
    // Copying may have met more sectors that cannot be read.
    showFoundStatus();
    updatePreview();
}

void MainWindow::searchLostFolders() {
    if (!mounted_ || !capabilities().lostFolderSearch) return;
    scanAndFill(folder_, true);
}

void MainWindow::searchByContent() {
    if (!mounted_ || !context_->fileSystem) return;
    stopPreview();
    searchContentToo(*context_);
    searchingContent_ = true;
    // Free space belongs to the whole volume.
    scanAndFill(std::string(), capabilities().lostFolderSearch);
}

void MainWindow::saveReport() {
    if (report_.empty()) return;
    const QString path =
        hooks_.chooseReportFile
            ? hooks_.chooseReportFile(this)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Save recovery report"), QString(),
                                           QStringLiteral("JSON files (*.json);;All files (*)"),
                                           nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return;
    // Never onto the device being scanned, where it could overwrite deleted data.
    if (mounted_ && onScannedDevice(*context_, sourcePath_, QFileInfo(path).absolutePath())) {
        warn(reportOnScannedDeviceMessage(path, sourcePath_));
        return;
    }
    if (const QString problem = saveReportFile(path, report_); !problem.isEmpty()) warn(problem);
}

void MainWindow::showManual() {
    const QUrl url = QUrl::fromLocalFile(manualPath());
    if (hooks_.openUrl)
        hooks_.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

void MainWindow::showAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::showListMenu(const QPoint& pos) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("&About Kesmo Rekkon..."), this, &MainWindow::showAbout);
    menu.addSeparator();
    // Only where the file system has a lost-folder search, and names with long forms.
    const FileSystemCapabilities can = capabilities();
    lostFoldersAction_->setEnabled(can.lostFolderSearch);
    menu.addAction(lostFoldersAction_);
    menu.addAction(carveAction_);
    menu.addSeparator();
    longNamesAction_->setEnabled(can.longNames);
    menu.addAction(longNamesAction_);
    menu.addAction(keepFoldersAction_);
    menu.addSeparator();
    saveReportAction_->setEnabled(!report_.empty());
    menu.addAction(saveReportAction_);
    menu.exec(view_->viewport()->mapToGlobal(pos));
}

QWidget* MainWindow::makePreviewSplitter() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    preview_ = new PreviewPane(splitter);
    preview_->hide();
    splitter->addWidget(view_);
    splitter->addWidget(preview_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    previewAction_ = new QAction(QStringLiteral("Show &Preview"), this);
    previewAction_->setCheckable(true);
    previewAction_->setShortcut(QKeySequence(Qt::Key_F3));
    previewAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(previewAction_);
    connect(previewAction_, &QAction::toggled, this, [this](bool on) {
        if (!on) {
            // Hidden, it reads nothing.
            preview_->showSelectionHint(0);
            preview_->stopReading();
        }
        preview_->setVisible(on);
        updatePreview();
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::updatePreview);
    // A refilled list's entries are new: what the pane shows belongs to the old one.
    connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::updatePreview);
    return splitter;
}

void MainWindow::updatePreview() {
    if (!previewAction_->isChecked()) return;
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    const DeletedFileEntry* entry =
        mounted_ && rows.size() == 1 ? model_->entryAt(rows.first().row()) : nullptr;
    if (entry)
        preview_->showEntry(*context_, *entry);
    else
        preview_->showSelectionHint(static_cast<int>(rows.size()));
}

void MainWindow::stopPreview() {
    preview_->stopReading();
}

}  // namespace rekkon::ui
