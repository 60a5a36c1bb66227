// The session against real Dovecot servers that start plain: one offers STARTTLS and
// takes no login before it, one does not offer it at all (and would take a plain
// login). The password travels only encrypted, or not at all.

#include "mail/ImapClient.h"
#include "mail/ServerAddress.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/core/ProgramFolder.h"
#include "support/DovecotFixture.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"
#include "support/WireLog.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace larkspan;
using larkspan::test::DovecotFixture;
using larkspan::test::Recorded;
using larkspan::test::WireLog;

Q_DECLARE_METATYPE(larkspan::MailSecurity)

namespace {

const QString kInvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");

QByteArray Numbered(int n)
{
    return "From: Sender <s" + QByteArray::number(n) + "@example.org>\r\nSubject: Message " + QByteArray::number(n) +
           "\r\nDate: Mon, 02 Mar 2026 10:00:00 +0000\r\n\r\nBody " + QByteArray::number(n) + "\r\n";
}

// The verbs of the commands the client sent, in order ("a3 ID (...)" gives "ID").
QStringList Verbs(const QStringList &clientLines)
{
    QStringList verbs;
    for (const QString &line : clientLines)
        verbs.append(line.section(QLatin1Char(' '), 1, 1));
    return verbs;
}

} // namespace

class TestStartTls : public QObject {
    Q_OBJECT

private:
    DovecotFixture m_offering;
    DovecotFixture m_plainOnly;
    ImapClient m_client;

    std::shared_ptr<clsChilkatIMAP> session(const DovecotFixture &server)
    {
        auto s = std::make_shared<clsChilkatIMAP>();
        s->ChilkatIMAPObject = &m_client;
        s->SSL = true;
        s->Security = MailSecurity::StartTls;
        s->PORT = server.port();
        s->IMAPServer = server.host();
        s->Username = server.user();
        s->Password = server.password();
        return s;
    }

    QProcess *listingTool(const DovecotFixture &server, const QString &security)
    {
        auto *tool = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LARKSPAN_IMAP_SECURITY"), security);
        tool->setProcessEnvironment(environment);
        tool->start(ProgramFile(QStringLiteral("larkspan-list")),
                    {server.host(), QString::number(server.port()), server.user(), server.password(),
                     QStringLiteral("INBOX")});
        return tool;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(DovecotFixture::available(), "dovecot-imapd and openssl are needed (scripts/install-deps.sh)");
        for (DovecotFixture *server : {&m_offering, &m_plainOnly}) {
            server->addFolder(QStringLiteral("INBOX"), QList<QByteArray>{Numbered(1), Numbered(2)});
            server->addFolder(QStringLiteral("Archive"), QList<QByteArray>{Numbered(3)});
        }
        m_offering.setEncryption(DovecotFixture::Encryption::StartTls);
        m_plainOnly.setEncryption(DovecotFixture::Encryption::None);
        QVERIFY2(m_offering.start(), qPrintable(m_offering.errorText()));
        QVERIFY2(m_plainOnly.start(), qPrintable(m_plainOnly.errorText()));
    }

    void init()
    {
        Recorded().clear();
        qputenv("LARKSPAN_IMAP_CA_FILE", m_offering.caFile().toLocal8Bit());
    }

