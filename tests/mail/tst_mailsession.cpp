// The session class against a real Dovecot over TLS.

#include "mail/ImapClient.h"
#include "mail/OleDate.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/core/AppError.h"
#include "platform/core/ProgramFolder.h"
#include "support/DovecotFixture.h"
#include "support/RecordingDialogs.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace larkspan;
using larkspan::test::DovecotFixture;
using larkspan::test::Recorded;
using larkspan::test::TestDataFolder;

namespace {

const QString kSplitSubject = QStringLiteral("Delivery pricing tomorrow garçon offer €100 Zürich ✓ mañana café coöpe");
const QString kInvalidLogin = QStringLiteral("Invalid login. Please double-check your username and password.\r\n\r\n");

QString Eml(const QString &name)
{
    return TestDataFolder() + QLatin1Char('/') + name;
}

QByteArray NumberedMessage(int n, qsizetype bodyBytes = 200)
{
    QByteArray body;
    while (body.size() < bodyBytes)
        body += "Line of message " + QByteArray::number(n) + " padding padding padding.\r\n";
    return "From: Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n) +
           "@example.org>\r\nSubject: Message " + QByteArray::number(n) +
           "\r\nDate: Mon, 02 Mar 2026 10:00:00 +0000\r\nContent-Type: text/plain\r\n\r\n" + body;
}

// Far beyond the line a server takes before login, with quotes and non-ASCII.
QString LongPassword()
{
    QString password = QStringLiteral("\"pässwörd\" \\ ");
    while (password.size() < 3000)
        password += QStringLiteral("Zürich-€-") + QString::number(password.size());
    return password;
}

} // namespace

class TestMailSession : public QObject {
    Q_OBJECT

private:
    DovecotFixture m_server;
    ImapClient m_client;

    std::shared_ptr<clsChilkatIMAP> session(const QString &password = QString())
    {
        auto s = std::make_shared<clsChilkatIMAP>();
        s->ChilkatIMAPObject = &m_client;
        s->SSL = true;
        s->PORT = m_server.port();
        s->IMAPServer = m_server.host();
        s->Username = m_server.user();
        s->Password = password.isEmpty() ? m_server.password() : password;
        return s;
    }

