// Turning raw message octets into the fields the session hands on.

#include "mail/MailMessage.h"
#include "mail/OleDate.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

using larkspan::FromOleDate;
using larkspan::MailMessage;

namespace {

QByteArray ReadData(const QString &name)
{
    QFile file(larkspan::test::TestDataFolder() + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<MailMessage> Read(const QString &name, const QByteArray &internalDate = {})
{
    const QByteArray raw = ReadData(name);
    if (raw.isEmpty())
        qWarning("missing test message %s", qPrintable(name));
    return MailMessage::fromBytes(raw, internalDate);
}

QDateTime Utc(const MailMessage &m)
{
    return FromOleDate(m.date()).toUTC();
}

} // namespace

class TestMailMessage : public QObject {
    Q_OBJECT

private slots:
    void alternativeGivesBothBodies()
    {
        auto m = Read("alternative.eml");
        QCOMPARE(m->fromText(), QStringLiteral("Alice Example <alice@example.org>"));
        QCOMPARE(m->senderName(), QStringLiteral("Alice Example"));
        QCOMPARE(m->senderAddress(), QStringLiteral("alice@example.org"));
        QCOMPARE(m->plainTextBody(), QStringLiteral("Hello Bob,\r\nthe figures are attached."));
        QVERIFY(m->htmlBody().startsWith(QStringLiteral("<html><body><p>Hello Bob,</p>")));
        QCOMPARE(Utc(*m), QDateTime(QDate(2026, 3, 3), QTime(14, 5, 9), Qt::UTC));
    }

    void singleBodyMessages()
    {
        auto html = Read("html-only.eml");
        QCOMPARE(html->fromText(), QStringLiteral("newsletter@example.com"));
        QCOMPARE(html->senderName(), QString());
        QCOMPARE(html->plainTextBody(), QString());
        QVERIFY(html->htmlBody().contains(QStringLiteral("<h1>News</h1>")));
        QCOMPARE(Utc(*html), QDateTime(QDate(2026, 3, 4), QTime(7, 0), Qt::UTC));

        auto plain = Read("plain-only.eml");
        QCOMPARE(plain->senderName(), QStringLiteral("Carol Q. Writer"));
        QCOMPARE(plain->htmlBody(), QString());
        QVERIFY(plain->plainTextBody().startsWith(QStringLiteral("Line one.\r\nLine two.")));
        // 23:59:59 -08:00 is the next day in UTC.
        QCOMPARE(Utc(*plain), QDateTime(QDate(2026, 3, 6), QTime(7, 59, 59), Qt::UTC));
    }

    void encodedWordsAndCharsets_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("body");
        QTest::newRow("UTF-8, folded, base64 body")
            << "subject-utf8.eml" << "Grüße aus Köln und € 50" << "Jürgen Müller" << "Grüße, Jürgen — 50 €";
        QTest::newRow("ISO-8859-1, quoted-printable body")
            << "subject-latin1.eml" << "Résumé de la réunion" << "François Léger"
            << "Le résumé est prêt. Une ligne très longue qui est coupée par un saut doux.";
        QTest::newRow("Windows-1252") << "subject-cp1252.eml" << "“Special” offer – €20 off" << "Sales"
                                      << "“Quoted” and € sign.";
    }

    void encodedWordsAndCharsets()
    {
        QFETCH(QString, file);
        QFETCH(QString, subject);
        QFETCH(QString, name);
        QFETCH(QString, body);
        auto m = Read(file);
        QCOMPARE(m->subject(), subject);
        QCOMPARE(m->senderName(), name);
        QCOMPARE(m->plainTextBody().trimmed(), body);
    }

    // Texts that senders split into several encoded words come out whole.
    void headerTextsDecodeWhole_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("text"); // the subject, or the sender's name for a From header
        QTest::newRow("padded words in sequence, folded")
            << QByteArray("Subject: =?utf-8?b?RGVsaXZlcnkgcHJpY2luZyB0b21vcnJvdyBnYXLDp29uIG9mZmVyIA==?=\r\n"
                          " =?utf-8?b?4oKsMTAwIFrDvHJpY2gg4pyTIG1hw7FhbmEgY2Fmw6kgY2/DtnBl?=")
            << "Delivery pricing tomorrow garçon offer €100 Zürich ✓ mañana café coöpe";
        QTest::newRow("a character split across words") << QByteArray("Subject: =?UTF-8?Q?caf=C3?= =?UTF-8?Q?=A9_ouvert?=")
                                                        << "café ouvert";
        QTest::newRow("B and Q mixed, unpadded B") << QByteArray("Subject: =?utf-8?b?SGVs?=\t=?utf-8?q?lo_W=c3=b6rld?= =?utf-8?b?w6k?=")
                                                   << "Hello Wörldé";
        QTest::newRow("two charsets side by side, plain text kept")
            << QByteArray("Subject: Re: =?iso-8859-1?q?Fran=E7ois?= =?windows-1252?q?_=80?= et moi") << "Re: François € et moi";
        QTest::newRow("word glued to text, unknown charset") << QByteArray("Subject: Jo=?utf-8?q?=C3=A9?=l =?x-unknown?q?abc?=")
                                                            << "Joél abc";
        QTest::newRow("a word that cannot be decoded stays") << QByteArray("Subject: =?utf-8?b?#bad#?= ok") << "=?utf-8?b?#bad#?= ok";
        QTest::newRow("words inside a quoted display name")
            << QByteArray("From: \"=?utf-8?q?M=C3=BCller,?= =?utf-8?b?IEjDpG5z?=\" <hans@example.de>") << "Müller, Häns";
        QTest::newRow("display name split across words")
            << QByteArray("From: =?utf-8?b?SsO8cmdlbiA=?=\r\n =?utf-8?b?TcO8bGxlcg==?= <j@example.de>") << "Jürgen Müller";
    }

