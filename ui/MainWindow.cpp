#include "ui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <span>

#include "recovery/CarveMount.h"
#include "recovery/RecoveryReport.h"
#include "ui/AboutBox.h"
#include "ui/ChangeFolderDialog.h"
#include "ui/ContentSearchOffer.h"
#include "ui/ContentTypeText.h"
#include "ui/CutCellTips.h"
#include "ui/DeviceAccess.h"
#include "ui/DriveSelectDialog.h"
#include "ui/ElidedLabel.h"
#include "ui/FilterBar.h"
#include "ui/ManualPath.h"
#include "ui/ManualViewer.h"
#include "ui/OffThread.h"
#include "ui/PartitionPicker.h"
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
// the "Long Name" and "Folder" columns so that the six columns before them keep their room.
constexpr int kWindowWidth = 712 + 170 + 170;
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
    view_->setItemDelegate(new CutCellTips(view_));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSortingEnabled(false);
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the buttons; the arrow keys move within it.
    view_->setTabKeyNavigation(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    QHeaderView* header = view_->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(true);
    for (int column = 0; column < ResultsModel::kColumns; ++column)
        view_->setColumnWidth(column, scaledColumnWidth(column));
    // The long names are seen beside the 8.3 names they belong to, and the folder after them.
    header->moveSection(header->visualIndex(kLongNameColumn), kNameColumn + 1);
    header->moveSection(header->visualIndex(kFolderColumn), kNameColumn + 2);
    // The selection follows its entries through a sort; the arrow shows the order.
    connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
        model_->sortByColumn(column);
        if (model_->sortColumn() < 0) return;
        header->setSortIndicatorShown(true);
        header->setSortIndicator(model_->sortColumn(), model_->sortedAscending()
                                                           ? Qt::AscendingOrder
                                                           : Qt::DescendingOrder);
    });
    connect(model_, &QAbstractItemModel::modelReset, this,
            [header] { header->setSortIndicatorShown(false); });
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &MainWindow::showListMenu);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::showCounts);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &MainWindow::showCounts);
    connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::showCounts);

    // What the list's context menu and the Tools menu hold; their shortcuts work anywhere in the
    // window.
    const auto windowAction = [this](const QString& text, const QKeySequence& keys) {
        auto* action = new QAction(text, this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    longNamesAction_ = windowAction(QStringLiteral("Recover under long names"),
                                    QKeySequence(Qt::CTRL | Qt::Key_N));
    longNamesAction_->setCheckable(true);
    keepFoldersAction_ = windowAction(QStringLiteral("Recover into their folders"),
                                      QKeySequence(Qt::CTRL | Qt::Key_D));
    keepFoldersAction_->setCheckable(true);
    lostFoldersAction_ = windowAction(QStringLiteral("Search free space for lost folders"),
                                      QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(lostFoldersAction_, &QAction::triggered, this, &MainWindow::searchLostFolders);
    carveAction_ = windowAction(QStringLiteral("Search free space by content"),
                                QKeySequence(Qt::CTRL | Qt::Key_K));
    connect(carveAction_, &QAction::triggered, this, &MainWindow::searchByContent);
    saveReportAction_ = windowAction(QStringLiteral("Save recovery report..."), QKeySequence::Save);
    connect(saveReportAction_, &QAction::triggered, this, &MainWindow::saveReport);
    filterAction_ = windowAction(QStringLiteral("Filter the list"), QKeySequence::Find);
    manualAction_ = windowAction(QStringLiteral("Manual"), QKeySequence::HelpContents);
    connect(manualAction_, &QAction::triggered, this, &MainWindow::showManual);

    filterBar_ = new FilterBar(this);
    connect(filterBar_, &FilterBar::filterChanged, model_, &ResultsModel::setFilter);
    // Enter after typing goes to the list, its first row selected when none is.
    connect(filterBar_, &FilterBar::entered, this, [this] {
        view_->setFocus(Qt::OtherFocusReason);
        if (!view_->selectionModel()->hasSelection() && model_->rowCount() > 0) view_->selectRow(0);
    });
    connect(filterAction_, &QAction::triggered, this, [this] {
        filterBar_->textField()->setFocus(Qt::ShortcutFocusReason);
        filterBar_->textField()->selectAll();
    });

    status_ = new ElidedLabel(this);
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("countsLine"));
    counts_->setTextFormat(Qt::PlainText);
    counts_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    recoverButton_ = makeButton(QStringLiteral("&Rekkon"), this);
    changeFolderButton_ = makeButton(QStringLiteral("&Change Folder"), this);
    aboutButton_ = makeButton(QStringLiteral("&About"), this);
    toolsButton_ = makeButton(QStringLiteral("&Tools"), this);
    doneButton_ = makeButton(QStringLiteral("Done (ESC)"), this);
    recoverButton_->setDefault(true);
    // Nothing to recover until rows are selected.
    recoverButton_->setEnabled(false);
    toolsMenu_ = new QMenu(this);
    connect(toolsMenu_, &QMenu::aboutToShow, this, [this] {
        toolsMenu_->clear();
        fillMenu(*toolsMenu_, true);
    });
    toolsButton_->setMenu(toolsMenu_);
    connect(recoverButton_, &QPushButton::clicked, this, &MainWindow::recoverSelection);
    connect(changeFolderButton_, &QPushButton::clicked, this, &MainWindow::changeFolder);
    connect(aboutButton_, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(doneButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(counts_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(recoverButton_);
    buttons->addWidget(changeFolderButton_);
    buttons->addWidget(aboutButton_);
    buttons->addWidget(toolsButton_);
    buttons->addStretch(1);
    buttons->addWidget(doneButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filterBar_);
    layout->addWidget(makePreviewSplitter(), 1);
    layout->addLayout(statusRow);
    layout->addLayout(buttons);

    // Tab goes down the window: filter, list, then the buttons from left to right.
    setTabOrder(filterBar_->textField(), filterBar_->statusChoice());
    setTabOrder(filterBar_->statusChoice(), view_);
    setTabOrder(view_, preview_->textView());
    setTabOrder(preview_->textView(), recoverButton_);
    setTabOrder(recoverButton_, changeFolderButton_);
    setTabOrder(changeFolderButton_, aboutButton_);
    setTabOrder(aboutButton_, toolsButton_);
    setTabOrder(toolsButton_, doneButton_);
    view_->setFocus();

    progress_ = new ProgressWindow(this);
    restoreSettings();
    showCounts();
}

MainWindow::~MainWindow() {
    saveSettings();
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
        return volumePath_ + QStringLiteral(" (searched by content)");
    QString folder = QString::fromStdString(context_->scanTarget);
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!folder.startsWith(QLatin1Char('\\'))) folder.prepend(QLatin1Char('\\'));
    return volumePath_ + QLatin1Char(':') + folder;
}

void MainWindow::nameVolume(const std::optional<int>& partition,
                            const std::string& fileSystemName) {
    volumePath_ = sourcePath_;
    volumeSuffix_.clear();
    if (!partition) return;
    // A partition of a device is a device of its own; one of an image is named after it.
    const QString name = partitionName(sourcePath_, *partition);
    const QFileInfo source(sourcePath_);
    volumePath_ = sourcePath_.startsWith(QStringLiteral("/dev/"))
                      ? QStringLiteral("/dev/") + name
                      : QDir(source.path()).filePath(name);
    if (!fileSystemName.empty())
        volumeSuffix_ = QStringLiteral(" (%1)").arg(QString::fromStdString(fileSystemName));
}

void MainWindow::showTitle() {
    if (!mounted_) {
        setWindowTitle(kProductTitle);
        return;
    }
    // Short: the file's or device's name, and the folder where one was chosen.
    QString what = volumePath_.startsWith(QStringLiteral("/dev/"))
                       ? volumePath_
                       : QFileInfo(volumePath_).fileName();
    what += volumeSuffix_;
    if (canChooseFolders() && !searchedRawOnly(*context_)) {
        const QString target = scanTarget();
        const QString folder = target.mid(volumePath_.size() + 1);
        if (folder != QStringLiteral("\\")) what += QLatin1Char(':') + folder;
    }
    setWindowTitle(what + QStringLiteral(" \u2014 ") + kProductTitle);
}

void MainWindow::showCounts() {
    const QModelIndexList rows = view_->selectionModel() != nullptr
                                     ? view_->selectionModel()->selectedRows()
                                     : QModelIndexList();
    std::uint64_t bytes = 0;
    for (const QModelIndex& index : rows)
        if (const auto at = model_->indexAt(index.row())) bytes += model_->list()->fileSize(*at);
    recoverButton_->setEnabled(mounted_ && !rows.isEmpty());
    const int found = model_->foundCount();
    counts_->setText(
        found == 0 ? QString()
                   : countsText(model_->rowCount(), found, static_cast<int>(rows.size()), bytes));
}

bool MainWindow::openSource(const QString& sourcePath, const QString& folder,
                            const SourceOpener& open) {
    stopPreview();
    if (mounted_) unmountVolume(*context_);
    mounted_ = false;
    searchingContent_ = false;
    sourcePath_ = sourcePath;
    nameVolume({}, {});
    showTitle();
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
    nameVolume(volume.partition, volume.fileSystemName);
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
    showTitle();
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
    view_->setFocus();
    fitContentColumns();
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
    nameVolume(dialog.partition(), dialog.fileSystemName());
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
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    std::vector<DeletedFileEntry> chosen;
    chosen.reserve(static_cast<std::size_t>(rows.size()));
    for (const QModelIndex& index : rows)
        if (auto entry = model_->entryAt(index.row())) chosen.push_back(std::move(*entry));
    std::vector<const DeletedFileEntry*> entries;
    entries.reserve(chosen.size());
    for (const DeletedFileEntry& entry : chosen)
        entries.push_back(&entry);
    RecoverFlowHooks flow;
    flow.longNames = recoverUnderLongNames();
    flow.keepFolders = recoverIntoFolders();
    // The chooser opens where the last recovery went.
    flow.startFolder = lastDestination_;
    flow.chosenFolder = &lastDestination_;
    const std::vector<RecoveryOutcome> outcomes =
        hooks_.recover ? hooks_.recover(this, *context_, sourcePath_, entries)
                       : recoverSelected(this, *context_, sourcePath_, entries, flow);
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
    const QString path = manualPath();
    if (!QFileInfo(path).isFile()) {
        warn(manualMissingMessage(path));
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = hooks_.openUrl ? hooks_.openUrl(url) : QDesktopServices::openUrl(url);
    if (opened) return;
    // No browser: the manual is shown in the program's own viewer.
    if (hooks_.showManualInside) {
        hooks_.showManualInside(this, url);
        return;
    }
    auto* viewer = new ManualViewer(url, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
}

void MainWindow::showAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::fillMenu(QMenu& menu, bool withManual) {
    // Only where the file system has a lost-folder search, and names with long forms.
    const FileSystemCapabilities can = capabilities();
    if (withManual) {
        menu.addAction(filterAction_);
        menu.addAction(previewAction_);
        menu.addSeparator();
    } else {
        menu.addAction(QStringLiteral("&About Kesmo Rekkon..."), this, &MainWindow::showAbout);
        menu.addSeparator();
    }
    lostFoldersAction_->setEnabled(can.lostFolderSearch);
    menu.addAction(lostFoldersAction_);
    carveAction_->setEnabled(mounted_);
    menu.addAction(carveAction_);
    menu.addSeparator();
    longNamesAction_->setEnabled(can.longNames);
    menu.addAction(longNamesAction_);
    menu.addAction(keepFoldersAction_);
    menu.addSeparator();
    saveReportAction_->setEnabled(!report_.empty());
    menu.addAction(saveReportAction_);
    if (withManual) {
        menu.addSeparator();
        menu.addAction(manualAction_);
        menu.addAction(QStringLiteral("&About Kesmo Rekkon..."), this, &MainWindow::showAbout);
    }
}

void MainWindow::showListMenu(const QPoint& pos) {
    QMenu menu(this);
    fillMenu(menu, false);
    menu.exec(view_->viewport()->mapToGlobal(pos));
}

void MainWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The list has the keys first (arrows, Enter); Ctrl+F or Tab backwards reach the filter.
    if (filterBar_->textField()->text().isEmpty()) view_->setFocus(Qt::ActiveWindowFocusReason);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveSettings();
    QDialog::closeEvent(event);
}

void MainWindow::done(int result) {
    saveSettings();
    QDialog::done(result);
}

}  // namespace rekkon::ui
