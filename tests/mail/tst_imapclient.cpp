// The IMAP client and the session as transcripts: what the client sends, line by
// line, against what an in-memory server answers.

#include "support/ImapTranscript.h"

#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/core/AppError.h"
#include "platform/core/ProgramFolder.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"
#include "support/WireLog.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace larkspan;
using larkspan::test::ImapTranscript;
using larkspan::test::Recorded;

using Lines = QList<QByteArray>;

namespace {

const QString kInvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");
const QByteArray kItems = " (UID INTERNALDATE BODY.PEEK[])";

QByteArray Message(int n)
{
    return "From: Sender <s" + QByteArray::number(n) + "@example.org>\r\nSubject: Message " + QByteArray::number(n) +
           "\r\nDate: Mon, 02 Mar 2026 10:00:00 +0000\r\n\r\nBody " + QByteArray::number(n) + "\r\n";
}

QByteArray Literal(const QByteArray &bytes)
{
    return '{' + QByteArray::number(bytes.size()) + "}\r\n" + bytes;
}

// The server's line for FETCH n: "S: * n FETCH (UID ... BODY[] {size}" with the
// message after it.
QByteArray FetchReply(int n, const QByteArray &message)
{
    return "S: * " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(100 + n) +
           " INTERNALDATE \"02-Mar-2026 10:00:00 +0000\" BODY[] " + Literal(message) + ")";
}

Lines Fetched(const QByteArray &tag, int n)
{
    return {"C: " + tag + " FETCH " + QByteArray::number(n) + kItems, FetchReply(n, Message(n)),
            "S: " + tag + " OK Fetch completed."};
}

// Connected, greeted, and (when signedIn) logged in with LOGIN "user" "secret" as a1.
Lines Greeted(bool signedIn = false)
{
    Lines lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1] ready"};
    if (signedIn)
        lines += Lines{"C: a1 LOGIN \"user\" \"secret\"", "S: a1 OK Logged in"};
    return lines;
}

// Greeted, logged in, INBOX selected as a2 with count messages.
Lines Selected(int count)
{
    return Greeted(true) + Lines{"C: a2 SELECT \"INBOX\"", "S: * " + QByteArray::number(count) + " EXISTS",
                                 "S: a2 OK [READ-WRITE] Select completed."};
}

// The session's connect: ID as a1, then LOGIN "user" "secret" as a2.
Lines SessionSignedIn()
{
    return Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1] ready", "C: a1 ID (\"GUID\" \"1\")",
                 "S: * ID (\"name\" \"transcript\")", "S: a1 OK ID completed", "C: a2 LOGIN \"user\" \"secret\"",
                 "S: a2 OK Logged in"};
}

// The session's listing of INBOX: signed in, selected as a3 with count messages.
Lines SessionSelected(int count)
{
    return SessionSignedIn() + Lines{"C: a3 SELECT \"INBOX\"", "S: * " + QByteArray::number(count) + " EXISTS",
                                     "S: a3 OK [READ-WRITE] Select completed."};
}

// A client on a transcript, plain (as against a scripted server).
struct Wire {
    explicit Wire(Lines lines) : transcript(std::move(lines))
    {
        client.setSsl(false);
        client.setPort(143);
        client.setTransportFactory(transcript.factory());
    }
    ImapTranscript transcript;
    ImapClient client;
};

std::shared_ptr<clsChilkatIMAP> Session(ImapClient &client)
{
    auto s = std::make_shared<clsChilkatIMAP>();
    s->ChilkatIMAPObject = &client;
    s->SSL = false;
    s->PORT = 143;
    s->IMAPServer = QStringLiteral("127.0.0.1");
    s->Username = QStringLiteral("user");
    s->Password = QStringLiteral("secret");
    return s;
}

QString ErrorLogPath()
{
    return TempFolder() + QStringLiteral("/errorlog.txt");
}

} // namespace

#define VERIFY_PLAYED(transcript) QVERIFY2((transcript).played(), qPrintable((transcript).verdict()))

class TestImapClient : public QObject {
    Q_OBJECT

    static void open(Wire &wire)
    {
        QVERIFY2(wire.client.connectToServer(QStringLiteral("127.0.0.1")), qPrintable(wire.client.lastErrorText()));
    }

    static void openSelected(Wire &wire)
    {
        LARKSPAN_REQUIRE(open(wire));
        QVERIFY(wire.client.login(QStringLiteral("user"), QStringLiteral("secret")));
        QVERIFY(wire.client.selectMailbox(QStringLiteral("INBOX")));
    }

private slots:
    void init()
    {
        Recorded().clear();
        QFile::remove(ErrorLogPath());
    }

    // Sign-in