    void headerTextsDecodeWhole()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, text);
        auto m = MailMessage::fromBytes(header + "\r\nContent-Type: text/plain\r\n\r\nbody\r\n");
        QCOMPARE(header.startsWith("From:") ? m->senderName() : m->subject(), text);
    }

    void inlineImageBecomesDataUrl()
    {
        auto m = Read("inline-image.eml");
        const QString html = m->htmlBody();
        QVERIFY2(html.contains(QStringLiteral("<img src=\"data:image/png;base64,iVBORw0KGgo")), qPrintable(html));
        QVERIFY(!html.contains(QStringLiteral("cid:dot@larkspan.test")));
        // A reference to a part the message does not have stays as it is.
        QVERIFY(html.contains(QStringLiteral("cid:missing@larkspan.test")));
        QCOMPARE(m->plainTextBody().trimmed(), QStringLiteral("See the dot."));
    }

    void attachmentsAreNotBodies()
    {
        auto m = Read("attachment.eml");
        QCOMPARE(m->plainTextBody().trimmed(), QStringLiteral("The report is attached."));
        QVERIFY(!m->plainTextBody().contains(QStringLiteral("ATTACHMENT TEXT")));
        QCOMPARE(m->htmlBody(), QString());
    }

    void recipientsAndAttachments()
    {
        const QByteArray raw = ReadData(QStringLiteral("complete-record.eml"));
        auto m = MailMessage::fromBytes(raw, {}, MailMessage::Attachments::WithContents);
        QCOMPARE(m->toText(), QStringLiteral("Jürgen Müller <juergen@example.org>, ann@example.org"));
        QCOMPARE(m->ccText(), QStringLiteral("Team <Ops> <ops@example.org>"));
        QCOMPARE(m->messageId(), QStringLiteral("<whole-record-1@example.org>"));
        QVERIFY(m->htmlBody().contains(QStringLiteral("data:image/png;base64,")));

        // The picture the HTML shows is not listed; the one nobody shows is. Names are
        // decoded (RFC 2231, split RFC 2047), stripped of folders and made unique;
        // parts without a name get one from their type.
        const QStringList expected = {
            "attachment-1.png|image/png",
            "fix.diff|text/x-diff",
            "résumé.pdf|application/pdf",
            "Quartalsbericht für die Geschäftsführung.txt|text/plain",
            "attachment-5.zip|application/zip",
            "passwd|application/octet-stream",
            "fix (2).diff|text/x-diff",
            "attachment-8.eml|message/rfc822",
        };
        QStringList listed;
        for (const auto &attachment : m->attachments()) {
            listed << attachment.fileName + QLatin1Char('|') + attachment.mimeType;
            QCOMPARE(attachment.size, attachment.content.size());
        }
        QCOMPARE(listed, expected);
        const auto &a = m->attachments();
        QCOMPARE(a[1].content, QByteArray("--- a\r\n+++ b\r\n@@ -1 +1 @@\r\n-old\r\n+new"));
        QCOMPARE(a[3].content, QByteArray("Ums\xc3\xa4tze stiegen."));
        QCOMPARE(a[4].content.size(), 768);
        QVERIFY(a[2].content.startsWith("%PDF-1.4\n%\xc7\xec"));
        // The attached message comes out as the outer message carries it.
        const qsizetype inner = raw.indexOf("From: Old Sender");
        QCOMPARE(a[7].content, raw.mid(inner, raw.indexOf("\r\n--mix--") - inner));

        // Listing reads no attachment; describing gives sizes without contents.
        QVERIFY(MailMessage::fromBytes(raw)->attachments().isEmpty());
        const auto described = MailMessage::fromBytes(raw, {}, MailMessage::Attachments::Describe);
        QCOMPARE(described->attachments().size(), expected.size());
        QCOMPARE(described->attachments()[4].size, 768);
        QVERIFY(described->attachments()[4].content.isEmpty());
        QVERIFY(MailMessage::fromBytes(ReadData(QStringLiteral("inline-image.eml")), {},
                                       MailMessage::Attachments::Describe)->attachments().isEmpty());
    }

    // An attachment's octets come back exactly as sent, whatever its transfer encoding.
    void transferEncodingsUndone_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("octets");
        QTest::newRow("quoted-printable, soft breaks") << QByteArray("quoted-printable")
                                                      << QByteArray("caf=C3=A9 =\r\nau lait=3D=\r\n\r\nnext")
                                                      << QByteArray("caf\xC3\xA9 au lait=\r\nnext");
        QTest::newRow("quoted-printable, stray equals signs")
            << QByteArray("Quoted-Printable") << QByteArray("a=ZZb =4") << QByteArray("a=ZZb =4");
        QTest::newRow("quoted-printable, doubled equals sign at the end")
            << QByteArray("quoted-printable") << QByteArray("x==4") << QByteArray("x==4");
        QTest::newRow("quoted-printable, soft break at the end") << QByteArray("quoted-printable") << QByteArray("end=\r\n=")
                                                                << QByteArray("end");
        QTest::newRow("base64, broken lines and junk") << QByteArray("base64") << QByteArray("aGVs\r\nbG8g!d29y\nbGQ=\r\n")
                                                       << QByteArray("hello world");
        QTest::newRow("8bit, bare line feeds") << QByteArray("8bit") << QByteArray("eins\nzwei \xC3\xBC\n\nend")
                                               << QByteArray("eins\nzwei \xC3\xBC\n\nend");
        QTest::newRow("uuencode") << QByteArray("x-uuencode") << QByteArray("begin 644 f\n&:&DL('5U\n`\nend\n")
                                  << QByteArray("hi, uu");
        QTest::newRow("unknown encoding, taken as is") << QByteArray("x-custom") << QByteArray("=41 as is")
                                                       << QByteArray("=41 as is");
    }

    void transferEncodingsUndone()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, octets);
        const QByteArray raw = "From: a@example.org\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                               "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
                               "--b\r\nContent-Type: application/octet-stream; name=\"f.bin\"\r\n"
                               "Content-Transfer-Encoding: " + encoding + "\r\n\r\n" + sent + "\r\n--b--\r\n";
        auto m = MailMessage::fromBytes(raw, {}, MailMessage::Attachments::WithContents);
        QCOMPARE(m->attachments().size(), 1);
        QCOMPARE(m->attachments().at(0).content, octets);
    }

    void missingDateFallsBackToInternalDate()
    {
        auto m = Read("no-date.eml", "17-Jul-1996 02:44:25 -0700");
        QCOMPARE(Utc(*m), QDateTime(QDate(1996, 7, 17), QTime(9, 44, 25), Qt::UTC));
        auto padded = Read("no-date.eml", " 7-Jul-1996 02:44:25 +0200");
        QCOMPARE(Utc(*padded), QDateTime(QDate(1996, 7, 7), QTime(0, 44, 25), Qt::UTC));
        auto neither = Read("no-date.eml", "yesterday");
        QCOMPARE(neither->date(), 0.0);
        // A readable Date header wins over the arrival time.
        auto dated = Read("alternative.eml", "17-Jul-1996 02:44:25 -0700");
        QCOMPARE(Utc(*dated).date(), QDate(2026, 3, 3));
    }

    // RFC 5322 §4.3: the obsolete zone names are case-insensitive.
    void dateZoneNamesInAnyCase_data()
    {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QDateTime>("utc");
        const QDateTime cst(QDate(2003, 7, 1), QTime(18, 24, 23), Qt::UTC);
        QTest::newRow("CST") << QByteArray("Tue, 1 Jul 2003 12:24:23 CST") << cst;
        QTest::newRow("cst") << QByteArray("Tue, 1 Jul 2003 12:24:23 cst") << cst;
        QTest::newRow("Cst, folded, comment after") << QByteArray("Tue, 1 Jul 2003\r\n 12:24:23 Cst (Central)") << cst;
        QTest::newRow("edt") << QByteArray("Tue, 1 Jul 2003 12:24:23 edt")
                             << QDateTime(QDate(2003, 7, 1), QTime(16, 24, 23), Qt::UTC);
        QTest::newRow("pdt, no seconds, no weekday") << QByteArray("1 Jul 2003 12:24 pdt")
                                                     << QDateTime(QDate(2003, 7, 1), QTime(19, 24), Qt::UTC);
        QTest::newRow("gmt") << QByteArray("tue, 1 jul 2003 12:24:23 gmt") << QDateTime(QDate(2003, 7, 1), QTime(12, 24, 23), Qt::UTC);
        QTest::newRow("numeric zone, names in small letters")
            << QByteArray("tue, 1 jul 2003 12:24:23 -0600 (cst)") << cst;
    }

    void dateZoneNamesInAnyCase()
    {
        QFETCH(QByteArray, date);
        QFETCH(QDateTime, utc);
        auto m = MailMessage::fromBytes("From: a@example.org\r\nDate: " + date + "\r\nSubject: s\r\n\r\nbody\r\n");
        QCOMPARE(Utc(*m), utc);
    }

    // RFC 2045 §5.2: a Content-Type that is not "type/subtype" is read as text/plain, so
    // the text is the body instead of an attachment.
    void invalidContentTypeIsPlainText_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("multipart");
        QTest::addColumn<bool>("isBody");
        QTest::newRow("no subtype, single part") << QByteArray("application-x-gzip") << false << true;
        QTest::newRow("type alone") << QByteArray("text") << false << true;
        QTest::newRow("no type") << QByteArray("/plain") << false << true;
        QTest::newRow("no subtype, with parameters") << QByteArray("application-x-gzip; name=\"notes\"") << false << true;
        QTest::newRow("no subtype, inside multipart/mixed") << QByteArray("application-x-gzip") << true << true;
        QTest::newRow("a valid type stays an attachment") << QByteArray("application/x-gzip") << true << false;
        QTest::newRow("spaces around the slash are valid") << QByteArray("text / plain") << false << true;
    }

    void invalidContentTypeIsPlainText()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(bool, multipart);
        QFETCH(bool, isBody);
        const QByteArray part = "Content-Type: " + contentType + "\r\n\r\nThe notes themselves.\r\n";
        const QByteArray raw =
            "From: a@example.org\r\nSubject: s\r\nMIME-Version: 1.0\r\n" +
            (multipart ? "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n" + part + "--b--\r\n" : part);
        auto m = MailMessage::fromBytes(raw, {}, MailMessage::Attachments::Describe);
        QCOMPARE(m->plainTextBody().trimmed(), isBody ? QStringLiteral("The notes themselves.") : QString());
        QCOMPARE(m->attachments().size(), isBody ? 0 : 1);
    }

    void malformedMessageGivesWhatCanBeRead()
    {
        auto m = Read("malformed-header.eml", "01-Jan-2026 00:00:00 +0000");
        // The unreadable date gives way to the arrival time; nothing throws or crashes.
        QCOMPARE(Utc(*m), QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
        QVERIFY(!m->subject().contains(QLatin1Char('\n')));
        QVERIFY(m->subject().contains(QStringLiteral("abc")) || !m->subject().isEmpty());

        for (const QByteArray &raw : {QByteArray(), QByteArray("\r\n\r\n"), QByteArray("no headers at all"),
                                      QByteArray("Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n--x\r\n"),
                                      QByteArray(100000, '\0')}) {
            auto broken = MailMessage::fromBytes(raw);
            QVERIFY(broken);
            QCOMPARE(broken->rawSize(), raw.size());
        }
    }

    void fromGroupGivesItsFirstMember()
    {
        auto m = MailMessage::fromBytes("From: Team: Ann <ann@example.org>, bob@example.org;\r\nSubject: x\r\n\r\nbody\r\n");
        QCOMPARE(m->senderAddress(), QStringLiteral("ann@example.org"));
        QCOMPARE(m->fromText(), QStringLiteral("Ann <ann@example.org>"));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestMailMessage)
#include "tst_mailmessage.moc"
