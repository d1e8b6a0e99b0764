#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recovery/RecoveryWriter.h"
#include "recovery/ScanContext.h"
#include "ui/MainWindowTexts.h"
#include "ui/VolumeChoice.h"

class QAction;
class QCloseEvent;
class QShowEvent;
class QLabel;
class QMenu;
class QPushButton;
class QSettings;
class QTableView;
class QUrl;

namespace rekkon::ui {

class FilterBar;
class PreviewPane;
class ProgressWindow;
class ResultsModel;
struct DriveSelectHooks;

// What the main window does through the desktop; each one left empty does the real thing.
// Tests fill them in to answer without showing a modal window.
struct MainWindowHooks {
    // A warning box with the product title as caption.
    std::function<void(QWidget* parent, const QString& text)> warn;
    // Opens a document (the manual) with the desktop's browser; false when nothing opened it
    // (the manual is then shown in the program's own viewer).
    std::function<bool(const QUrl& url)> openUrl;
    // Shows the manual in the program's own viewer (ManualViewer).
    std::function<void(QWidget* parent, const QUrl& url)> showManualInside;
    // The settings the window remembers between runs (QSettings of the program by default).
    std::function<std::unique_ptr<QSettings>()> openSettings;
    // The folder of the mounted FAT or exFAT volume to scan next, as the scan names it; nullopt:
    // cancelled.
    std::function<std::optional<std::string>(QWidget* parent, ScanContext& context)> chooseFolder;
    // Recovers the chosen entries (the "&Rekkon" button) and gives the outcome of every entry
    // tried; the window passed in tells whether they go under their long names
    // (MainWindow::recoverUnderLongNames) and into their folders (recoverIntoFolders).
    std::function<std::vector<RecoveryOutcome>(QWidget* parent, ScanContext& context,
                                               const QString& sourcePath,
                                               const std::vector<const DeletedFileEntry*>& entries)>
        recover;
    // The name of the new file to save the recovery report in; empty: cancelled.
    std::function<QString(QWidget* parent)> chooseReportFile;
    // Asks which partition of a disk with several FAT, exFAT or NTFS partitions to scan
    // (PartitionPicker).
    PartitionAsker askPartition;
    // Opens a source and picks its volume (selectSource).
    SourceSelector selectSource;
    // Asks whether to search by content (`text`: what happened, then the offer); true: search.
    std::function<bool(QWidget* parent, const QString& text)> askSearchByContent;
};

// The main window: the results list, the status line and the buttons "&Rekkon", "&Change
// Folder", "&About" and "Done (ESC)". It owns the mounted volume and its found-file list.
class MainWindow : public QDialog {
    Q_OBJECT

