// Opening a device through UDisks2 when a direct open is refused, against a stand-in UDisks2
// service on a private bus that this test starts: the handed-over descriptor, the user's
// refusal, a bus without the service, and a service that fails.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>

#include <memory>

#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "ui/DeviceAccess.h"

using namespace rekkon;
using rekkon::ui::DeviceAccess;

namespace {

const QString kDevice = QStringLiteral("/dev/rekkon-card");
const QString kAdvice = QStringLiteral(
    "Add yourself to the \"disk\" group (then log in again) or run rekkon with root "
    "privileges.");
// How long the bus and the mock may take to come up, polled in small steps.
constexpr int kStartMs = 5000;
constexpr int kPollMs = 20;

// A child process that is killed when this ends, or when the test process dies.
class Child {
  public:
    Child(const QString& program, const QStringList& arguments) {
        process_.setProgram(program);
        process_.setArguments(arguments);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start();
    }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(kStartMs);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    QProcess& process() { return process_; }

  private:
    QProcess process_;
};

// A private session bus: dbus-daemon listening on a socket in a folder of its own.
class PrivateBus {
  public:
    PrivateBus()
        : daemon_(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                   QStringLiteral("--address=unix:path=%1/bus")
                       .arg(QString::fromStdString(folder_.path()))}) {
        QElapsedTimer waited;
        waited.start();
        QProcess& p = daemon_.process();
        while (!p.canReadLine() && p.state() != QProcess::NotRunning && waited.elapsed() < kStartMs)
            p.waitForReadyRead(kPollMs);
        address_ = QString::fromLocal8Bit(p.readLine()).trimmed();
    }
    const QString& address() const { return address_; }

  private:
    test::TempDir folder_;
    Child daemon_;
    QString address_;
};

// Whether `service` has an owner on the bus at `address` within kStartMs.
bool serviceAppears(const QString& address, const QString& service) {
    const QString name = QStringLiteral("rekkon-test-watch");
    bool found = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        QElapsedTimer waited;
        waited.start();
        while (bus.isConnected() && waited.elapsed() < kStartMs) {
            if (bus.interface()->isServiceRegistered(service).value()) {
                found = true;
                break;
            }
            QTest::qWait(kPollMs);
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return found;
}

}  // namespace

class DeviceAccessTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<PrivateBus> bus;

    // Starts the stand-in service with `extra` switches; null when it does not come up.
    std::unique_ptr<Child> startMock(const QString& object, const QStringList& extra = {}) {
        QStringList arguments{QStringLiteral("--address"),
                              bus->address(),
                              QStringLiteral("--device"),
                              kDevice,
                              QStringLiteral("--object"),
                              object,
                              QStringLiteral("--image"),
                              QString::fromStdString(test::fixtureImage("fat/fat32.img"))};
        auto mock = std::make_unique<Child>(QStringLiteral(REKKON_MOCK_UDISKS), arguments + extra);
        if (!serviceAppears(bus->address(), QStringLiteral("org.freedesktop.UDisks2")))
            return nullptr;
        return mock;
    }

    // Access on the private bus to a path whose direct open is refused for lack of permission.
    DeviceAccess refusedAccess(int* directOpens = nullptr) const {
        DeviceAccess access;
        access.busAddress = bus->address();
        access.openDirect = [directOpens](const std::string&, int& error) {
            if (directOpens) ++*directOpens;
            error = EACCES;
            return std::unique_ptr<SectorDevice>();
        };
        access.isBlockDevice = [](const std::string&) { return true; };
        return access;
    }

  private slots:
    void initTestCase() {
        bus = std::make_unique<PrivateBus>();
        QVERIFY2(bus->address().startsWith(QStringLiteral("unix:")), "dbus-daemon gave no address");
    }
    void cleanupTestCase() { bus.reset(); }

    void objectPathsEscapeTheDeviceName() {
        const QString base = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
        QCOMPARE(ui::udisksBlockObjectPath("/dev/sdb1"), base + QStringLiteral("sdb1"));
        QCOMPARE(ui::udisksBlockObjectPath("/dev/dm-0"), base + QStringLiteral("dm_2d0"));
        QCOMPARE(ui::udisksBlockObjectPath("/dev/mapper/a b"),
                 base + QStringLiteral("mapper_2fa_20b"));
        QCOMPARE(ui::udisksBlockObjectPath("/dev/\xc3\xa9"), base + QStringLiteral("_c3_a9"));
    }

    void theHandedOverDescriptorReadsTheDevice_data() {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QStringList>("switches");
        // The manager names an object no rule would make from the path.
        QTest::newRow("resolved by the manager") << QStringLiteral("card0") << QStringList();
        // Without ResolveDevice the object is named after the device.
        QTest::newRow("named after the device")
            << QStringLiteral("rekkon_2dcard") << QStringList{QStringLiteral("--no-resolve")};
    }
    void theHandedOverDescriptorReadsTheDevice() {
        QFETCH(QString, object);
        QFETCH(QStringList, switches);
        const auto mock = startMock(object, switches);
        QVERIFY(mock);
        int directOpens = 0;
        const DeviceAccess access = refusedAccess(&directOpens);
        int error = -1;
        QString message = QStringLiteral("stale");
        auto device = access.open(kDevice.toStdString(), error, message);
        QVERIFY2(device, qPrintable(message));
        QCOMPARE(directOpens, 1);
        QCOMPARE(error, 0);
        QVERIFY(message.isEmpty());
        const int fd = device->descriptor().value_or(-1);
        QVERIFY(fd >= 0);
        QCOMPARE(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
        QVERIFY(::fcntl(fd, F_GETFD) & FD_CLOEXEC);

        ScanContext context;
        QCOMPARE(int(mountVolume(context, std::move(device))), int(MountStatus::Mounted));
        QCOMPARE(int(context.volume.kind), int(FileSystemKind::Fat32));
        // The fixture's own files are there.
        QVERIFY(scanVolume(context) > 0);
    }

    void aDeclinedAuthorizationSaysSoAndGivesNothing() {
        const auto mock = startMock(QStringLiteral("card0"), {QStringLiteral("--refuse")});
        QVERIFY(mock);
        int error = 0;
        QString message;
        QVERIFY(!refusedAccess().open(kDevice.toStdString(), error, message));
        QCOMPARE(error, EACCES);
        QCOMPARE(message,
                 QStringLiteral("Reading /dev/rekkon-card was not authorized. ") + kAdvice);

        // Through the opener that mountVolume takes, the message is kept for the caller.
        QString last;
        ScanContext context;
        int openError = 0;
        QCOMPARE(int(mountVolume(context, kDevice.toStdString(), openError,
                                 refusedAccess().opener(&last))),
                 int(MountStatus::CannotOpen));
        QCOMPARE(openError, EACCES);
        QCOMPARE(last, message);
    }

    void aFailingServiceGivesItsReason() {
        const auto mock = startMock(QStringLiteral("card0"), {QStringLiteral("--fail")});
        QVERIFY(mock);
        int error = 0;
        QString message;
        QVERIFY(!refusedAccess().open(kDevice.toStdString(), error, message));
        QCOMPARE(error, EACCES);
        QVERIFY2(message.startsWith(QStringLiteral("Permission to read /dev/rekkon-card was "
                                                   "refused")),
                 qPrintable(message));
        QVERIFY2(
            message.contains(QStringLiteral("Error opening /dev/rekkon-card: No medium found")),
            qPrintable(message));
        QVERIFY2(message.endsWith(kAdvice), qPrintable(message));
    }

    void noServiceOrNoBusSaysUDisksIsNotAvailable() {
        const QString expected = QStringLiteral(
                                     "Permission to read /dev/rekkon-card was refused, and the "
                                     "UDisks2 service that could ask for it is not available. ") +
                                 kAdvice;
        int error = 0;
        QString message;
        // The bus runs, but nothing owns the service's name.
        QVERIFY(!refusedAccess().open(kDevice.toStdString(), error, message));
        QCOMPARE(error, EACCES);
        QCOMPARE(message, expected);

        // No bus at all.
        test::TempDir nowhere;
        DeviceAccess access = refusedAccess();
        access.busAddress =
            QStringLiteral("unix:path=%1/none").arg(QString::fromStdString(nowhere.path()));
        QVERIFY(!access.open(kDevice.toStdString(), error, message));
        QCOMPARE(message, expected);
    }

    void onlyARefusedBlockDeviceIsAskedFor() {
        // Were UDisks2 asked, this address would make the message say it is not available.
        test::TempDir nowhere;
        DeviceAccess access;
        access.busAddress =
            QStringLiteral("unix:path=%1/none").arg(QString::fromStdString(nowhere.path()));
        int error = 0;
        QString message;
        QVERIFY(!access.open(nowhere.path() + "/missing.img", error, message));
        QCOMPARE(error, ENOENT);
        QVERIFY2(message.contains(QStringLiteral("missing.img\" cannot be opened")),
                 qPrintable(message));

        access = refusedAccess();
        access.busAddress =
            QStringLiteral("unix:path=%1/none").arg(QString::fromStdString(nowhere.path()));
        access.isBlockDevice = [](const std::string&) { return false; };
        QVERIFY(!access.open("/srv/locked.img", error, message));
        QCOMPARE(error, EACCES);
        QVERIFY2(!message.contains(QStringLiteral("UDisks2")), qPrintable(message));

        // A readable image opens directly.
        access.openDirect = nullptr;
        auto device = access.open(test::fixtureImage("fat/fat12.img"), error, message);
        QVERIFY(device);
        QCOMPARE(error, 0);
        QVERIFY(message.isEmpty());
    }
};

QTEST_MAIN(DeviceAccessTest)
#include "DeviceAccessTest.moc"