    QString logPath() const { return TempFolder() + QStringLiteral("/errorlog.txt"); }
    QStringList logLines() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(DovecotFixture::available(), "dovecot-imapd and openssl are needed (scripts/install-deps.sh)");
        m_server.addFolder(QStringLiteral("INBOX"),
                           QStringList{Eml("alternative.eml"), Eml("html-only.eml"), Eml("plain-only.eml")});
        QList<QByteArray> ten;
        for (int n = 1; n <= 10; ++n)
            ten.append(NumberedMessage(n, n == 5 ? 400000 : 300));
        m_server.addFolder(QStringLiteral("Ten"), ten);
        m_server.addFolder(QStringLiteral("Archive/2025"), QList<QByteArray>{NumberedMessage(1)});
        m_server.addFolder(QStringLiteral("Entwürfe & Notizen"), QList<QByteArray>{NumberedMessage(7)});
        m_server.addFolder(QStringLiteral("Mixed"),
                           QStringList{Eml("subject-utf8.eml"), Eml("subject-latin1.eml"), Eml("subject-cp1252.eml"),
                                       Eml("inline-image.eml"), Eml("attachment.eml"), Eml("no-date.eml"),
                                       Eml("malformed-header.eml"), Eml("subject-split-words.eml")});
        m_server.addAccount(QStringLiteral("long"), LongPassword());
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
    }

    void init()
    {
        Recorded().clear();
        QFile::remove(logPath());
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
    }

    void connectSendsIdBeforeLogin()
    {
        auto s = session();
        QVERIFY(s->Connect());
        QCOMPARE(m_client.state(), ImapClient::State::Authenticated);
        QVERIFY(Recorded().messages().isEmpty());
        // Dovecot records the client's ID parameters in its log when asked for it by
        // the client; the session's raw ID answer came back non-empty, or login would
        // not have been tried.
        QCOMPARE(s->LastResultCode(), 1);
    }

    // Every failure shows the one fixed message, then the client's own reason.
    void failuresNameTheirCause_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason"); // how the text after the fixed message starts
        QTest::addColumn<int>("kind");
        QTest::newRow("wrong password") << "password" << "Login failed: the server answered NO [AUTHENTICATIONFAILED] Authentication failed."
                                        << int(ImapClient::Failure::ServerRefused);
        QTest::newRow("untrusted certificate") << "certificate" << "The server's certificate is not trusted: "
                                               << int(ImapClient::Failure::Tls);
        QTest::newRow("refused connection") << "refused" << "Connection refused by 127.0.0.1:" << int(ImapClient::Failure::Connect);
        QTest::newRow("unknown folder") << "folder" << "Selecting folder \"No Such Folder\" failed: the server answered NO "
                                        << int(ImapClient::Failure::ServerRefused);
    }

    void failuresNameTheirCause()
    {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        QFETCH(int, kind);
        auto s = session(failure == QLatin1String("password") ? QStringLiteral("not-the-password") : QString());
        if (failure == QLatin1String("certificate"))
            qunsetenv("LARKSPAN_IMAP_CA_FILE");
        QTcpServer closed;
        if (failure == QLatin1String("refused")) {
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            s->PORT = closed.serverPort();
            closed.close();
        }
        if (failure == QLatin1String("folder")) {
            QVERIFY(s->Connect());
            QCOMPARE(s->GetTotalMessage(QStringLiteral("No Such Folder")), 0);
        } else {
            QVERIFY(!s->Connect());
        }
        QCOMPARE(int(m_client.lastFailure()), kind);
        QCOMPARE(Recorded().messages().size(), 1);
        const QString shown = Recorded().messages().first();
        QVERIFY2(shown.startsWith(kInvalidLogin + reason), qPrintable(shown));
        QVERIFY(!shown.contains(QStringLiteral("not-the-password")));
    }

    void anyPasswordSignsInThroughSaslPlain()
    {
        auto s = session(LongPassword());
        s->Username = QStringLiteral("long");
        QVERIFY2(s->Connect(), qPrintable(m_client.lastErrorText()));
        QCOMPARE(m_client.state(), ImapClient::State::Authenticated);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void foldersComeAsTheServerNamesThem()
    {
        auto s = session();
        QVERIFY(s->Connect());
        const auto folders = s->EnumMailFolders();
        QVERIFY(folders);
        QVERIFY(folders->contains(QStringLiteral("INBOX")));
        QVERIFY(folders->contains(QStringLiteral("Archive/2025")));
        QVERIFY(folders->contains(QStringLiteral("Entwürfe & Notizen")));
        // A decoded name selects the same folder again.
        QCOMPARE(s->GetTotalMessage(QStringLiteral("Entwürfe & Notizen")), 1);
        QCOMPARE(s->GetTotalMessage(QStringLiteral("Archive/2025")), 1);
        QCOMPARE(s->GetTotalMessage(QStringLiteral("Ten")), 10);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void unknownFolderEndsExtractionWithoutEvents()
    {
        auto s = session();
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 3;
        s->StartMailExtraction(QStringLiteral("No Such Folder"));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(Recorded().messages(), QStringList{kInvalidLogin + m_client.lastErrorText()});
        QVERIFY(logLines().isEmpty());
    }

    void wrongPasswordEndsExtractionWithBothMessages()
    {
        auto s = session(QStringLiteral("nope-nope"));
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 3;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(Recorded().messages(), (QStringList{kInvalidLogin + m_client.lastErrorText(),
                                                     QStringLiteral("Connection failed. Check username and password.")}));
    }

    void threeMessagesGiveThreeEventsAndSixLogLines()
    {
        auto s = session();
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 3;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(spy.at(i).at(7).toInt(), i + 1);
        QCOMPARE(s->CurrentLocation, 3);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Alice Example <alice@example.org>"));
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("Alice Example"));
        QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("alice@example.org"));
        QCOMPARE(spy.at(0).at(3).toString(), QStringLiteral("Quarterly figures"));
        const auto ole = ParseGeneralDate(spy.at(0).at(4).toString());
        QVERIFY(ole);
        QCOMPARE(FromOleDate(*ole).toUTC(), QDateTime(QDate(2026, 3, 3), QTime(14, 5, 9), Qt::UTC));
        QVERIFY(spy.at(0).at(5).toString().startsWith(QStringLiteral("Hello Bob,")));
        QVERIFY(spy.at(0).at(6).toString().contains(QStringLiteral("<b>attached</b>")));
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("newsletter@example.com"));
        QCOMPARE(spy.at(1).at(5).toString(), QString());

        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 6);
        const QString stars(52, QLatin1Char('*'));
        for (int i = 0; i < 6; i += 2) {
            QCOMPARE(lines[i + 1], stars);
            const qsizetype separator = lines[i].indexOf(QStringLiteral(" : "));
            QVERIFY(separator > 0);
            QVERIFY(ParseGeneralDate(lines[i].left(separator)));
        }
        // An entry a second later carries its own time.
        const auto stampOf = [](const QString &line) { return *ParseGeneralDate(line.left(line.indexOf(" : "))); };
        const qint64 second = QDateTime::currentSecsSinceEpoch();
        QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() > second, 2000);
        s->CurrentLocation = 1;
        s->MaxRecord = 1;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        const QStringList after = logLines();
        QCOMPARE(after.size(), 8);
        QVERIFY(stampOf(after.at(6)) > stampOf(lines.at(4)));
        // Reading through BODY.PEEK[] leaves the messages unread.
        QVERIFY(!QDir(m_server.folder() + "/home/" + m_server.user() + "/Maildir/cur")
                     .entryList(QDir::Files)
                     .join(' ')
                     .contains(QStringLiteral(":2,S")));
    }

    void emptyRangesFetchNothing_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("first after last") << 3 << 2;
        QTest::newRow("last zero") << 1 << 0;
    }

    void emptyRangesFetchNothing()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        auto s = session();
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = first;
        s->MaxRecord = last;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(logLines().isEmpty());
        QCOMPARE(m_client.state(), ImapClient::State::Selected);
        QCOMPARE(s->CurrentLocation, first);
    }

    void missingNumbersAreSkipped()
    {
        auto s = session();
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 0;
        s->MaxRecord = 5;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(0).at(7).toInt(), 1);
        QCOMPARE(spy.at(2).at(7).toInt(), 3);
        QCOMPARE(s->CurrentLocation, 5);
        QCOMPARE(logLines().size(), 12);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void abortDuringFetchStopsBeforeNextEvent()
    {
        auto s = session();
        QList<int> seen;
        connect(s.get(), &clsChilkatIMAP::MailExtractListing, this,
                [&seen](QString, QString, QString, QString, QString, QString, QString, int uID) { seen.append(uID); });
        int progressCalls = 0;
        // Stop is pressed while message 5 (the large one) is being fetched; whether it
        // came ahead of time or is still on its way, the walk ends before its event.
        connect(s.get(), &clsChilkatIMAP::ScrapProgress, this, [&](int) {
            ++progressCalls;
            if (s->CurrentLocation == 5)
                s->AbortProcess = true;
        });
        s->CurrentLocation = 1;
        s->MaxRecord = 10;
        s->StartMailExtraction(QStringLiteral("Ten"));
        QCOMPARE(seen, (QList<int>{1, 2, 3, 4}));
        QVERIFY(s->AbortProcess);
        QVERIFY(progressCalls > 0);
        // The connection stays in step with the server: a new session (the flag is
        // the old one's) selects on it without reconnecting.
        auto next = session();
        QCOMPARE(next->GetTotalMessage(QStringLiteral("Ten")), 10);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void droppedSessionFinishesItsRun()
    {
        auto s = session();
        std::weak_ptr<clsChilkatIMAP> watch = s;
        QList<int> seen;
        int progressAfterDrop = 0;
        bool dropped = false;
        connect(s.get(), &clsChilkatIMAP::ScrapProgress, this, [&](int) {
            if (dropped)
                ++progressAfterDrop;
        });
        connect(s.get(), &clsChilkatIMAP::MailExtractListing, this,
                [&](QString, QString, QString, QString, QString, QString, QString, int uID) {
                    seen.append(uID);
                    if (uID == 2) {
                        // The window's Stop: set the flag and let go of the session.
                        s->AbortProcess = true;
                        s.reset();
                        dropped = true;
                    }
                });
        clsChilkatIMAP *raw = s.get();
        raw->CurrentLocation = 1;
        raw->MaxRecord = 10;
        raw->StartMailExtraction(QStringLiteral("Ten"));
        QCOMPARE(seen, (QList<int>{1, 2}));
        QVERIFY(watch.expired());
        QCOMPARE(progressAfterDrop, 0);
    }

    void unwritableLogRaisesToCaller()
    {
        const QString temp = QDir(larkspan::test::TestScratchFolder()).filePath(QStringLiteral("readonly-temp"));
        QDir().mkpath(temp);
        const QByteArray previous = qgetenv("TEMP");
        qputenv("TEMP", temp.toLocal8Bit());
        // A folder in place of the log file cannot be opened for appending, even by root.
        QDir().mkpath(temp + QStringLiteral("/errorlog.txt"));
        auto s = session();
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 3;
        bool raised = false;
        try {
            s->StartMailExtraction(QStringLiteral("INBOX"));
        } catch (const AppError &error) {
            raised = true;
            QVERIFY(!error.description().isEmpty());
        }
        qputenv("TEMP", previous);
        QVERIFY(raised);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(s->CurrentLocation, 1);
    }

    void logNeverHoldsThePassword()
    {
        // A password the server rejects would be the one to leak into a log entry.
        auto s = session();
        s->CurrentLocation = 1;
        s->MaxRecord = 2;
        s->StartMailExtraction(QStringLiteral("INBOX"));
        QFile file(logPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains(m_server.password().toUtf8()));
    }

    void mixedMessagesAreDecoded()
    {
        auto s = session();
        QSignalSpy spy(s.get(), &clsChilkatIMAP::MailExtractListing);
        s->CurrentLocation = 1;
        s->MaxRecord = 8;
        s->StartMailExtraction(QStringLiteral("Mixed"));
        QCOMPARE(spy.count(), 8);
        QCOMPARE(spy.at(0).at(3).toString(), QStringLiteral("Grüße aus Köln und € 50"));
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("Jürgen Müller"));
        QCOMPARE(spy.at(1).at(3).toString(), QStringLiteral("Résumé de la réunion"));
        QCOMPARE(spy.at(2).at(3).toString(), QStringLiteral("“Special” offer – €20 off"));
        QVERIFY(spy.at(3).at(6).toString().contains(QStringLiteral("src=\"data:image/png;base64,")));
        QCOMPARE(spy.at(4).at(5).toString().trimmed(), QStringLiteral("The report is attached."));
        // No Date header: the server's arrival time stands in.
        QVERIFY(ParseGeneralDate(spy.at(5).at(4).toString()));
        QVERIFY(!spy.at(5).at(4).toString().isEmpty());
        QCOMPARE(spy.at(6).at(7).toInt(), 7);
        // A subject and a name split into several padded encoded words come out whole.
        QCOMPARE(spy.at(7).at(3).toString(), kSplitSubject);
        QCOMPARE(spy.at(7).at(0).toString(), QStringLiteral("Jürgen Müller <juergen@example.de>"));
    }

    void listingToolPrintsTheFolder()
    {
        QVERIFY2(QFileInfo::exists(ProgramFile(QStringLiteral("larkspan-list"))), "larkspan-list is not built");
        QProcess tool;
        tool.start(ProgramFile(QStringLiteral("larkspan-list")),
                   {m_server.host(), QString::number(m_server.port()), m_server.user(), m_server.password(),
                    QStringLiteral("INBOX"), QStringLiteral("2"), QStringLiteral("3")});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        const QList<QByteArray> lines = tool.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(first.value("uID").toInt(), 2);
        QCOMPARE(first.value("fromAddress").toString(), QStringLiteral("newsletter@example.com"));
        QCOMPARE(first.value("subject").toString(), QStringLiteral("Weekly news"));
        QCOMPARE(first.value("oleDate").toDouble(), *ParseGeneralDate(first.value("receivedDate").toString()));
        for (const char *key : {"from", "fromName", "plainTextBody", "htmlTextBody"})
            QVERIFY(first.contains(QLatin1String(key)));

        QProcess split;
        split.start(ProgramFile(QStringLiteral("larkspan-list")),
                    {m_server.host(), QString::number(m_server.port()), m_server.user(), m_server.password(),
                     QStringLiteral("Mixed"), QStringLiteral("8"), QStringLiteral("8")});
        QVERIFY(split.waitForFinished(60000));
        QCOMPARE(QJsonDocument::fromJson(split.readAllStandardOutput()).object().value("subject").toString(), kSplitSubject);

        QProcess bad;
        bad.start(ProgramFile(QStringLiteral("larkspan-list")),
                  {m_server.host(), QString::number(m_server.port()), m_server.user(), m_server.password(),
                   QStringLiteral("Nowhere")});
        QVERIFY(bad.waitForFinished(60000));
        QVERIFY(bad.exitCode() != 0);
        QVERIFY(bad.readAllStandardError().contains("select failed"));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestMailSession)
#include "tst_mailsession.moc"
