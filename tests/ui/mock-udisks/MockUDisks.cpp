// A stand-in for the UDisks2 service on a private bus, for DeviceAccessTest: the manager's
// ResolveDevice and one block object whose OpenDevice hands over a read-only descriptor of an
// image file, or refuses as polkit does when the user declines.
//
//   rekkon_mock_udisks --address ADDR --device /dev/NAME --object OBJECT --image FILE
//                      [--no-resolve] [--refuse] [--fail]
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

struct Options {
    QString address, device, object, image;
    bool resolve = true;  // false: a UDisks2 without ResolveDevice
    bool refuse = false;  // OpenDevice: the user declined the authorization
    bool fail = false;    // OpenDevice: the device cannot be opened
};

QVariantMap asMap(const QVariant& value) {
    return value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value) : value.toMap();
}

class MockUDisks final : public QDBusVirtualObject {
  public:
    explicit MockUDisks(Options options) : options_(std::move(options)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const QString blockPath =
            QStringLiteral("/org/freedesktop/UDisks2/block_devices/") + options_.object;
        if (message.path() == QStringLiteral("/org/freedesktop/UDisks2/Manager") &&
            message.member() == QStringLiteral("ResolveDevice") && options_.resolve)
            return bus.send(resolve(message, blockPath));
        if (message.path() == blockPath && message.member() == QStringLiteral("OpenDevice") &&
            message.interface() == QStringLiteral("org.freedesktop.UDisks2.Block"))
            return bus.send(openDevice(message));
        return bus.send(message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
            QStringLiteral("No such method %1 on %2").arg(message.member(), message.path())));
    }

  private:
    QDBusMessage resolve(const QDBusMessage& message, const QString& blockPath) const {
        const auto arguments = message.arguments();
        QList<QDBusObjectPath> found;
        if (arguments.size() == 2 &&
            asMap(arguments[0]).value(QStringLiteral("path")).toString() == options_.device)
            found << QDBusObjectPath(blockPath);
        return message.createReply(QVariant::fromValue(found));
    }

    QDBusMessage openDevice(const QDBusMessage& message) const {
        const auto arguments = message.arguments();
        if (options_.refuse)
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"),
                QStringLiteral("Not authorized to perform operation"));
        if (options_.fail)
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                QStringLiteral("Error opening %1: No medium found").arg(options_.device));
        // Only a read-only open with the user asked is what the program should request.
        const QVariantMap requested = arguments.size() == 2 ? asMap(arguments[1]) : QVariantMap();
        const QVariant interaction = requested.value(QStringLiteral("auth.no_user_interaction"));
        if (arguments.size() != 2 || arguments[0].toString() != QStringLiteral("r") ||
            !interaction.isValid() || interaction.toBool())
            return message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                                            QStringLiteral("Unexpected arguments to OpenDevice"));
        const int fd = ::open(options_.image.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                                            QStringLiteral("Cannot open the image"));
        const QDBusUnixFileDescriptor handed(fd);  // keeps a duplicate of its own
        ::close(fd);
        return message.createReply(QVariant::fromValue(handed));
    }

    Options options_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QStringLiteral("--address"))
            options.address = next, ++i;
        else if (a == QStringLiteral("--device"))
            options.device = next, ++i;
        else if (a == QStringLiteral("--object"))
            options.object = next, ++i;
        else if (a == QStringLiteral("--image"))
            options.image = next, ++i;
        else if (a == QStringLiteral("--no-resolve"))
            options.resolve = false;
        else if (a == QStringLiteral("--refuse"))
            options.refuse = true;
        else if (a == QStringLiteral("--fail"))
            options.fail = true;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(options.address, QStringLiteral("mock"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "mock UDisks2: cannot connect to %s\n", qPrintable(options.address));
        return 1;
    }
    MockUDisks mock(options);
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), &mock,
                                   QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.UDisks2"))) {
        std::fprintf(stderr, "mock UDisks2: cannot claim the service\n");
        return 1;
    }
    return app.exec();
}
