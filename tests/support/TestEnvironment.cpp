#include "support/TestEnvironment.h"

#include "platform/core/SettingsStore.h"
#include "platform/core/TimeZoneRules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace larkspan::test {

namespace {
QString &scratchSlot()
{
    static QString folder;
    return folder;
}
} // namespace

void PrepareTestEnvironment()
{
    if (!scratchSlot().isEmpty())
        return;
    // As the program does before anything else.
    LoadTimeZoneRulesOnce();
    static QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/larkspan-test-XXXXXX"));
    scratchSlot() = scratch.path();
    const QByteArray root = scratch.path().toLocal8Bit();
    QDir().mkpath(scratch.path() + QStringLiteral("/config"));
    QDir().mkpath(scratch.path() + QStringLiteral("/temp"));
    QDir().mkpath(scratch.path() + QStringLiteral("/cache"));

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Nothing we run may leave loopback: mail host, probe host and remote mail content.
    setenv("LARKSPAN_IMAP_HOST", "127.0.0.1", 1);
    // The test servers speak TLS from the first byte, whatever the shell says.
    setenv("LARKSPAN_IMAP_SECURITY", "tls", 1);
    setenv("LARKSPAN_PROBE_HOST", "127.0.0.1", 1);
    setenv("LARKSPAN_REMOTE_CONTENT", "block", 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking", 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("TEMP", (root + "/temp").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    // No test reaches the user's own keyring: a session bus that is not there, unless
    // a test starts a private one (KeyringFixture).
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/larkspan-test-no-bus", 1);
}

QString TestScratchFolder()
{
    return scratchSlot();
}

void ResetSettings()
{
    QFile::remove(ProgramSettings().filePath());
}

QString TestDataFolder()
{
    return QStringLiteral(LARKSPAN_TEST_DATA_DIR);
}

long PeakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace larkspan::test