    void connectSendsIdThenLogin()
    {
        Wire wire(SessionSignedIn());
        auto s = Session(wire.client);
        QVERIFY(s->Connect());
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(wire.client.state(), ImapClient::State::Authenticated);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void loginUsesSaslPlainWhereTheServerOffersIt_data()
    {
        QTest::addColumn<Lines>("lines");
        const QByteArray credentials = "C: " + QByteArray("\0user\0secret", 12).toBase64();
        const Lines id{"C: a1 ID (\"GUID\" \"1\")", "S: a1 OK ID completed"};
        QTest::newRow("no AUTH=PLAIN: LOGIN")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 AUTH=LOGIN] ready"} + id +
                   Lines{"C: a2 LOGIN \"user\" \"secret\"", "S: a2 OK Logged in"};
        QTest::newRow("SASL-IR: one line")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready"} + id +
                   Lines{"C: a2 AUTHENTICATE PLAIN " + credentials.mid(3), "S: a2 OK Logged in"};
        QTest::newRow("AUTH=PLAIN: after the continuation")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready"} + id +
                   Lines{"C: a2 AUTHENTICATE PLAIN", "S: + ", credentials, "S: a2 OK Logged in"};
        QTest::newRow("greeting says nothing: asked")
            << Lines{"C: <connect>", "S: * OK ready"} + id +
                   Lines{"C: a2 CAPABILITY", "S: * CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR", "S: a2 OK done",
                         "C: a3 AUTHENTICATE PLAIN " + credentials.mid(3), "S: a3 OK Logged in"};
        QTest::newRow("asked, no AUTH=PLAIN")
            << Lines{"C: <connect>", "S: * OK ready"} + id +
                   Lines{"C: a2 CAPABILITY", "S: * CAPABILITY IMAP4rev1", "S: a2 OK done",
                         "C: a3 LOGIN \"user\" \"secret\"", "S: a3 OK Logged in"};
    }

    void loginUsesSaslPlainWhereTheServerOffersIt()
    {
        QFETCH(Lines, lines);
        Wire wire(lines);
        auto s = Session(wire.client);
        QVERIFY2(s->Connect(), qPrintable(wire.client.lastErrorText()));
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(wire.client.state(), ImapClient::State::Authenticated);
    }

