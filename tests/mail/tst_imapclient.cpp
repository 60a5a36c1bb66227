// The IMAP client and the session against a scripted server: what goes over the wire.

#include "support/FakeImapServer.h"

#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/core/AppError.h"
#include "platform/core/ProgramFolder.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

using namespace larkspan;
using larkspan::test::FakeImapServer;
using larkspan::test::Recorded;

namespace {
const QString kInvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");
} // namespace

class TestImapClient : public QObject {
    Q_OBJECT

    static void open(ImapClient &client, FakeImapServer &server)
    {
        client.setSsl(false);
        client.setPort(server.port());
        QVERIFY(client.connectToServer(QStringLiteral("127.0.0.1")));
    }

    static void openSelected(ImapClient &client, FakeImapServer &server)
    {
        LARKSPAN_REQUIRE(open(client, server));
        QVERIFY(client.login(QStringLiteral("u"), QStringLiteral("p")));
        QVERIFY(client.selectMailbox(QStringLiteral("INBOX")));
    }

    std::shared_ptr<clsChilkatIMAP> session(ImapClient &client, FakeImapServer &server)
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
    void init()
    {
        Recorded().clear();
        QFile::remove(TempFolder() + QStringLiteral("/errorlog.txt"));
    }

    void connectSendsIdThenLogin()
    {
        FakeImapServer server;
        ImapClient client;
        auto s = session(client, server);
        QVERIFY(s->Connect());
        QCOMPARE(server.received.size(), 2);
        QCOMPARE(server.received[0].line, QByteArray("a1 ID (\"GUID\" \"1\")"));
        QCOMPARE(server.received[1].line, QByteArray("a2 LOGIN \"user\" \"secret\""));
        QVERIFY(Recorded().messages().isEmpty());
    }

