#include "ui/DriveSelectDialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "recovery/CarveMount.h"
#include "ui/ContentSearchOffer.h"
#include "ui/DeviceAccess.h"
#include "ui/DriveText.h"
#include "ui/MainWindow.h"
#include "ui/OffThread.h"
#include "ui/Texts.h"
#include "volume/SharedSectorDevice.h"

namespace rekkon::ui {

const QString DriveSelectDialog::kImageItem = QStringLiteral("Image file...");
const QString DriveSelectDialog::kNoDriveMessage =
    QStringLiteral("Unable to find any drive where you can Rekkon files!");
const QString DriveSelectDialog::kInvalidSelectionMessage = QStringLiteral("Invalid selection");
const QString DriveSelectDialog::kMountFailedMessage =
    QStringLiteral("Error of Initialization volume");

namespace {

// The dialog's layout in dialog units of the 8-point dialog font: 1 unit is 1.5 pixels across
// and 1.625 pixels down.
constexpr double kUnitX = 1.5;
constexpr double kUnitY = 1.625;
int px(double units) {
    return static_cast<int>(std::lround(units * kUnitX));
}
int py(double units) {
    return static_cast<int>(std::lround(units * kUnitY));
}

constexpr int kDialogWidth = 275;  // dialog units
constexpr int kDialogHeight = 124;
constexpr int kBannerWidth = 413;  // pixels: the picture's own size
constexpr int kBannerHeight = 158;
constexpr int kLabelX = 1, kLabelY = 105, kLabelWidth = 63, kLabelHeight = 8;
constexpr int kComboX = 67, kComboWidth = 92;
constexpr int kOkX = 165, kCancelX = 219, kButtonY = 102, kButtonWidth = 50, kButtonHeight = 14;

// The pale green of the dialog, its label and its buttons.
const QColor kDialogColour(241, 249, 225);

// Where an item's device is in the list of drives; the image item has none.
constexpr int kImageIndex = -1;

QString cannotOpenText(const QString& path, int error) {
    return QStringLiteral("\"%1\" cannot be opened: %2.")
        .arg(path, QString::fromLocal8Bit(std::strerror(error != 0 ? error : EIO)));
}

}  // namespace

DeviceOpener defaultDeviceOpener() {
    // The one place that chooses how the dialog opens devices: directly, read-only, and
    // through UDisks2 when a device is refused for lack of permission.
    return [](const std::string& path, int& error, QString& message) {
        return DeviceAccess{}.open(path, error, message);
    };
}

DriveSelectDialog::DriveSelectDialog(ScanContext& context, DriveSelectHooks hooks, QWidget* parent)
    : QDialog(parent), context_(context), hooks_(std::move(hooks)) {
    setWindowTitle(kProductTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    QPalette pale = palette();
    pale.setColor(QPalette::Window, kDialogColour);
    pale.setColor(QPalette::WindowText, Qt::black);
    setPalette(pale);
    setAutoFillBackground(true);

    banner_ = new QLabel(this);
    banner_->setObjectName(QStringLiteral("driveBanner"));
    banner_->setAlignment(Qt::AlignCenter);
    // When the dialog is wider than the picture, its sky goes on to either side.
    banner_->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #123c6b, stop:1 #2d6cb5);"));
    banner_->setPixmap(
        QIcon(QStringLiteral(":/drive-banner.svg")).pixmap(kBannerWidth, kBannerHeight));

    label_ = new QLabel(QStringLiteral("Select drive:"), this);
    label_->setObjectName(QStringLiteral("driveLabel"));
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignCenter);

    // Not editable: only the listed devices and the image item can be chosen.
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("driveList"));
    combo_->setEditable(false);
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    combo_->setMaxVisibleItems(8);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("driveOk"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("driveCancel"));
    cancel_->setAutoDefault(false);
    for (QPushButton* button : {ok_, cancel_}) {
        QPalette buttonPalette = button->palette();
        buttonPalette.setColor(QPalette::Button, kDialogColour);
        buttonPalette.setColor(QPalette::ButtonText, Qt::black);
        button->setPalette(buttonPalette);
    }
    connect(ok_, &QPushButton::clicked, this, &DriveSelectDialog::chooseSelected);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    // The list is sorted as it is filled; each device added is selected, so the selection ends
    // on the last one added.
    drives_ = hooks_.listDrives ? hooks_.listDrives() : listDrives();
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        const DriveInfo& drive = drives_[i];
        const QString text = driveItemText(QString::fromStdString(drive.name),
                                           QString::fromStdString(drive.fileSystem),
                                           drive.sizeBytes, QString::fromStdString(drive.label));
        int at = 0;
        while (at < combo_->count() && compareDriveTexts(combo_->itemText(at), text) <= 0)
            ++at;
        combo_->insertItem(at, text, static_cast<int>(i));
        combo_->setCurrentIndex(at);
    }
    combo_->addItem(kImageItem, kImageIndex);
    if (drives_.empty()) combo_->setCurrentIndex(0);

    placeControls();
    combo_->setFocus();
}

