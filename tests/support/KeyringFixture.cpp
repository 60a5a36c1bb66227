#include "support/KeyringFixture.h"

#include "platform/keyring/Keyring.h"

#include <QCoreApplication>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>

namespace larkspan::test {

namespace {

void Stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished(10000);
}

} // namespace

KeyringFixture::~KeyringFixture()
{
    Stop(m_keyring);
    Stop(m_bus);
}

bool KeyringFixture::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty();
}

bool KeyringFixture::start()
{
    const QString data = m_folder.path() + QStringLiteral("/data");
    const QString runtime = m_folder.path() + QStringLiteral("/run");
    QDir().mkpath(data);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_bus.waitForReadyRead(20000)) {
        m_error = QStringLiteral("dbus-daemon gave no address: ") + QString::fromLocal8Bit(m_bus.readAllStandardError());
        return false;
    }
    const QByteArray address = m_bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    // The keyring keeps its files and sockets in the private folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLocal8Bit(address));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.remove(QStringLiteral("DISPLAY"));
    m_keyring.setProcessEnvironment(environment);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(20000)) {
        m_error = QStringLiteral("gnome-keyring-daemon did not start: ") + m_keyring.errorString();
        return false;
    }
    m_keyring.write("larkspan-keyring-test");
    m_keyring.closeWriteChannel();

    const QDeadlineTimer deadline(20000);
    while (!KeyringServiceAvailable()) {
        if (deadline.hasExpired() || m_keyring.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("the keyring did not appear on the bus: ") +
                      QString::fromLocal8Bit(m_keyring.readAllStandardError());
            return false;
        }
        m_keyring.waitForReadyRead(100);
    }
    return true;
}

bool KeyringFixture::lock()
{
    QDBusInterface service(QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
                           QStringLiteral("org.freedesktop.Secret.Service"));
    const QDBusMessage reply = service.call(
        QStringLiteral("Lock"), QVariant::fromValue(QList<QDBusObjectPath>{
                                    QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))}));
    if (reply.type() == QDBusMessage::ErrorMessage)
        m_error = reply.errorMessage();
    return reply.type() != QDBusMessage::ErrorMessage;
}

void KeyringFixture::stopKeyring()
{
    Stop(m_keyring);
    const QDeadlineTimer deadline(20000);
    while (KeyringServiceAvailable() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
}

} // namespace larkspan::test
