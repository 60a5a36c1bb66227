// The IMAP client over a real TCP socket, against a scripted server on loopback:
// what only a socket does (segments of any size, a close right behind the data).
// The protocol itself is tested as transcripts (tst_imapclient), TLS against Dovecot
// (tst_mailsession, tst_starttls).

#include "support/FakeImapServer.h"

#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/core/AppError.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

using namespace larkspan;
using larkspan::test::FakeImapServer;
using larkspan::test::Recorded;

class TestImapSocket : public QObject {
    Q_OBJECT

    static std::shared_ptr<clsChilkatIMAP> session(ImapClient &client, FakeImapServer &server)
    {
        auto s = std::make_shared<clsChilkatIMAP>();
        s->ChilkatIMAPObject = &client;
        s->SSL = false;
        s->PORT = server.port();
        s->IMAPServer = QStringLiteral("127.0.0.1");
        s->Username = QStringLiteral("user");
        s->Password = QStringLiteral("secret");
        return s;
    }

private slots:
    void init() { Recorded().clear(); }

    void walkOverASocket()
    {
        FakeImapServer server;
        // The large one arrives in many segments.
        server.messages = {FakeImapServer::simpleMessage(1),
                           FakeImapServer::simpleMessage(2) + QByteArray(600000, 'x') + "\r\n",
                           FakeImapServer::simpleMessage(3)};
        ImapClient client;
        auto s = session(client, server);
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 3;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(1).at(3).toString(), QStringLiteral("Message 2"));
        QCOMPARE(spy.at(1).at(5).toString().count(QLatin1Char('x')), 600000);
        QCOMPARE(server.verbs(), (QList<QByteArray>{"ID", "LOGIN", "SELECT", "FETCH", "FETCH", "FETCH"}));
        QVERIFY(Recorded().messages().isEmpty());
    }

    // The server sends part of message 3 and closes: what came whole before the
    // close is still listed.
    void closeBehindTheDataKeepsWhatArrivedWhole_data()
    {
        QTest::addColumn<bool>("holdCompletions"); // the tagged OKs of 1 and 2 never come
        QTest::newRow("1 and 2 completed") << false;
        QTest::newRow("1 and 2 not completed yet") << true;
    }

    void closeBehindTheDataKeepsWhatArrivedWhole()
    {
        QFETCH(bool, holdCompletions);
        FakeImapServer server;
        for (int n = 1; n <= 5; ++n)
            server.messages.append(FakeImapServer::simpleMessage(n));
        server.onCommand = [&](FakeImapServer &srv, const FakeImapServer::Command &c) {
            const int n = c.verb == "FETCH" ? FakeImapServer::fetchNumber(c) : 0;
            if (n == 3) {
                srv.send(FakeImapServer::fetchAnswer(3, srv.messages[2]).left(60));
                srv.closeConnection();
            } else if (holdCompletions && (n == 1 || n == 2)) {
                srv.send(FakeImapServer::fetchAnswer(n, srv.messages[n - 1]));
            } else if (n < 3) {
                srv.answerNormally(c);
            }
        };
        ImapClient client;
        auto s = session(client, server);
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 5;
        QString raised;
        try {
            s->StartMailExtraction(QStringLiteral("INBOX"));
        } catch (const AppError &error) {
            raised = error.description();
        }
        QCOMPARE(raised, QStringLiteral("Fetching message 3 failed: The server closed the connection."));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(client.state(), ImapClient::State::Disconnected);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestImapSocket)
#include "tst_imapsocket.moc"
