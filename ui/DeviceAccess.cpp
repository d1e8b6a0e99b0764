#include "ui/DeviceAccess.h"

#include <QAtomicInteger>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "ui/MainWindow.h"

namespace rekkon::ui {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kBlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kBlockDevicesPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");

QString accessAdvice() {
    return QStringLiteral(
        "Add yourself to the \"disk\" group (then log in again) or run rekkon with root "
        "privileges.");
}

QString unavailableMessage(const QString& path) {
    return QStringLiteral(
               "Permission to read %1 was refused, and the UDisks2 service that could ask for it "
               "is not available. %2")
        .arg(path, accessAdvice());
}

QString notAuthorizedMessage(const QString& path) {
    return QStringLiteral("Reading %1 was not authorized. %2").arg(path, accessAdvice());
}

QString failedMessage(const QString& path, const QString& why) {
    return QStringLiteral(
               "Permission to read %1 was refused, and UDisks2 could not open it either: %2. %3")
        .arg(path, why, accessAdvice());
}

QString directFailureMessage(const QString& path, int error) {
    return openFailedText(path, error);
}

// Errors that say no UDisks2 answers on the bus at all.
bool serviceMissing(const QDBusError& error) {
    switch (error.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::NoServer:
        case QDBusError::Disconnected:
        case QDBusError::NoNetwork:
            return true;
        default:
            return error.name().startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn")) ||
                   error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
    }
}

QString errorText(const QDBusError& error) {
    const QString text = error.message().isEmpty() ? error.name() : error.message();
    return text.isEmpty() ? QStringLiteral("no reason given") : text;
}

bool statIsBlockDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

// The bus UDisks2 is asked on; a private one is dropped again when this ends.
class Bus {
  public:
    explicit Bus(const QString& address)
        : name_(address.isEmpty() ? QString()
                                  : QStringLiteral("rekkon-udisks-%1").arg(nextNumber())),
          connection_(address.isEmpty() ? QDBusConnection::systemBus()
                                        : QDBusConnection::connectToBus(address, name_)) {}
    ~Bus() {
        if (!name_.isEmpty()) QDBusConnection::disconnectFromBus(name_);
    }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
    QDBusConnection& connection() { return connection_; }

  private:
    static int nextNumber() {
        static QAtomicInteger<int> counter;
        return counter.fetchAndAddRelaxed(1);
    }
    QString name_;
    QDBusConnection connection_;
};

// What one D-Bus step gave: a reply, or an error.
struct Outcome {
    QDBusMessage reply;
    bool ok() const { return reply.type() == QDBusMessage::ReplyMessage; }
    QDBusError error() const { return QDBusError(reply); }
};

// The block object UDisks2 keeps for `path`: asked of the manager, else made from the name.
QString blockObject(QDBusConnection& bus, const std::string& path,
                    std::optional<QDBusError>& missing) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface,
                                                       QStringLiteral("ResolveDevice"));
    QVariantMap spec;
    spec.insert(QStringLiteral("path"), QString::fromStdString(path));
    call << spec << QVariantMap();
    const Outcome resolved{
        bus.call(call, QDBus::Block, static_cast<int>(kResolveDeviceTimeout.count()))};
    if (resolved.ok() && !resolved.reply.arguments().isEmpty()) {
        const auto objects =
            qdbus_cast<QList<QDBusObjectPath>>(resolved.reply.arguments().constFirst());
        if (!objects.isEmpty() && !objects.constFirst().path().isEmpty())
            return objects.constFirst().path();
    } else if (!resolved.ok() && serviceMissing(resolved.error())) {
        missing = resolved.error();
        return {};
    }
    // Versions of UDisks2 before ResolveDevice name the object after the kernel's name.
    return udisksBlockObjectPath(path);
}

}  // namespace

QString udisksBlockObjectPath(const std::string& devicePath) {
    std::string name = devicePath;
    if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
    QString escaped;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9'))
            escaped += QLatin1Char(c);
        else
            escaped += QStringLiteral("_%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return kBlockDevicesPath + escaped;
}

std::unique_ptr<SectorDevice> DeviceAccess::open(const std::string& path, int& error,
                                                 QString& message) const {
    message.clear();
    error = 0;
    std::unique_ptr<SectorDevice> device =
        openDirect ? openDirect(path, error) : openFileSource(path, error);
    if (device) {
        error = 0;
        return device;
    }
    if (error == 0) error = EIO;
    const QString shown = QString::fromStdString(path);
    const bool refused = error == EACCES || error == EPERM;
    if (!refused || !(isBlockDevice ? isBlockDevice(path) : statIsBlockDevice(path))) {
        message = directFailureMessage(shown, error);
        return nullptr;
    }

    Bus bus(busAddress);
    if (!bus.connection().isConnected()) {
        message = unavailableMessage(shown);
        return nullptr;
    }
    std::optional<QDBusError> missing;
    const QString object = blockObject(bus.connection(), path, missing);
    if (missing) {
        message = unavailableMessage(shown);
        return nullptr;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, object, kBlockInterface,
                                                       QStringLiteral("OpenDevice"));
    QVariantMap options;
    options.insert(QStringLiteral("auth.no_user_interaction"), false);
    call << QStringLiteral("r") << options;
    // polkit may ask the user: the window keeps painting meanwhile, input waits.
    const Outcome opened{bus.connection().call(call, QDBus::BlockWithGui,
                                               static_cast<int>(kOpenDeviceTimeout.count()))};
    if (!opened.ok()) {
        const QDBusError dbusError = opened.error();
        if (serviceMissing(dbusError))
            message = unavailableMessage(shown);
        else if (dbusError.name().contains(QStringLiteral("NotAuthorized")))
            message = notAuthorizedMessage(shown);
        else
            message = failedMessage(shown, errorText(dbusError));
        return nullptr;
    }
    const QList<QVariant> arguments = opened.reply.arguments();
    const auto handed = arguments.isEmpty()
                            ? QDBusUnixFileDescriptor()
                            : arguments.constFirst().value<QDBusUnixFileDescriptor>();
    if (!handed.isValid()) {
        message = failedMessage(shown, QStringLiteral("it handed over no file descriptor"));
        return nullptr;
    }
    // The QDBusUnixFileDescriptor closes its own copy; the source keeps a duplicate.
    const int fd = ::fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        const int dupError = errno;
        message = failedMessage(shown, QString::fromLocal8Bit(std::strerror(dupError)));
        return nullptr;
    }
    int descriptorError = 0;
    device = FileSectorDevice::fromDescriptor(fd, descriptorError);
    if (!device) {
        message =
            failedMessage(shown, QStringLiteral("the descriptor it handed over cannot be used: %1")
                                     .arg(QString::fromLocal8Bit(std::strerror(descriptorError))));
        return nullptr;
    }
    error = 0;
    return device;
}

SourceOpener DeviceAccess::opener(QString* lastMessage) const {
    return [access = *this, lastMessage](const std::string& path, int& error) {
        QString message;
        auto device = access.open(path, error, message);
        if (lastMessage) *lastMessage = message;
        return device;
    };
}

}  // namespace rekkon::ui