    // Whatever the user types reaches the server as exactly two strings: quoted where
    // that is safe, as literals of announced length otherwise.
    void loginArgumentsCannotBreakTheCommand_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<Lines>("login");
        const QByteArray injection = "x\"\r\na9 DELETE INBOX\r\na10 LOGIN \"y";
        QTest::newRow("quote and backslash") << "we\"ird\\name" << "pa\"ss\\word"
                                             << Lines{"C: a1 LOGIN \"we\\\"ird\\\\name\" \"pa\\\"ss\\\\word\""};
        QTest::newRow("spaces and parentheses") << "a user" << "(x) {3}" << Lines{"C: a1 LOGIN \"a user\" \"(x) {3}\""};
        QTest::newRow("non-ASCII") << "jürgen" << "pässwörd€"
                                   << Lines{"C: a1 LOGIN {7}", "S: + go ahead", "C: jürgen {13}", "S: + go ahead",
                                            "C: pässwörd€"};
        QTest::newRow("CR LF injection") << "user" << QString::fromUtf8(injection)
                                         << Lines{"C: a1 LOGIN \"user\" {" + QByteArray::number(injection.size()) + "}",
                                                  "S: + go ahead", "C: " + injection};
        QTest::newRow("empty") << "" << "" << Lines{"C: a1 LOGIN \"\" \"\""};
    }

    void loginArgumentsCannotBreakTheCommand()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(Lines, login);
        Wire wire(Greeted() + login + Lines{"S: a1 OK Logged in"});
        LARKSPAN_REQUIRE(open(wire));
        QVERIFY(wire.client.login(user, password));
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(wire.client.state(), ImapClient::State::Authenticated);
    }

    void rawCommandIsOneLine()
    {
        Wire wire(Greeted() + Lines{"C: a1 ID (\"GUID\" \"1\")", "S: * ID (\"name\" \"transcript\")",
                                    "S: a1 OK ID completed"});
        LARKSPAN_REQUIRE(open(wire));
        QVERIFY(wire.client.sendRawCommand(QStringLiteral("NOOP\r\na9 DELETE INBOX")).isEmpty());
        QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::BadArgument);
        const QString answer = wire.client.sendRawCommand(QStringLiteral("ID (\"GUID\" \"1\")"));
        QCOMPARE(answer, QStringLiteral("* ID (\"name\" \"transcript\")\r\na1 OK ID completed\r\n"));
        VERIFY_PLAYED(wire.transcript);
    }

    void idWithoutAnswerMeansNoLogin_data()
    {
        QTest::addColumn<Lines>("answer");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<ImapClient::Failure>("failure");
        QTest::newRow("server closes") << Lines{"S: <close>"} << "The server closed the connection."
                                       << ImapClient::Failure::ConnectionLost;
        QTest::newRow("server stays silent") << Lines{} << "The server sent nothing for " << ImapClient::Failure::Timeout;
    }

    void idWithoutAnswerMeansNoLogin()
    {
        QFETCH(Lines, answer);
        QFETCH(QString, reason);
        QFETCH(ImapClient::Failure, failure);
        Wire wire(Greeted() + Lines{"C: a1 ID (\"GUID\" \"1\")"} + answer);
        // No real time passes waiting for a server that says nothing.
        if (answer.isEmpty())
            wire.client.setIdleTimeout(1);
        auto s = Session(wire.client);
        QVERIFY(!s->Connect());
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(Recorded().messages(), QStringList{kInvalidLogin + wire.client.lastErrorText()});
        QVERIFY2(wire.client.lastErrorText().startsWith(QStringLiteral("Command \"ID (\"GUID\" \"1\")\" failed: ") + reason),
                 qPrintable(wire.client.lastErrorText()));
        QCOMPARE(wire.client.lastFailure(), failure);
    }

    void connectFailuresSayWhy_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<ImapClient::Failure>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused") << false << Lines{"C: <connect>", "S: <fail Connection refused by 127.0.0.1:143.>"}
                                 << ImapClient::Failure::Connect << "Connection refused by 127.0.0.1:143.";
        QTest::newRow("certificate not trusted")
            << true << Lines{"C: <connect tls>", "S: <fail The server's certificate is not trusted: self-signed>"}
            << ImapClient::Failure::Tls << "The server's certificate is not trusted: self-signed";
        QTest::newRow("greeting BYE") << false << Lines{"C: <connect>", "S: * BYE Too many connections"}
                                      << ImapClient::Failure::Connect
                                      << "The server refused the connection. (BYE Too many connections)";
        QTest::newRow("no greeting") << false << Lines{"C: <connect>"} << ImapClient::Failure::Timeout
                                     << "Connecting to 127.0.0.1:143 failed: No answer from the server within 1 s.";
    }

    void connectFailuresSayWhy()
    {
        QFETCH(bool, tls);
        QFETCH(Lines, lines);
        QFETCH(ImapClient::Failure, failure);
        QFETCH(QString, reason);
        Wire wire(lines);
        wire.client.setSsl(tls);
        // A server that never greets is waited for no real time.
        if (lines.size() == 1)
            wire.client.setConnectTimeout(1);
        QVERIFY(!wire.client.connectToServer(QStringLiteral("127.0.0.1")));
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(wire.client.lastFailure(), failure);
        QCOMPARE(wire.client.lastErrorText(), reason);
        QCOMPARE(wire.client.state(), ImapClient::State::Disconnected);
    }

    void serverEchoOfThePasswordIsHidden_data()
    {
        QTest::addColumn<Lines>("lines");
        const QByteArray credentials = QByteArray("\0user\0Hunter2-secret", 20).toBase64();
        QTest::newRow("LOGIN") << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1] ready",
                                        "C: a1 LOGIN \"user\" \"Hunter2-secret\"",
                                        "S: a1 NO rejected a1 LOGIN \"user\" \"Hunter2-secret\""};
        QTest::newRow("AUTHENTICATE PLAIN")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] ready",
                     "C: a1 AUTHENTICATE PLAIN " + credentials, "S: a1 NO rejected a1 AUTHENTICATE PLAIN " + credentials};
        QTest::newRow("AUTHENTICATE PLAIN after +")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready", "C: a1 AUTHENTICATE PLAIN",
                     "S: + ", "C: " + credentials, "S: a1 NO rejected " + credentials};
    }

    void serverEchoOfThePasswordIsHidden()
    {
        QFETCH(Lines, lines);
        Wire wire(lines);
        bool loggedIn = true;
        QStringList logged;
        {
            test::WireLog log;
            LARKSPAN_REQUIRE(open(wire));
            loggedIn = wire.client.login(QStringLiteral("user"), QStringLiteral("Hunter2-secret"));
            logged = log.lines();
        }
        VERIFY_PLAYED(wire.transcript);
        QVERIFY(!loggedIn);
        const QString credentials = QString::fromLatin1(QByteArray("\0user\0Hunter2-secret", 20).toBase64());
        QVERIFY(wire.client.lastErrorText().startsWith(QStringLiteral("Login failed: the server answered NO rejected ")));
        QVERIFY(wire.client.lastErrorText().contains(QStringLiteral("********")));
        QVERIFY(logged.join(QLatin1Char('\n')).contains(QStringLiteral("C: a1 ")));
        for (const QString &text : logged + QStringList{wire.client.lastErrorText()})
            QVERIFY2(!text.contains(QStringLiteral("Hunter2-secret")) && !text.contains(credentials), qPrintable(text));
    }

    // STARTTLS

    void startTlsComesBeforeIdAndLogin_data()
    {
        QTest::addColumn<Lines>("lines");
        const Lines signIn{"C: a3 ID (\"GUID\" \"1\")", "S: a3 OK ID completed", "C: a4 LOGIN \"user\" \"secret\"",
                           "S: a4 OK Logged in"};
        const Lines upgraded{"C: <starttls>", "C: a2 CAPABILITY", "S: * CAPABILITY IMAP4rev1 ID", "S: a2 OK done"};
        QTest::newRow("offered in the greeting")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready", "C: a1 STARTTLS",
                     "S: a1 OK Begin TLS negotiation now."} +
                   upgraded + signIn;
        // What the server said before encryption may have been altered on the way:
        // AUTH=PLAIN from then is forgotten, so LOGIN follows what it says after.
        QTest::newRow("capabilities before TLS are forgotten")
            << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN SASL-IR] ready",
                     "C: a1 STARTTLS", "S: a1 OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] Begin TLS."} +
                   upgraded + signIn;
        QTest::newRow("asked for, then offered")
            << Lines{"C: <connect>", "S: * OK ready", "C: a1 CAPABILITY", "S: * CAPABILITY IMAP4rev1 STARTTLS",
                     "S: a1 OK done", "C: a2 STARTTLS", "S: a2 OK Begin TLS.", "C: <starttls>", "C: a3 CAPABILITY",
                     "S: * CAPABILITY IMAP4rev1 AUTH=PLAIN", "S: a3 OK done", "C: a4 ID (\"GUID\" \"1\")",
                     "S: a4 OK ID completed", "C: a5 AUTHENTICATE PLAIN", "S: + ",
                     "C: " + QByteArray("\0user\0secret", 12).toBase64(), "S: a5 OK Logged in"};
    }

    void startTlsComesBeforeIdAndLogin()
    {
        QFETCH(Lines, lines);
        Wire wire(lines);
        auto s = Session(wire.client);
        s->SSL = true;
        s->Security = MailSecurity::StartTls;
        QVERIFY2(s->Connect(), qPrintable(wire.client.lastErrorText()));
        VERIFY_PLAYED(wire.transcript);
        QVERIFY(wire.client.isEncrypted());
        QCOMPARE(wire.client.state(), ImapClient::State::Authenticated);
    }

    // Every way STARTTLS can fail ends the connect before anything else is sent: the
    // transcript ends where the client must stop.
    void startTlsFailureSendsNothingMore_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<QString>("reason");
        const QByteArray offered = "S: * OK [CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN] ready";
        QTest::newRow("not offered") << Lines{"C: <connect>", "S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready"}
                                     << "127.0.0.1:143 does not offer STARTTLS";
        QTest::newRow("not offered when asked")
            << Lines{"C: <connect>", "S: * OK ready", "C: a1 CAPABILITY", "S: * CAPABILITY IMAP4rev1 AUTH=PLAIN",
                     "S: a1 OK done"}
            << "127.0.0.1:143 does not offer STARTTLS";
        QTest::newRow("answered NO") << Lines{"C: <connect>", offered, "C: a1 STARTTLS", "S: a1 NO [UNAVAILABLE] Not now."}
                                     << "127.0.0.1:143 refused STARTTLS (the server answered NO [UNAVAILABLE] Not now.)";
        QTest::newRow("answered BAD") << Lines{"C: <connect>", offered, "C: a1 STARTTLS", "S: a1 BAD Unknown command."}
                                      << "127.0.0.1:143 refused STARTTLS (the server answered BAD Unknown command.)";
        QTest::newRow("closed instead") << Lines{"C: <connect>", offered, "C: a1 STARTTLS", "S: <close>"}
                                        << "STARTTLS failed: The server closed the connection.";
        QTest::newRow("certificate not trusted")
            << Lines{"C: <connect>", offered, "C: a1 STARTTLS", "S: a1 OK Begin TLS.", "C: <starttls>",
                     "S: <fail The server's certificate is not trusted: self-signed>"}
            << "The server's certificate is not trusted: self-signed";
        QTest::newRow("signed in before encryption")
            << Lines{"C: <connect>", "S: * PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] welcome"}
            << "127.0.0.1:143 signed in before encryption (PREAUTH)";
        // Plain text behind the OK would be read as if it had come encrypted.
        QTest::newRow("answers sent behind the OK")
            << Lines{"C: <connect>", offered, "C: a1 STARTTLS",
                     "S: a1 OK Begin TLS.\r\n* CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR"}
            << "The server sent more after agreeing to STARTTLS";
        QTest::newRow("answers sent after the OK")
            << Lines{"C: <connect>", offered, "C: a1 STARTTLS", "S: a1 OK Begin TLS.",
                     "S: * CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR"}
            << "The server sent more after agreeing to STARTTLS";
    }

    void startTlsFailureSendsNothingMore()
    {
        QFETCH(Lines, lines);
        QFETCH(QString, reason);
        Wire wire(lines);
        auto s = Session(wire.client);
        s->SSL = true;
        s->Security = MailSecurity::StartTls;
        QVERIFY(!s->Connect());
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::Tls);
        QVERIFY2(wire.client.lastErrorText().startsWith(reason), qPrintable(wire.client.lastErrorText()));
        QCOMPARE(Recorded().messages(), QStringList{kInvalidLogin + wire.client.lastErrorText()});
        QCOMPARE(wire.client.state(), ImapClient::State::Disconnected);
        QVERIFY(!wire.client.isEncrypted());
    }

    void loginNeedsEncryptionWhenItIsOn()
    {
        Wire wire(Greeted());
        LARKSPAN_REQUIRE(open(wire));
        // Turned on after a plain connect, encryption still guards the password.
        wire.client.setSsl(true);
        QVERIFY(!wire.client.login(QStringLiteral("u"), QStringLiteral("p")));
        QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::Tls);
        VERIFY_PLAYED(wire.transcript);
    }

    // Folders

    void folderNamesAreDecodedAndEncodedBack()
    {
        Wire wire(Greeted(true) +
                  Lines{"C: a2 LIST \"\" \"*\"", "S: * LIST (\\HasNoChildren) \"/\" \"INBOX\"",
                        "S: * LIST (\\HasNoChildren) \"/\" \"[Mail]/Sent\"", "S: * LIST () \"/\" \"Entw&APw-rfe\"",
                        "S: * LIST () \"/\" " + Literal("&ZeVnLIqe-"), "S: * LIST () \"/\" \"Tom &- Jerry\"",
                        "S: a2 OK List completed.", "C: a3 SELECT \"Entw&APw-rfe\"", "S: * 0 EXISTS",
                        "S: a3 OK Select completed."});
        LARKSPAN_REQUIRE(open(wire));
        QVERIFY(wire.client.login(QStringLiteral("user"), QStringLiteral("secret")));
        const auto folders = wire.client.listMailboxes(QString(), QStringLiteral("*"));
        QVERIFY(folders);
        QCOMPARE(*folders, (QStringList{"INBOX", "[Mail]/Sent", "Entwürfe", "日本語", "Tom & Jerry"}));
        QVERIFY(wire.client.selectMailbox(folders->at(2)));
        VERIFY_PLAYED(wire.transcript);
    }

    void emptyAndFailedFolderListings()
    {
        Wire wire(SessionSignedIn() + Lines{"C: a3 LIST \"\" \"*\"", "S: a3 OK List completed.", "C: a4 LIST \"\" \"*\"",
                                            "S: a4 NO [SERVERBUG] listing broke"});
        auto s = Session(wire.client);
        QVERIFY(s->Connect());
        const auto none = s->EnumMailFolders();
        QVERIFY(none);
        QVERIFY(none->isEmpty());
        QVERIFY(Recorded().messages().isEmpty());
        QVERIFY(!s->EnumMailFolders());
        QCOMPARE(Recorded().messages(),
                 QStringList{kInvalidLogin + QStringLiteral("Listing folders failed: the server answered NO [SERVERBUG] listing broke")});
        VERIFY_PLAYED(wire.transcript);
    }

    // What the server says about the selected folder, also between the answers to
    // fetches.
    void folderStateFollowsTheServer_data()
    {
        QTest::addColumn<Lines>("selectAnswer");
        QTest::addColumn<Lines>("duringFetch");
        QTest::addColumn<int>("count");
        QTest::addColumn<quint32>("uidValidity");
        QTest::newRow("UIDVALIDITY beyond 31 bits")
            << Lines{"S: * 3 EXISTS", "S: * OK [UIDVALIDITY 3857529045] UIDs valid"} << Lines{} << 3 << 3857529045u;
        QTest::newRow("UIDVALIDITY small") << Lines{"S: * OK [UIDVALIDITY 7] UIDs valid", "S: * 3 EXISTS"} << Lines{} << 3
                                           << 7u;
        QTest::newRow("no UIDVALIDITY") << Lines{"S: * 3 EXISTS"} << Lines{} << 3 << 0u;
        QTest::newRow("EXPUNGE") << Lines{"S: * 3 EXISTS", "S: * OK [UIDVALIDITY 9] ok"} << Lines{"S: * 2 EXPUNGE"} << 2
                                 << 9u;
        QTest::newRow("two EXPUNGEs") << Lines{"S: * 3 EXISTS"} << Lines{"S: * 3 EXPUNGE", "S: * 2 EXPUNGE"} << 1 << 0u;
        QTest::newRow("new mail") << Lines{"S: * 3 EXISTS"} << Lines{"S: * 5 EXISTS", "S: * 1 RECENT"} << 5 << 0u;
    }

    void folderStateFollowsTheServer()
    {
        QFETCH(Lines, selectAnswer);
        QFETCH(Lines, duringFetch);
        QFETCH(int, count);
        QFETCH(quint32, uidValidity);
        Wire wire(Greeted(true) + Lines{"C: a2 SELECT \"INBOX\""} + selectAnswer +
                  Lines{"S: a2 OK [READ-WRITE] Select completed.", "C: a3 FETCH 1" + kItems, FetchReply(1, Message(1))} +
                  duringFetch + Lines{"S: a3 OK Fetch completed."});
        LARKSPAN_REQUIRE(openSelected(wire));
        QVERIFY(wire.client.fetchSingle(1, false));
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(wire.client.numMessages(), count);
        QCOMPARE(wire.client.uidValidity(), uidValidity);
    }

    // Fetching

    void fetchReadsTheMessageInEveryForm_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("subject"); // empty: no message
        const QByteArray message = Message(1);
        QTest::newRow("literal") << "* 1 FETCH (UID 101 BODY[] " + Literal(message) + ")" << "Message 1";
        QTest::newRow("literal8") << "* 1 FETCH (UID 101 BODY[] ~" + Literal(message) + ")" << "Message 1";
        QTest::newRow("literal8, items after it")
            << "* 1 FETCH (BODY[] ~" + Literal(message) + " UID 101 INTERNALDATE \"02-Mar-2026 10:00:00 +0000\")"
            << "Message 1";
        QTest::newRow("flags only") << QByteArray("* 1 FETCH (FLAGS (\\Seen) UID 101)") << "";
        QTest::newRow("NIL body") << QByteArray("* 1 FETCH (UID 101 BODY[] NIL)") << "";
        QTest::newRow("nothing") << QByteArray() << "";
    }

    void fetchReadsTheMessageInEveryForm()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, subject);
        Lines lines = Selected(1) + Lines{"C: a3 FETCH 1" + kItems};
        if (!answer.isEmpty())
            lines.append("S: " + answer);
        lines.append("S: a3 OK Fetch completed.");
        Wire wire(lines);
        LARKSPAN_REQUIRE(openSelected(wire));
        const auto message = wire.client.fetchSingle(1, false);
        VERIFY_PLAYED(wire.transcript);
        if (subject.isEmpty()) {
            QVERIFY(!message);
            QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::MessageMissing);
            QCOMPARE(wire.client.lastErrorText(),
                     QStringLiteral("Fetching message 1 failed: the server completed the fetch without sending the message."));
        } else {
            QVERIFY2(message, qPrintable(wire.client.lastErrorText()));
            QCOMPARE(message->subject(), subject);
            QCOMPARE(message->uid(), 101);
        }
    }

    void fetchesArePipelinedWithinTheWalk()
    {
        // FETCH 1 is answered only once FETCH 2 to 4 have arrived: a client that waits
        // for each answer before asking again would never get it. The next batch
        // goes out when half the window is used up.
        Lines lines = SessionSelected(6) + Lines{"C: a4 FETCH 1" + kItems, "C: a5 FETCH 2" + kItems,
                                                 "C: a6 FETCH 3" + kItems, "C: a7 FETCH 4" + kItems};
        for (int n = 1; n <= 4; ++n)
            lines += Lines{FetchReply(n, Message(n)), "S: a" + QByteArray::number(n + 3) + " OK Fetch completed."};
        lines += Lines{"C: a8 FETCH 5" + kItems, "C: a9 FETCH 6" + kItems};
        for (int n = 5; n <= 6; ++n)
            lines += Lines{FetchReply(n, Message(n)), "S: a" + QByteArray::number(n + 3) + " OK Fetch completed."};
        Wire wire(lines);
        wire.client.setPipelineWindow(4);
        auto s = Session(wire.client);
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 6;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(spy.count(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(spy.at(i).at(7).toInt(), i + 1);
            QCOMPARE(spy.at(i).at(3).toString(), QStringLiteral("Message %1").arg(i + 1));
        }
    }

    void messagesFetchedAheadAndNotAskedForAreDropped()
    {
        Lines lines = Selected(8) + Lines{"C: a3 FETCH 1" + kItems, "C: a4 FETCH 2" + kItems, "C: a5 FETCH 3" + kItems,
                                          "C: a6 FETCH 4" + kItems};
        for (int n = 1; n <= 4; ++n)
            lines += Lines{FetchReply(n, Message(n)), "S: a" + QByteArray::number(n + 2) + " OK Fetch completed."};
        // Asking for 4 lets go of 2 and 3 and sends the next batch.
        lines += Lines{"C: a7 FETCH 5" + kItems, "C: a8 FETCH 6" + kItems, "C: a9 FETCH 7" + kItems};
        for (int n = 5; n <= 7; ++n)
            lines += Lines{FetchReply(n, Message(n)), "S: a" + QByteArray::number(n + 2) + " OK Fetch completed."};
        // 2 was let go: asking for it again goes to the server again.
        lines += Fetched("a10", 2);
        Wire wire(lines);
        wire.client.setPipelineWindow(4);
        LARKSPAN_REQUIRE(openSelected(wire));
        wire.client.setPipelineEnd(8);
        QVERIFY(wire.client.fetchSingle(1, false));
        auto fourth = wire.client.fetchSingle(4, false);
        QVERIFY(fourth);
        QCOMPARE(fourth->subject(), QStringLiteral("Message 4"));
        wire.client.setPipelineEnd(0);
        auto second = wire.client.fetchSingle(2, false);
        QVERIFY2(second, qPrintable(wire.client.lastErrorText()));
        QCOMPARE(second->subject(), QStringLiteral("Message 2"));
        VERIFY_PLAYED(wire.transcript);
    }

    // Two fetches of one message in flight: the first answer goes to the first,
    // the second to the second, never both to the first. The server sends every
    // answer before it completes any of the commands.
    void eachAnswerGoesToTheOldestFetchStillWaiting()
    {
        Lines lines = Selected(4) + Lines{"C: a3 FETCH 1" + kItems, "C: a4 FETCH 2" + kItems, "C: a5 FETCH 3" + kItems,
                                          "C: a6 FETCH 4" + kItems, FetchReply(1, Message(1)),
                                          "S: a3 OK Fetch completed.", "C: a7 FETCH 2" + kItems};
        for (int n : {2, 3, 4, 2})
            lines.append(FetchReply(n, Message(n)));
        for (const char *tag : {"a4", "a5", "a6", "a7"})
            lines.append("S: " + QByteArray(tag) + " OK Fetch completed.");
        Wire wire(lines);
        wire.client.setPipelineWindow(4);
        LARKSPAN_REQUIRE(openSelected(wire));
        wire.client.setPipelineEnd(4);
        QVERIFY(wire.client.fetchSingle(1, false));
        // The answers to 2, 3 and 4 are still on their way when the walk is let go.
        wire.client.setPipelineEnd(0);
        auto second = wire.client.fetchSingle(2, false);
        QVERIFY2(second, qPrintable(wire.client.lastErrorText()));
        QCOMPARE(second->subject(), QStringLiteral("Message 2"));
        VERIFY_PLAYED(wire.transcript);
    }

    void progressFollowsTheLiteral()
    {
        QByteArray big = Message(1) + QByteArray(200000, 'x') + "\r\n";
        Wire wire(Selected(1) + Lines{"C: a3 FETCH 1" + kItems, FetchReply(1, big), "S: a3 OK Fetch completed."});
        // The answer arrives in four reads or so, as from a socket.
        wire.transcript.setChunkSize(50000);
        LARKSPAN_REQUIRE(openSelected(wire));
        QList<int> percents;
        wire.client.bindCallbacks(this, {nullptr, [&percents](int percent) { percents.append(percent); }});
        auto message = wire.client.fetchSingle(1, false);
        wire.client.releaseCallbacks(this);
        QVERIFY(message);
        VERIFY_PLAYED(wire.transcript);
        QVERIFY2(percents.size() >= 4, qPrintable(QString::number(percents.size())));
        QVERIFY(percents.first() > 0 && percents.first() < 100);
        QCOMPARE(percents.last(), 100);
        QVERIFY(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<int>()) == percents.end());
    }

    void abortEndsAWaitAndKeepsTheConnection()
    {
        Wire wire(Selected(2) + Lines{"C: a3 FETCH 1" + kItems, FetchReply(1, Message(1)), "S: a3 OK Fetch completed."} +
                  Fetched("a4", 2));
        wire.transcript.setChunkSize(40);
        LARKSPAN_REQUIRE(openSelected(wire));
        int checks = 0;
        // Asked after the first part of the answer to FETCH 1 was read.
        wire.client.bindCallbacks(this, {[&checks] { return ++checks >= 1; }, nullptr});
        QVERIFY(!wire.client.fetchSingle(1, false));
        wire.client.releaseCallbacks(this);
        QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::Aborted);
        QCOMPARE(checks, 1);
        // The late answer to the aborted fetch is not taken for message 2.
        auto second = wire.client.fetchSingle(2, false);
        QVERIFY(second);
        QCOMPARE(second->subject(), QStringLiteral("Message 2"));
        VERIFY_PLAYED(wire.transcript);
    }

    void secondOperationWhileBusyIsRefused()
    {
        Wire wire(Selected(1) + Fetched("a3", 1));
        LARKSPAN_REQUIRE(openSelected(wire));
        bool nestedRefused = false;
        wire.client.bindCallbacks(this, {[&] {
                                             // A click handler running inside the wait.
                                             if (!nestedRefused)
                                                 nestedRefused = !wire.client.selectMailbox(QStringLiteral("INBOX")) &&
                                                                 wire.client.lastFailure() == ImapClient::Failure::Busy;
                                             return false;
                                         },
                                         nullptr});
        auto message = wire.client.fetchSingle(1, false);
        wire.client.releaseCallbacks(this);
        QVERIFY(nestedRefused);
        QVERIFY(message);
        VERIFY_PLAYED(wire.transcript);
    }

    // The session's walk

    // A message the server refuses is skipped; one whose answer holds no message
    // ends the walk with an error that names it, never skipped without a word.
    void unreadableMessages_data()
    {
        QTest::addColumn<Lines>("second");
        QTest::addColumn<QList<int>>("listed");
        QTest::addColumn<QString>("raised");
        QTest::newRow("refused: skipped")
            << Lines{"S: a5 NO [EXPUNGEISSUED] Some of the requested messages no longer exist."} << QList<int>{1, 3}
            << QString();
        QTest::newRow("answered without the message")
            << Lines{"S: * 2 FETCH (FLAGS (\\Seen))", "S: a5 OK Fetch completed."} << QList<int>{1}
            << "Fetching message 2 failed: the server completed the fetch without sending the message.";
        QTest::newRow("NIL for the message") << Lines{"S: * 2 FETCH (UID 102 BODY[] NIL)", "S: a5 OK Fetch completed."}
                                             << QList<int>{1}
                                             << "Fetching message 2 failed: the server completed the fetch without "
                                                "sending the message.";
    }

    void unreadableMessages()
    {
        QFETCH(Lines, second);
        QFETCH(QList<int>, listed);
        QFETCH(QString, raised);
        Lines lines = SessionSelected(3) + Lines{"C: a4 FETCH 1" + kItems, "C: a5 FETCH 2" + kItems,
                                                 "C: a6 FETCH 3" + kItems, FetchReply(1, Message(1)),
                                                 "S: a4 OK Fetch completed."};
        lines += second + Lines{FetchReply(3, Message(3)), "S: a6 OK Fetch completed."};
        Wire wire(lines);
        auto s = Session(wire.client);
        QList<int> seen;
        connect(s.get(), &clsChilkatIMAP::MailExtractListing, this,
                [&seen](QString, QString, QString, QString, QString, QString, QString, int uID) { seen.append(uID); });
        s->CurrentLocation = 1;
        s->MaxRecord = 3;
        QString error;
        try {
            s->StartMailExtraction(QStringLiteral("INBOX"));
        } catch (const AppError &e) {
            error = e.description();
        }
        QCOMPARE(error, raised);
        QCOMPARE(seen, listed);
        QCOMPARE(s->CurrentLocation, raised.isEmpty() ? 3 : 2);
        QVERIFY(Recorded().messages().isEmpty());
        QFile log(ErrorLogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\r\n"), raised.isEmpty() ? 6 : 4);
        VERIFY_PLAYED(wire.transcript);
    }

    void walkEndsWithTheReasonAndKeepsWhatArrivedWhole_data()
    {
        QTest::addColumn<Lines>("third");         // what the server sends for message 3
        QTest::addColumn<bool>("holdCompletions"); // the tagged OKs of 1 and 2 never come
        QTest::addColumn<QString>("reason");
        const QByteArray cut = FetchReply(3, Message(3)).left(60);
        QTest::newRow("closed inside message 3") << Lines{cut, "S: <close>"} << false << "The server closed the connection.";
        QTest::newRow("closed inside message 3, 1 and 2 not completed yet")
            << Lines{cut, "S: <close>"} << true << "The server closed the connection.";
        QTest::newRow("a 3 GB literal") << Lines{"S: * 3 FETCH (BODY[] {3000000000}\r\nFrom: x"} << false
                                        << "The server sent a message larger than 512 MB.";
        QTest::newRow("a line that never ends") << Lines{"S: * 3 FETCH (FLAGS (" + QByteArray(1100 * 1024, 'x')} << false
                                                << "The server sent a line longer than 1 MB.";
    }

    void walkEndsWithTheReasonAndKeepsWhatArrivedWhole()
    {
        QFETCH(Lines, third);
        QFETCH(bool, holdCompletions);
        QFETCH(QString, reason);
        Lines lines = SessionSelected(5);
        for (int n = 1; n <= 5; ++n)
            lines.append("C: a" + QByteArray::number(n + 3) + " FETCH " + QByteArray::number(n) + kItems);
        for (int n = 1; n <= 2; ++n) {
            lines.append(FetchReply(n, Message(n)));
            if (!holdCompletions)
                lines.append("S: a" + QByteArray::number(n + 3) + " OK Fetch completed.");
        }
        Wire wire(lines + third);
        auto s = Session(wire.client);
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 5;
        QString raised;
        try {
            s->StartMailExtraction(QStringLiteral("INBOX"));
        } catch (const AppError &error) {
            raised = error.description();
        }
        VERIFY_PLAYED(wire.transcript);
        QCOMPARE(raised, QStringLiteral("Fetching message 3 failed: ") + reason);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(s->CurrentLocation, 3);
        QCOMPARE(wire.client.state(), ImapClient::State::Disconnected);
        QFile log(ErrorLogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\r\n"), 6);
        QVERIFY(Recorded().messages().isEmpty());
    }

    // The end of a connection

    // Message 2 arrives while a callback lets the window run, and the server may
    // close right behind it. The socket raises no new readyRead for what arrived
    // meanwhile; message 2 came whole, so it is still handed out.
    void whatArrivesDuringACallbackIsRead_data()
    {
        QTest::addColumn<Lines>("after");
        QTest::addColumn<ImapClient::State>("state");
        QTest::newRow("the server stays") << Lines{} << ImapClient::State::Selected;
        QTest::newRow("the server closes behind it") << Lines{"S: <close>"} << ImapClient::State::Disconnected;
    }

    void whatArrivesDuringACallbackIsRead()
    {
        QFETCH(Lines, after);
        QFETCH(ImapClient::State, state);
        Wire wire(Selected(2) + Lines{"C: a3 FETCH 1" + kItems, "C: a4 FETCH 2" + kItems, FetchReply(1, Message(1)),
                                      "S: a3 OK Fetch completed.", FetchReply(2, Message(2)),
                                      "S: a4 OK Fetch completed."} +
                  after);
        // A client that missed the data would wait for more; it fails here instead.
        wire.client.setIdleTimeout(5000);
        LARKSPAN_REQUIRE(openSelected(wire));
        wire.client.setPipelineEnd(2);
        bool ranTheWindow = false;
        wire.client.bindCallbacks(this, {nullptr, [&](int) {
                                             if (!ranTheWindow) {
                                                 ranTheWindow = true;
                                                 QTRY_VERIFY(wire.transcript.delivered());
                                             }
                                         }});
        auto first = wire.client.fetchSingle(1, false);
        auto second = wire.client.fetchSingle(2, false);
        wire.client.releaseCallbacks(this);
        QVERIFY(ranTheWindow);
        QVERIFY(first);
        QVERIFY2(second, qPrintable(wire.client.lastErrorText()));
        QCOMPARE(second->subject(), QStringLiteral("Message 2"));
        QCOMPARE(wire.client.state(), state);
        VERIFY_PLAYED(wire.transcript);
    }

    void silentServerTimesOut()
    {
        Wire wire(Greeted(true) + Lines{"C: a2 SELECT \"INBOX\""});
        LARKSPAN_REQUIRE(open(wire));
        QVERIFY(wire.client.login(QStringLiteral("user"), QStringLiteral("secret")));
        wire.client.setIdleTimeout(1);
        QVERIFY(!wire.client.selectMailbox(QStringLiteral("INBOX")));
        QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::Timeout);
        QCOMPARE(wire.client.state(), ImapClient::State::Disconnected);
        VERIFY_PLAYED(wire.transcript);
    }

    void disconnectLogsOut()
    {
        Wire wire(Selected(0) + Lines{"C: a3 LOGOUT", "S: * BYE Logging out", "S: a3 OK Logout completed.", "S: <close>"});
        LARKSPAN_REQUIRE(openSelected(wire));
        wire.client.disconnectFromServer();
        QCOMPARE(wire.client.state(), ImapClient::State::Disconnected);
        QVERIFY(!wire.client.fetchSingle(1, false));
        QCOMPARE(wire.client.lastFailure(), ImapClient::Failure::NotConnected);
        VERIFY_PLAYED(wire.transcript);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestImapClient)
#include "tst_imapclient.moc"