void DriveSelectDialog::placeControls() {
    // The template's places; the label, the list and the buttons grow to fit their texts in the
    // desktop's font and push what lies right of them, and the dialog's right edge, along.
    const int labelWidth =
        std::max(px(kLabelWidth), label_->fontMetrics().horizontalAdvance(label_->text()) + px(2));
    const int comboX = px(kComboX) + labelWidth - px(kLabelWidth);
    const int comboWidth = std::max(px(kComboWidth), combo_->sizeHint().width());
    const int okX = comboX + comboWidth + px(kOkX - kComboX - kComboWidth);
    const int buttonWidth =
        std::max({px(kButtonWidth), ok_->sizeHint().width(), cancel_->sizeHint().width()});
    const int cancelX = okX + buttonWidth + px(kCancelX - kOkX - kButtonWidth);
    const int width = cancelX + buttonWidth + px(kDialogWidth - kCancelX - kButtonWidth);

    const int buttonHeight = std::max(py(kButtonHeight), ok_->sizeHint().height());
    const int height =
        std::max(py(kDialogHeight),
                 py(kButtonY) + buttonHeight + py(kDialogHeight - kButtonY - kButtonHeight));
    const int rowMiddle = py(kButtonY) + buttonHeight / 2;

    banner_->setGeometry(0, 0, width, kBannerHeight);
    const int labelHeight = std::max(py(kLabelHeight), label_->sizeHint().height());
    label_->setGeometry(px(kLabelX), rowMiddle - labelHeight / 2, labelWidth, labelHeight);
    const int comboHeight = combo_->sizeHint().height();
    combo_->setGeometry(comboX, rowMiddle - comboHeight / 2, comboWidth, comboHeight);
    ok_->setGeometry(okX, py(kButtonY), buttonWidth, buttonHeight);
    cancel_->setGeometry(cancelX, py(kButtonY), buttonWidth, buttonHeight);
    setFixedSize(width, height);
}

int DriveSelectDialog::exec() {
    if (drives_.empty()) {
        // Nothing to pick from: ask for an image straight away.
        const QString path =
            askForImage(QStringLiteral("No FAT, exFAT or NTFS drive was found: open a disk image"));
        if (path.isEmpty()) {
            done(Rejected);
            return Rejected;
        }
        if (openImage(path)) {
            done(Accepted);
            return Accepted;
        }
    }
    return QDialog::exec();
}

void DriveSelectDialog::done(int result) {
    if (result != Accepted && drives_.empty()) warn(kNoDriveMessage);
    QDialog::done(result);
}

void DriveSelectDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

void DriveSelectDialog::chooseSelected() {
    const int index = combo_->currentIndex();
    if (index < 0) {
        warn(kInvalidSelectionMessage);
        return;
    }
    const int drive = combo_->itemData(index).toInt();
    if (drive == kImageIndex) {
        chooseImage();
        return;
    }
    const DriveInfo& info = drives_.at(static_cast<std::size_t>(drive));
    if (mount(QString::fromStdString(info.devicePath), info.fileSystem)) accept();
}

QString DriveSelectDialog::askForImage(const QString& caption) {
    if (hooks_.chooseImage) return hooks_.chooseImage(this);
    return QFileDialog::getOpenFileName(
        this, caption, QString(),
        QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.E01 *.e01);;All files (*)"));
}

void DriveSelectDialog::chooseImage() {
    const QString path = askForImage(QStringLiteral("Open a disk image"));
    if (!path.isEmpty() && openImage(path)) accept();
}