    void loginUsesSaslPlainWhereTheServerOffersIt_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<QList<QByteArray>>("lines");
        const QByteArray id = "a1 ID (\"GUID\" \"1\")";
        const QByteArray credentials = QByteArray("\0user\0secret", 12).toBase64();
        QTest::newRow("no AUTH=PLAIN: LOGIN") << QByteArray("* OK [CAPABILITY IMAP4rev1 AUTH=LOGIN] ready\r\n") << QByteArray()
                                             << QList<QByteArray>{id, "a2 LOGIN \"user\" \"secret\""};
        QTest::newRow("SASL-IR: one line") << QByteArray("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n")
                                           << QByteArray() << QList<QByteArray>{id, "a2 AUTHENTICATE PLAIN " + credentials};
        QTest::newRow("AUTH=PLAIN: after the continuation") << QByteArray("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n")
                                                            << QByteArray()
                                                            << QList<QByteArray>{id, "a2 AUTHENTICATE PLAIN", credentials};
        QTest::newRow("greeting says nothing: asked") << QByteArray("* OK ready\r\n") << QByteArray("IMAP4rev1 AUTH=PLAIN SASL-IR")
                                                      << QList<QByteArray>{id, "a2 CAPABILITY", "a3 AUTHENTICATE PLAIN " + credentials};
        QTest::newRow("asked, no AUTH=PLAIN") << QByteArray("* OK ready\r\n") << QByteArray("IMAP4rev1")
                                              << QList<QByteArray>{id, "a2 CAPABILITY", "a3 LOGIN \"user\" \"secret\""};
    }

    void loginUsesSaslPlainWhereTheServerOffersIt()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, capabilities);
        QFETCH(QList<QByteArray>, lines);
        FakeImapServer server;
        server.greeting = greeting;
        server.capabilities = capabilities;
        ImapClient client;
        auto s = session(client, server);
        QVERIFY(s->Connect());
        QList<QByteArray> received;
        for (const auto &c : server.received)
            received.append(c.line);
        QCOMPARE(received, lines);
        QCOMPARE(client.state(), ImapClient::State::Authenticated);
    }

    void loginArgumentsCannotBreakTheCommand_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("literal");
        QTest::newRow("quote and backslash") << "we\"ird\\name" << "pa\"ss\\word" << false;
        QTest::newRow("spaces and parentheses") << "a user" << "(x) {3}" << false;
        QTest::newRow("non-ASCII") << "jürgen" << "pässwörd€" << true;
        QTest::newRow("CR LF injection") << "user" << "x\"\r\na9 DELETE INBOX\r\na10 LOGIN \"y" << true;
        QTest::newRow("empty") << "" << "" << false;
    }

    void loginArgumentsCannotBreakTheCommand()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, literal);
        FakeImapServer server;
        ImapClient client;
        LARKSPAN_REQUIRE(open(client, server));
        QVERIFY(client.login(user, password));
        // One command reached the server, and it carries exactly the two strings.
        QCOMPARE(server.verbs(), QList<QByteArray>{"LOGIN"});
        const QList<QByteArray> args = FakeImapServer::arguments(server.received[0]);
        QCOMPARE(args, (QList<QByteArray>{user.toUtf8(), password.toUtf8()}));
        QCOMPARE(server.received[0].parsed.literals.size() > 0, literal);
        QCOMPARE(client.state(), ImapClient::State::Authenticated);
    }

    void rawCommandIsOneLine()
    {
        FakeImapServer server;
        ImapClient client;
        LARKSPAN_REQUIRE(open(client, server));
        QVERIFY(client.sendRawCommand(QStringLiteral("NOOP\r\na9 DELETE INBOX")).isEmpty());
        QCOMPARE(client.lastFailure(), ImapClient::Failure::BadArgument);
        QVERIFY(server.received.isEmpty());
        const QString answer = client.sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"));
        QCOMPARE(answer, QStringLiteral("* ID (\"name\" \"fake\")\r\na1 OK ID completed\r\n"));
    }

    void idWithoutAnswerMeansNoLogin_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("server closes") << true;
        QTest::newRow("server stays silent") << false;
    }

    void idWithoutAnswerMeansNoLogin()
    {
        QFETCH(bool, close);
        FakeImapServer server;
        server.onCommand = [close](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (c.verb != "ID")
                srv.answerNormally(c);
            else if (close)
                srv.closeConnection();
        };
        ImapClient client;
        client.setIdleTimeout(300);
        auto s = session(client, server);
        QVERIFY(!s->Connect());
        QCOMPARE(server.verbs(), QList<QByteArray>{"ID"});
        QCOMPARE(Recorded().messages(), QStringList{kInvalidLogin + client.lastErrorText()});
        QVERIFY2(client.lastErrorText().startsWith(QStringLiteral("Command \"ID (\"GUID\" \"1\")\" failed: ") +
                                                   (close ? QStringLiteral("The server closed the connection.")
                                                          : QStringLiteral("The server sent nothing for "))),
                 qPrintable(client.lastErrorText()));
        QCOMPARE(client.lastFailure(), close ? ImapClient::Failure::ConnectionLost : ImapClient::Failure::Timeout);
    }

    void greetingByeAndSilenceFailConnect()
    {
        FakeImapServer refusing;
        refusing.greeting = "* BYE Too many connections\r\n";
        ImapClient client;
        client.setSsl(false);
        client.setPort(refusing.port());
        QVERIFY(!client.connectToServer(QStringLiteral("127.0.0.1")));
        QVERIFY2(client.lastErrorText().contains(QStringLiteral("Too many connections")), qPrintable(client.lastErrorText()));

        FakeImapServer silent;
        silent.greeting.clear();
        client.setPort(silent.port());
        client.setConnectTimeout(300);
        QVERIFY(!client.connectToServer(QStringLiteral("127.0.0.1")));
        QCOMPARE(client.lastFailure(), ImapClient::Failure::Timeout);
        QCOMPARE(client.state(), ImapClient::State::Disconnected);
    }

    void folderNamesAreDecodedAndEncodedBack()
    {
        FakeImapServer server;
        server.folders = {"INBOX", "[Mail]/Sent", "Entw&APw-rfe", "&ZeVnLIqe-", "Tom &- Jerry"};
        ImapClient client;
        LARKSPAN_REQUIRE(open(client, server));
        QVERIFY(client.login(QStringLiteral("u"), QStringLiteral("p")));
        const auto folders = client.listMailboxes(QString(), QStringLiteral("*"));
        QVERIFY(folders);
        QCOMPARE(*folders, (QStringList{"INBOX", "[Mail]/Sent", "Entwürfe", "日本語", "Tom & Jerry"}));
        QCOMPARE(server.received.last().line, QByteArray("a2 LIST \"\" \"*\""));
        QVERIFY(client.selectMailbox(folders->at(2)));
        QCOMPARE(server.received.last().line, QByteArray("a3 SELECT \"Entw&APw-rfe\""));
    }

    void emptyAndFailedFolderListings()
    {
        FakeImapServer server;
        server.folders.clear();
        ImapClient client;
        auto s = session(client, server);
        QVERIFY(s->Connect());
        const auto none = s->EnumMailFolders();
        QVERIFY(none);
        QVERIFY(none->isEmpty());
        QVERIFY(Recorded().messages().isEmpty());

        server.onCommand = [](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (c.verb == "LIST")
                srv.send(c.tag + " NO [SERVERBUG] listing broke\r\n");
            else
                srv.answerNormally(c);
        };
        QVERIFY(!s->EnumMailFolders());
        QCOMPARE(Recorded().messages(),
                 QStringList{kInvalidLogin + QStringLiteral("Listing folders failed: the server answered NO [SERVERBUG] listing broke")});
    }

    void fetchesArePipelinedWithinTheWalk()
    {
        FakeImapServer server;
        for (int n = 1; n <= 6; ++n)
            server.messages.append(FakeImapServer::simpleMessage(n));
        // FETCH 1 is answered only once FETCH 2 has arrived: a client that waits for
        // each answer before asking again would never get it.
        QList<FakeImapServer::Command> held;
        server.onCommand = [&held](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (c.verb != "FETCH") {
                srv.answerNormally(c);
                return;
            }
            held.append(c);
            if (FakeImapServer::fetchNumber(c) == 1)
                return;
            for (const auto &h : held)
                srv.answerNormally(h);
            held.clear();
        };
        ImapClient client;
        client.setPipelineWindow(4);
        auto s = session(client, server);
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 6;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(spy.at(i).at(7).toInt(), i + 1);
            QCOMPARE(spy.at(i).at(3).toString(), QStringLiteral("Message %1").arg(i + 1));
        }
        QList<int> asked;
        for (const auto &c : server.received) {
            if (c.verb == "FETCH") {
                asked.append(FakeImapServer::fetchNumber(c));
                QVERIFY(c.line.endsWith("(UID INTERNALDATE BODY.PEEK[])"));
            }
        }
        QCOMPARE(asked, (QList<int>{1, 2, 3, 4, 5, 6}));
    }

    void messagesFetchedAheadAndNotAskedForAreDropped()
    {
        FakeImapServer server;
        for (int n = 1; n <= 8; ++n)
            server.messages.append(FakeImapServer::simpleMessage(n));
        ImapClient client;
        client.setPipelineWindow(4);
        LARKSPAN_REQUIRE(openSelected(client, server));
        client.setPipelineEnd(8);
        auto first = client.fetchSingle(1, false);
        QVERIFY(first);
        auto fourth = client.fetchSingle(4, false);
        QVERIFY(fourth);
        QCOMPARE(fourth->subject(), QStringLiteral("Message 4"));
        client.setPipelineEnd(0);
        // 2 was fetched ahead, then dropped: asking again goes to the server again.
        auto second = client.fetchSingle(2, false);
        QVERIFY(second);
        QCOMPARE(second->subject(), QStringLiteral("Message 2"));
        int asksForTwo = 0;
        for (const auto &c : server.received)
            asksForTwo += c.verb == "FETCH" && FakeImapServer::fetchNumber(c) == 2;
        QCOMPARE(asksForTwo, 2);
    }

    void progressFollowsTheLiteral()
    {
        FakeImapServer server;
        QByteArray big = FakeImapServer::simpleMessage(1);
        big += QByteArray(200000, 'x') + "\r\n";
        const QByteArray answer = FakeImapServer::fetchAnswer(1, big);
        const qsizetype half = answer.size() / 2;
        QByteArray fetchTag;
        server.onCommand = [&](FakeImapServer &srv, const FakeImapServer::Command &c) {
            fetchTag = c.tag;
            if (c.verb == "FETCH")
                srv.send(answer.left(half));
            else
                srv.answerNormally(c);
        };
        ImapClient client;
        LARKSPAN_REQUIRE(openSelected(client, server));
        QList<int> percents;
        bool restSent = false;
        client.bindCallbacks(this, {nullptr, [&](int percent) {
                                        percents.append(percent);
                                        // The rest comes only once the first half was reported.
                                        if (!restSent && percent > 0 && percent < 100) {
                                            restSent = true;
                                            server.send(answer.mid(half) + fetchTag + " OK FETCH completed\r\n");
                                        }
                                    }});
        auto message = client.fetchSingle(1, false);
        QVERIFY(message);
        QVERIFY(percents.size() >= 2);
        QVERIFY(percents.first() > 0 && percents.first() < 100);
        QCOMPARE(percents.last(), 100);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        client.releaseCallbacks(this);
    }

    void abortEndsAWaitAndKeepsTheConnection()
    {
        FakeImapServer server;
        server.messages = {FakeImapServer::simpleMessage(1), FakeImapServer::simpleMessage(2)};
        QList<FakeImapServer::Command> held;
        server.onCommand = [&held](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (c.verb == "FETCH" && FakeImapServer::fetchNumber(c) == 1)
                held.append(c); // answered late
            else
                srv.answerNormally(c);
        };
        ImapClient client;
        LARKSPAN_REQUIRE(openSelected(client, server));
        int checks = 0;
        client.bindCallbacks(this, {[&checks] { return ++checks >= 3; }, nullptr});
        QVERIFY(!client.fetchSingle(1, false));
        QCOMPARE(client.lastFailure(), ImapClient::Failure::Aborted);
        QCOMPARE(checks, 3);
        client.releaseCallbacks(this);
        // The late answer to the aborted fetch must not be taken for message 2.
        server.answerNormally(held.first());
        auto second = client.fetchSingle(2, false);
        QVERIFY(second);
        QCOMPARE(second->subject(), QStringLiteral("Message 2"));
    }

    void walkEndsWithTheReasonAndKeepsWhatArrivedWhole_data()
    {
        QTest::addColumn<QByteArray>("third");   // what the server sends for message 3
        QTest::addColumn<bool>("closeAfter");     // and whether it closes the connection then
        QTest::addColumn<bool>("holdCompletions"); // the tagged OKs of 1 and 2 never come
        QTest::addColumn<QString>("reason");
        const QByteArray cut = FakeImapServer::fetchAnswer(3, FakeImapServer::simpleMessage(3)).left(60);
        QTest::newRow("closed inside message 3") << cut << true << false << "The server closed the connection.";
        QTest::newRow("closed inside message 3, 1 and 2 not completed yet")
            << cut << true << true << "The server closed the connection.";
        QTest::newRow("a 3 GB literal") << QByteArray("* 3 FETCH (BODY[] {3000000000}\r\nFrom: x\r\n") << false << false
                                        << "The server sent a message larger than 512 MB.";
        QTest::newRow("a line that never ends") << "* 3 FETCH (FLAGS (" + QByteArray(1100 * 1024, 'x') << false << false
                                                << "The server sent a line longer than 1 MB.";
    }

    void walkEndsWithTheReasonAndKeepsWhatArrivedWhole()
    {
        QFETCH(QByteArray, third);
        QFETCH(bool, closeAfter);
        QFETCH(bool, holdCompletions);
        QFETCH(QString, reason);
        FakeImapServer server;
        for (int n = 1; n <= 5; ++n)
            server.messages.append(FakeImapServer::simpleMessage(n));
        server.onCommand = [&](FakeImapServer &srv, const FakeImapServer::Command &c) {
            const int n = c.verb == "FETCH" ? FakeImapServer::fetchNumber(c) : 0;
            if (n == 3) {
                srv.send(third);
                if (closeAfter)
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
        QCOMPARE(raised, QStringLiteral("Fetching message 3 failed: ") + reason);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(s->CurrentLocation, 3);
        QCOMPARE(client.state(), ImapClient::State::Disconnected);
        QFile log(TempFolder() + QStringLiteral("/errorlog.txt"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\r\n"), 6);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void silentServerTimesOut()
    {
        FakeImapServer server;
        server.onCommand = [](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (c.verb != "SELECT")
                srv.answerNormally(c);
        };
        ImapClient client;
        client.setIdleTimeout(250);
        LARKSPAN_REQUIRE(open(client, server));
        QVERIFY(client.login(QStringLiteral("u"), QStringLiteral("p")));
        QVERIFY(!client.selectMailbox(QStringLiteral("INBOX")));
        QCOMPARE(client.lastFailure(), ImapClient::Failure::Timeout);
        QCOMPARE(client.state(), ImapClient::State::Disconnected);
    }

    void secondOperationWhileBusyIsRefused()
    {
        FakeImapServer server;
        server.messages = {FakeImapServer::simpleMessage(1)};
        QList<FakeImapServer::Command> held;
        server.onCommand = [&held](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (c.verb == "FETCH")
                held.append(c);
            else
                srv.answerNormally(c);
        };
        ImapClient client;
        LARKSPAN_REQUIRE(openSelected(client, server));
        bool nestedRefused = false;
        client.bindCallbacks(this, {[&] {
                                        // A click handler running inside the wait.
                                        if (!nestedRefused) {
                                            nestedRefused = !client.selectMailbox(QStringLiteral("INBOX")) &&
                                                            client.lastFailure() == ImapClient::Failure::Busy;
                                            server.answerNormally(held.first());
                                        }
                                        return false;
                                    },
                                    nullptr});
        auto message = client.fetchSingle(1, false);
        client.releaseCallbacks(this);
        QVERIFY(nestedRefused);
        QVERIFY(message);
    }

    void disconnectLogsOut()
    {
        FakeImapServer server;
        ImapClient client;
        LARKSPAN_REQUIRE(openSelected(client, server));
        client.disconnectFromServer();
        QCOMPARE(server.received.last().verb, QByteArray("LOGOUT"));
        QCOMPARE(client.state(), ImapClient::State::Disconnected);
        QVERIFY(!client.fetchSingle(1, false));
        QCOMPARE(client.lastFailure(), ImapClient::Failure::NotConnected);
    }

    void serverEchoOfThePasswordIsHidden_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::newRow("LOGIN") << QByteArray("* OK [CAPABILITY IMAP4rev1] ready\r\n");
        QTest::newRow("AUTHENTICATE PLAIN") << QByteArray("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready\r\n");
        QTest::newRow("AUTHENTICATE PLAIN after +") << QByteArray("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n");
    }

    void serverEchoOfThePasswordIsHidden()
    {
        QFETCH(QByteArray, greeting);
        FakeImapServer server;
        server.greeting = greeting;
        QByteArray awaitingCredentials;
        server.onCommand = [&awaitingCredentials](FakeImapServer &srv, const FakeImapServer::Command &c) {
            if (!awaitingCredentials.isEmpty()) {
                srv.send(awaitingCredentials + " NO rejected " + c.line + "\r\n"); // the line after "+"
                awaitingCredentials.clear();
            } else if (c.verb == "AUTHENTICATE" && c.line.count(' ') < 3) {
                awaitingCredentials = c.tag;
                srv.send("+ \r\n");
            } else if (c.verb == "LOGIN" || c.verb == "AUTHENTICATE") {
                srv.send(c.tag + " NO rejected " + c.line + "\r\n");
            } else {
                srv.answerNormally(c);
            }
        };
        // Everything the wire log writes is kept, to look for the password in it.
        static QStringList logged;
        logged.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("larkspan.*.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { logged << text; });
        ImapClient client;
        LARKSPAN_REQUIRE(open(client, server));
        const bool loggedIn = client.login(QStringLiteral("user"), QStringLiteral("Hunter2-secret"));
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(!loggedIn);
        const QString credentials = QString::fromLatin1(QByteArray("\0user\0Hunter2-secret", 20).toBase64());
        QVERIFY(client.lastErrorText().startsWith(QStringLiteral("Login failed: the server answered NO rejected ")));
        QVERIFY(client.lastErrorText().contains(QStringLiteral("********")));
        QVERIFY(logged.join(QLatin1Char('\n')).contains(QStringLiteral("C: a1 ")));
        for (const QString &text : logged + QStringList{client.lastErrorText()}) {
            QVERIFY2(!text.contains(QStringLiteral("Hunter2-secret")) && !text.contains(credentials), qPrintable(text));
        }
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestImapClient)
#include "tst_imapclient.moc"
