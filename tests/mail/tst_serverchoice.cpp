// Which server a session signs in to: the environment over the settings over the
// mail service's own; and the providers' table, looked up by the user's address.
#include "mail/MailProviders.h"
#include "mail/ServerAddress.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

using namespace larkspan;

Q_DECLARE_METATYPE(larkspan::MailSecurity)

class ServerChoiceTest : public QObject {
    Q_OBJECT

    QList<MailProvider> m_providers;

private slots:
    void initTestCase()
    {
        QFile table(QStringLiteral(LARKSPAN_TEST_DATA_DIR "/../../data/providers.json"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        m_providers = ParseMailProviders(table.readAll());
        QVERIFY(!m_providers.isEmpty());
    }

    void environmentOverSettingsOverTheDefault_data()
    {
        QTest::addColumn<QByteArray>("envHost");
        QTest::addColumn<QByteArray>("envPort");
        QTest::addColumn<QByteArray>("envSecurity");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("wantHost");
        QTest::addColumn<int>("wantPort");
        QTest::addColumn<MailSecurity>("wantSecurity");
        const QByteArray none;
        QTest::newRow("nothing: the service") << none << none << none << "" << "" << "" << "imap.mail.yahoo.com" << 993 << MailSecurity::Tls;
        QTest::newRow("settings") << none << none << none << "mail.example.org" << "1993" << "tls" << "mail.example.org" << 1993 << MailSecurity::Tls;
        QTest::newRow("starttls: port 143") << none << none << none << "mail.example.org" << "" << "STARTTLS" << "mail.example.org" << 143 << MailSecurity::StartTls;
        QTest::newRow("unusable values") << none << none << none << " " << "70000" << "plain" << "imap.mail.yahoo.com" << 993 << MailSecurity::Tls;
        QTest::newRow("environment wins") << QByteArray("127.0.0.1") << QByteArray("2143") << QByteArray("starttls") << "mail.example.org" << "993" << "tls" << "127.0.0.1" << 2143 << MailSecurity::StartTls;
        QTest::newRow("environment host only") << QByteArray("127.0.0.1") << none << none << "mail.example.org" << "1143" << "starttls" << "127.0.0.1" << 1143 << MailSecurity::StartTls;
    }

    void environmentOverSettingsOverTheDefault()
    {
        QFETCH(QByteArray, envHost);
        QFETCH(QByteArray, envPort);
        QFETCH(QByteArray, envSecurity);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, security);
        const auto setOrUnset = [](const char *name, const QByteArray &value) {
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        };
        setOrUnset("LARKSPAN_IMAP_HOST", envHost);
        setOrUnset("LARKSPAN_IMAP_PORT", envPort);
        setOrUnset("LARKSPAN_IMAP_SECURITY", envSecurity);
        const MailServer server = ChooseMailServer(ServerChoice{host, port, security});
        // Back on loopback before anything can fail.
        qputenv("LARKSPAN_IMAP_HOST", "127.0.0.1");
        qputenv("LARKSPAN_IMAP_SECURITY", "tls");
        qunsetenv("LARKSPAN_IMAP_PORT");
        QTEST(server.host, "wantHost");
        QTEST(server.port, "wantPort");
        QTEST(server.security, "wantSecurity");
    }

    void providersByTheAddressDomain_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<MailSecurity>("security");
        QTest::addColumn<bool>("hasNote");
        QTest::newRow("gmail") << "ada@gmail.com" << "imap.gmail.com" << 993 << MailSecurity::Tls << true;
        QTest::newRow("googlemail, any case") << "Ada@GoogleMail.COM" << "imap.gmail.com" << 993 << MailSecurity::Tls << true;
        QTest::newRow("hotmail") << "ada@hotmail.com" << "outlook.office365.com" << 993 << MailSecurity::Tls << true;
        QTest::newRow("me.com") << "ada@me.com" << "imap.mail.me.com" << 993 << MailSecurity::Tls << true;
        QTest::newRow("yahoo.co.uk") << "ada@yahoo.co.uk" << "imap.mail.yahoo.com" << 993 << MailSecurity::Tls << true;
        QTest::newRow("gmx.de") << "ada@gmx.de" << "imap.gmx.net" << 993 << MailSecurity::Tls << true;
        QTest::newRow("bk.ru") << "ada@bk.ru" << "imap.mail.ru" << 993 << MailSecurity::Tls << true;
        QTest::newRow("proton: the bridge here") << "ada@proton.me" << "127.0.0.1" << 1143 << MailSecurity::StartTls << true;
        QTest::newRow("posteo: no note") << "ada@posteo.de" << "posteo.de" << 993 << MailSecurity::Tls << false;
        QTest::newRow("unknown domain") << "ada@example.org" << "" << 0 << MailSecurity::Tls << false;
        QTest::newRow("no address") << "gmail.com" << "" << 0 << MailSecurity::Tls << false;
    }

    void providersByTheAddressDomain()
    {
        QFETCH(QString, user);
        QFETCH(QString, host);
        const std::optional<MailProvider> provider = ProviderForAddress(user, m_providers);
        QCOMPARE(provider ? provider->server.host : QString(), host);
        if (!provider)
            return;
        QTEST(provider->server.port, "port");
        QTEST(provider->server.security, "security");
        QTEST(!provider->loginNote.isEmpty(), "hasNote");
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ServerChoiceTest)
#include "tst_serverchoice.moc"