bool DriveSelectDialog::openImage(const QString& path) {
    // An image may be a whole disk (its FAT, exFAT or NTFS partition is used, or asked for) or an
    // evidence file set.
    const DeviceOpener open = hooks_.open ? hooks_.open : defaultDeviceOpener();
    QString message;
    const SourceOpener sourceOpen = [&](const std::string& p, int& error) {
        return open(p, error, message);
    };
    VolumeChoice volume = chooseVolume(this, path, sourceOpen, hooks_.askPartition,
                                       selectOffUiThread([this](bool busy) { setEnabled(!busy); }));
    if (!volume.device && message.isEmpty() && volume.noVolumePartition) {
        // A disk whose table leads to no volume: all of it can be searched by content.
        if (!offerContentSearch(volume.message)) return false;
        int error = 0;
        volume.device = open(path.toStdString(), error, message);
        if (!volume.device && message.isEmpty()) message = cannotOpenText(path, error);
        if (volume.device) {
            mountForCarving(context_, std::move(volume.device), {}, {}, true);
            sourcePath_ = path;
            volumeOffset_ = 0;
            context_.scanTarget = "\\";
            return true;
        }
    }
    if (!volume.device) {
        unmountVolume(context_);
        if (!message.isEmpty())
            warn(kMountFailedMessage + QStringLiteral("\n\n") + message);
        else if (!volume.message.isEmpty())
            warn(volume.message);
        return false;
    }
    if (!mountOpened(path, std::move(volume.device), volume.mountOrder(), volume.volumeOffset,
                     volume.unreadFileSystem))
        return false;
    partition_ = volume.partition;
    fileSystemName_ = volume.fileSystemName;
    return true;
}

bool DriveSelectDialog::mount(const QString& path, const std::string& fileSystem) {
    const DeviceOpener open = hooks_.open ? hooks_.open : defaultDeviceOpener();
    int error = 0;
    QString message;
    // The opener may wait for the user to authorise the access while events go on being
    // handled: the dialog takes no input meanwhile.
    setEnabled(false);
    std::unique_ptr<SectorDevice> device = open(path.toStdString(), error, message);
    setEnabled(true);
    if (!device) {
        unmountVolume(context_);
        if (message.isEmpty()) message = cannotOpenText(path, error);
        warn(kMountFailedMessage + QStringLiteral("\n\n") + message);
        return false;
    }
    // The drive list names the file system as the platform does; an exFAT volume that cannot
    // be mounted is named in the message.
    return mountOpened(path, std::move(device), mountOrderForName(fileSystem), 0,
                       fileSystem == "exFAT" ? fileSystem : std::string());
}

bool DriveSelectDialog::mountOpened(const QString& path, std::unique_ptr<SectorDevice> device,
                                    MountOrder order, std::uint64_t volumeOffset,
                                    const std::string& unreadFileSystem) {
    MountStatus status = MountStatus::CannotOpen;
    // Kept open past a failed mount, for a search by content.
    const std::shared_ptr<SectorDevice> source = std::move(device);
    // The mount runs off this thread: the dialog takes no input meanwhile.
    setEnabled(false);
    runOffUiThread([&] {
        status = mountVolume(context_, std::make_unique<SharedSectorDevice>(source), order);
    });
    setEnabled(true);
    if (status != MountStatus::Mounted) {
        // Declined, the source is closed again when this returns.
        if (!offerContentSearch(mountFailedMessage(path, unreadFileSystem))) return false;
        mountForCarving(context_, std::make_unique<SharedSectorDevice>(source), {}, {}, true);
    }
    sourcePath_ = path;
    volumeOffset_ = volumeOffset;
    partition_.reset();
    fileSystemName_.clear();
    context_.scanTarget = "\\";
    return true;
}

bool DriveSelectDialog::offerContentSearch(const QString& message) {
    const QString text = message + QStringLiteral("\n\n") + wholeSourceOfferText();
    return hooks_.askSearchByContent ? hooks_.askSearchByContent(this, text)
                                     : askSearchByContentBox(this, text);
}

void DriveSelectDialog::warn(const QString& text) {
    if (hooks_.warn) {
        hooks_.warn(this, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, kProductTitle, text, QMessageBox::Ok, this);
    box.exec();
}

}  // namespace rekkon::ui