  public:
    explicit MainWindow(MainWindowHooks hooks = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Mounts `sourcePath` and scans `folder` of it (FAT and exFAT; NTFS is scanned whole), showing
    // the progress window meanwhile. On a disk the FAT, exFAT or NTFS partition is used, asked for
    // when there are several. `open` opens the source; by default a device the user may not read is
    // opened through UDisks2. A failure is reported in a message box; returns true when the list
    // holds found files. Where no volume mounts, the message offers to search the whole source by
    // content, and does so when accepted.
    bool openSource(const QString& sourcePath, const QString& folder = {},
                    const SourceOpener& open = {});
    // Scans `folder` of the mounted volume off the user-interface thread and fills the list;
    // reports "Could not find deleted files located in ..." when nothing is found (the list is
    // then empty and the status line keeps its text). Returns true when something was found.
    // When a whole volume's scan finds nothing, the message offers to search its free space by
    // content, and does so when accepted.
    // `deep` (FAT, exFAT): the free clusters are searched for lost folders too, and their files
    // follow.
    bool scanAndFill(const std::string& folder, bool deep = false);
    // No source given: the drive dialog mounts one; then NTFS is scanned whole (Change Folder
    // disabled), while on FAT and exFAT the user first picks the folder to scan. Returns true when
    // the list holds found files; false when the dialog or the folder choice was cancelled or
    // nothing was found (after the message).
    bool openFromDriveDialog(const DriveSelectHooks& driveHooks);

    // "&Change Folder": asks for another folder of the FAT or exFAT volume and scans it.
    void changeFolder();
    // "&Rekkon": recovers the selected rows' files.
    void recoverSelection();
    // "Search free space for lost folders" (FAT): scans the folder of the last scan again,
    // with the files of lost folders added. Later scans are normal ones again.
    void searchLostFolders();
    // Searches the volume's free space (or, with no file system, the whole source) by content as
    // well, from then on, and lists what the whole volume's scan finds with it.
    void searchByContent();
    // "Save recovery report...": asks for a new file and writes the report of the last
    // recovery into it; an existing file is refused.
    void saveReport();
    // F1: the manual beside the program, in the desktop's browser or else in the program's own
    // viewer; a message names the path when the manual is missing.
    void showManual();
    void showAbout();

    // "Recover under long names" in the list's context menu (off at first): the next
    // recoveries write FAT files under their long names where known.
    bool recoverUnderLongNames() const;
    QAction* longNamesAction() const { return longNamesAction_; }
    // "Recover into their folders" (off at first): the next recoveries recreate each file's
    // folder path below the destination.
    bool recoverIntoFolders() const;
    QAction* keepFoldersAction() const { return keepFoldersAction_; }
    QAction* lostFoldersAction() const { return lostFoldersAction_; }
    QAction* carveAction() const { return carveAction_; }
    QAction* saveReportAction() const { return saveReportAction_; }
    // Ctrl+F: puts the focus in the filter line.
    QAction* filterAction() const { return filterAction_; }
    // The "&Tools" button's menu: what the list's context menu holds, and the manual.
    QPushButton* toolsButton() const { return toolsButton_; }
    QMenu* toolsMenu() const { return toolsMenu_; }
    FilterBar* filterBar() const { return filterBar_; }
    // The counts of the list: shown, found, selected and the selected files' size.
    QLabel* countsLine() const { return counts_; }
    // The JSON report of the last recovery, built when it ended (the found list it describes
    // is replaced by the next scan); empty before the first.
    const std::string& lastReport() const { return report_; }

    // The folder the last recovery went to, remembered between runs; the folder chooser opens
    // there.
    const QString& lastDestination() const { return lastDestination_; }
    // The scan target the status line and messages quote: SOURCE:\FOLDER, where SOURCE names the
    // partition of a disk ("/dev/sdb2", "disk.img partition 5").
    QString scanTarget() const;
    bool mounted() const { return mounted_; }

    ScanContext& context() { return *context_; }
    QTableView* resultsView() const { return view_; }
    ResultsModel* resultsModel() const { return model_; }
    QLabel* statusLine() const { return status_; }
    QPushButton* recoverButton() const { return recoverButton_; }
    QPushButton* changeFolderButton() const { return changeFolderButton_; }
    QPushButton* aboutButton() const { return aboutButton_; }
    QPushButton* doneButton() const { return doneButton_; }
    ProgressWindow* progressWindow() const { return progress_; }
    // "Show &Preview" (F3, off at first): the pane beside the list that previews the selected
    // file.
    QAction* previewAction() const { return previewAction_; }
    PreviewPane* previewPane() const { return preview_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

  private:
    // Shows the selected row's file in the preview pane when it is on (a hint for no row or
    // several); stopPreview() stops its reading before anything else reads the volume.
    void updatePreview();
    void stopPreview();
    // The list and the preview pane (hidden at first) side by side, with previewAction().
    QWidget* makePreviewSplitter();
    void warn(const QString& text);
    // The title: what is listed, then the product ("card.img — Vantrel Rekkon Personal 1.4").
    void showTitle();
    void showCounts();
    void fillMenu(QMenu& menu, bool withManual);
    void restoreSettings();
    void saveSettings();
    std::unique_ptr<QSettings> settings() const;
    // The volume's name in the status line and messages; `partition` of a disk, when one.
    void nameVolume(const std::optional<int>& partition, const std::string& fileSystemName);
    bool askSearchByContent(const QString& text);
    std::optional<std::string> askFolder();
    void showFoundStatus();
    // What the mounted file system can do (nothing when none is mounted).
    FileSystemCapabilities capabilities() const;
    bool canChooseFolders() const;
    // Fits the buttons and columns to what the mounted file system can do.
    void fitToFileSystem();
    // Widens the name and type columns to what a search by content found.
    void fitContentColumns();
    int scaledColumnWidth(int column) const;
    void showListMenu(const QPoint& pos);

    MainWindowHooks hooks_;
    std::unique_ptr<ScanContext> context_;
    bool mounted_ = false;
    bool searchingContent_ = false;  // the mounted volume's scans search by content too
    QString sourcePath_;
    QString volumePath_;       // the source, or the partition of a disk as the user knows it
    QString volumeSuffix_;     // " (NTFS)" after a partition picked from a disk's table
    QString lastDestination_;  // the folder the last recovery went to (remembered)
    bool columnsFromSettings_ = false;  // the user's widths and order: not fitted to the content
    double fontScale_ = 1.0;            // how much wider than the 8-point dialog font the font is
    std::uint64_t volumeOffset_ = 0;    // of the mounted volume in the source
    std::string folder_;                // the folder the last scan was asked for
    std::string report_;
    QTableView* view_ = nullptr;
    ResultsModel* model_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* recoverButton_ = nullptr;
    QPushButton* changeFolderButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    ProgressWindow* progress_ = nullptr;
    QAction* longNamesAction_ = nullptr;
    QAction* keepFoldersAction_ = nullptr;
    QAction* lostFoldersAction_ = nullptr;
    QAction* carveAction_ = nullptr;
    QAction* saveReportAction_ = nullptr;
    QAction* filterAction_ = nullptr;
    QAction* manualAction_ = nullptr;
    QPushButton* toolsButton_ = nullptr;
    QMenu* toolsMenu_ = nullptr;
    FilterBar* filterBar_ = nullptr;
    QLabel* counts_ = nullptr;
    QAction* previewAction_ = nullptr;
    PreviewPane* preview_ = nullptr;
};

// The counts line below the list: "Showing 12 of 850 files, 3 selected (1.2 MB)".
QString countsText(int shown, int found, int selected, std::uint64_t selectedBytes);

}  // namespace rekkon::ui