    void startTlsServerListsAFolder()
    {
        auto s = session(m_offering);
        QStringList sent;
        {
            WireLog log;
            QVERIFY2(s->Connect(), qPrintable(m_client.lastErrorText()));
            sent = log.clientLines();
        }
        QVERIFY(m_client.isEncrypted());
        // Encryption first; the capabilities read again through it; then ID and the login.
        QCOMPARE(Verbs(sent), (QStringList{"STARTTLS", "CAPABILITY", "ID", "AUTHENTICATE"}));
        const auto folders = s->EnumMailFolders();
        QVERIFY(folders);
        QVERIFY(folders->contains(QStringLiteral("Archive")));
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 2;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(3).toString(), QStringLiteral("Message 2"));
        QVERIFY(Recorded().messages().isEmpty());
    }

    void passwordNeverTravelsUnencrypted_data()
    {
        QTest::addColumn<bool>("offering");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("verbs");
        QTest::newRow("STARTTLS not offered") << false << true << "127.0.0.1:%1 does not offer STARTTLS" << QStringList{};
        QTest::newRow("certificate not trusted") << true << false << "The server's certificate is not trusted: "
                                                 << QStringList{"STARTTLS"};
    }

    void passwordNeverTravelsUnencrypted()
    {
        QFETCH(bool, offering);
        QFETCH(bool, trusted);
        QFETCH(QString, reason);
        QFETCH(QStringList, verbs);
        const DovecotFixture &server = offering ? m_offering : m_plainOnly;
        if (!trusted)
            qunsetenv("LARKSPAN_IMAP_CA_FILE");
        auto s = session(server);
        QStringList sent;
        QStringList logged;
        bool connected = true;
        {
            WireLog log;
            connected = s->Connect();
            sent = log.clientLines();
            logged = log.lines();
        }
        QVERIFY(!connected);
        QCOMPARE(m_client.lastFailure(), ImapClient::Failure::Tls);
        QCOMPARE(Verbs(sent), verbs);
        for (const QString &line : sent) {
            QVERIFY2(!line.contains(QLatin1String("LOGIN")) && !line.contains(QLatin1String("AUTHENTICATE")),
                     qPrintable(line));
        }
        for (const QString &line : logged)
            QVERIFY2(!line.contains(server.password()), qPrintable(line));
        QCOMPARE(Recorded().messages().size(), 1);
        const QString shown = Recorded().messages().first();
        if (reason.contains(QLatin1String("%1")))
            reason = reason.arg(server.port());
        QVERIFY2(shown.startsWith(kInvalidLogin + reason), qPrintable(shown));
        QCOMPARE(m_client.state(), ImapClient::State::Disconnected);
    }

    // TLS from the start against a port that starts plain fails in the handshake.
    void tlsAgainstAPlainPortFails()
    {
        auto s = session(m_offering);
        s->Security = MailSecurity::Tls;
        m_client.setConnectTimeout(10000);
        QVERIFY(!s->Connect());
        QCOMPARE(m_client.lastFailure(), ImapClient::Failure::Tls);
    }

    void listingToolHonoursTheSecurityVariable_data()
    {
        QTest::addColumn<bool>("offering");
        QTest::addColumn<QString>("security");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("starttls") << true << "starttls" << 0 << QByteArray();
        QTest::newRow("STARTTLS, spaces") << true << " STARTTLS " << 0 << QByteArray();
        QTest::newRow("starttls, not offered") << false << "starttls" << 2 << QByteArray("does not offer STARTTLS");
    }

    void listingToolHonoursTheSecurityVariable()
    {
        QFETCH(bool, offering);
        QFETCH(QString, security);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        QVERIFY2(QFileInfo::exists(ProgramFile(QStringLiteral("larkspan-list"))), "larkspan-list is not built");
        QProcess *tool = listingTool(offering ? m_offering : m_plainOnly, security);
        QVERIFY(tool->waitForFinished(60000));
        QCOMPARE(tool->exitCode(), exitCode);
        QVERIFY2(tool->readAllStandardError().contains(error), qPrintable(security));
        if (exitCode == 0) {
            const QList<QByteArray> lines = tool->readAllStandardOutput().trimmed().split('\n');
            QCOMPARE(lines.size(), 2);
            QCOMPARE(QJsonDocument::fromJson(lines[1]).object().value("subject").toString(), QStringLiteral("Message 2"));
        }
    }

    void securityComesFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<MailSecurity>("security");
        QTest::addColumn<int>("defaultPort");
        QTest::newRow("unset") << QByteArray() << MailSecurity::Tls << 993;
        QTest::newRow("tls") << QByteArray("tls") << MailSecurity::Tls << 993;
        QTest::newRow("starttls") << QByteArray("starttls") << MailSecurity::StartTls << 143;
        QTest::newRow("StartTLS") << QByteArray("StartTLS") << MailSecurity::StartTls << 143;
        // A misspelt value never weakens encryption.
        QTest::newRow("misspelt") << QByteArray("startls") << MailSecurity::Tls << 993;
        QTest::newRow("none") << QByteArray("none") << MailSecurity::Tls << 993;
    }

    void securityComesFromTheEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(MailSecurity, security);
        QFETCH(int, defaultPort);
        const QByteArray before = qgetenv("LARKSPAN_IMAP_SECURITY");
        const QByteArray port = qgetenv("LARKSPAN_IMAP_PORT");
        qputenv("LARKSPAN_IMAP_SECURITY", value);
        qunsetenv("LARKSPAN_IMAP_PORT");
        if (!value.isEmpty() && !ParseMailSecurity(QString::fromLatin1(value)))
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("LARKSPAN_IMAP_SECURITY is %1 but must be tls "
                                                                         "or starttls; using tls.")
                                                              .arg(QString::fromLatin1(value))));
        QCOMPARE(MailServerSecurity(), security);
        clsChilkatIMAP configured;
        UseMailServer(configured);
        QCOMPARE(configured.Security, security);
        QCOMPARE(configured.PORT, defaultPort);
        QVERIFY(configured.SSL);
        QCOMPARE(configured.IMAPServer, QStringLiteral("127.0.0.1"));
        qputenv("LARKSPAN_IMAP_PORT", "1143");
        QCOMPARE(MailServerPort(), 1143);
        qputenv("LARKSPAN_IMAP_SECURITY", before);
        if (port.isNull())
            qunsetenv("LARKSPAN_IMAP_PORT");
        else
            qputenv("LARKSPAN_IMAP_PORT", port);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestStartTls)
#include "tst_starttls.moc"
