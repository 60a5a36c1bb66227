#include "support/TestEnvironment.h"

#include "platform/core/ConnectivityProbe.h"
#include "platform/core/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace larkspan;
using larkspan::test::Recorded;

namespace {

const QString kOffline = QStringLiteral("You must be online to use this software accurately.");

// Puts a folder holding a fake ping first on PATH for the lifetime of the object.
class FakePing {
public:
    // reply is what the fake prints; its arguments are written to args.txt.
    explicit FakePing(const QByteArray &reply, int exitCode = 0, bool install = true)
    {
        m_oldPath = qgetenv("PATH");
        if (install) {
            QFile script(m_dir.filePath(QStringLiteral("ping")));
            script.open(QIODevice::WriteOnly);
            script.write("#!/bin/sh\necho \"$@\" > '" + m_dir.filePath(QStringLiteral("args.txt")).toLocal8Bit()
                         + "'\ncat <<'EOF'\n" + reply + "\nEOF\nexit " + QByteArray::number(exitCode) + "\n");
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
        // Without the fake, PATH holds only an empty folder, so no ping can be found.
        qputenv("PATH", install ? m_dir.path().toLocal8Bit() + ':' + m_oldPath : m_dir.path().toLocal8Bit());
    }
    ~FakePing() { qputenv("PATH", m_oldPath); }

    QString arguments() const
    {
        QFile f(m_dir.filePath(QStringLiteral("args.txt")));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

} // namespace

class ProbeTest : public QObject {
    Q_OBJECT

private slots:
    void init() { Recorded().clear(); }

    void probeStaysOnTheConfiguredHost()
    {
        QCOMPARE(qEnvironmentVariable("LARKSPAN_PROBE_HOST"), QStringLiteral("127.0.0.1"));
        QCOMPARE(ProbeHost(), QStringLiteral("127.0.0.1"));
        FakePing ping("64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms");
        ProbeConnectivity();
        QCOMPARE(ping.arguments(), QStringLiteral("-c 1 -W 4 127.0.0.1"));
    }

    void onlineWhenAReplyReportsItsBytes_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("reply") << QByteArray("PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                                             "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms\n\n"
                                             "--- 127.0.0.1 ping statistics ---\n"
                                             "1 packets transmitted, 1 received, 0% packet loss, time 0ms")
                               << 0;
        QTest::newRow("any case, other lines report loss")
            << QByteArray("64 BYTES FROM 127.0.0.1: icmp_seq=1\n1 packets transmitted, 0 received, 100% packet loss") << 1;
    }
    void onlineWhenAReplyReportsItsBytes()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, exitCode);
        FakePing ping(reply, exitCode);
        ProbeConnectivity();
        QVERIFY(Recorded().calls.isEmpty());
    }

    void offlineWarns_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("installed");
        QTest::newRow("unreachable") << QByteArray("PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                                                   "From 127.0.0.1 icmp_seq=1 Destination Host Unreachable")
                                     << true;
        QTest::newRow("name not resolved") << QByteArray("ping: example.invalid: Name or service not known") << true;
        QTest::newRow("silent") << QByteArray() << true;
        QTest::newRow("no ping program") << QByteArray() << false;
    }
    void offlineWarns()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, installed);
        FakePing ping(reply, 1, installed);
        SetAppTitle(QString()); // the probe runs before start-up names the boxes
        ProbeConnectivity();
        QCOMPARE(Recorded().messages(), QStringList{kOffline});
        QCOMPARE(Recorded().calls.at(0).title, QCoreApplication::applicationName());
        QCOMPARE(Recorded().calls.at(0).icon, MsgIcon::None);
        QCOMPARE(Recorded().calls.at(0).buttons, MsgButtons::Ok);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ProbeTest)
#include "tst_probe.moc"
