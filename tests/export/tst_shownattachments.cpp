// What the page shows of a message's attachments: each kind, and the input that must
// not hurt (decompression bombs, pictures cut short, huge texts, messages nested
// without end, calendars that are not calendars).

#include "export/pipeline/ShownAttachments.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

using namespace larkspan;

namespace {

MailAttachment Attachment(const QString &name, const QString &type, const QByteArray &content, const QByteArray &charset = {})
{
    MailAttachment attachment;
    attachment.fileName = name;
    attachment.mimeType = type;
    attachment.charset = charset;
    attachment.content = content;
    attachment.size = content.size();
    return attachment;
}

QByteArray Picture(const char *format, int width = 40, int height = 30)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// A PNG whose header claims a size its few octets could never hold.
QByteArray PictureClaiming(quint32 width, quint32 height)
{
    QByteArray png = Picture("png", 1, 1);
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    return png;
}

// A JPEG whose frame header claims 30,000 pixels each way.
QByteArray JpegClaimingHuge()
{
    QByteArray jpeg = Picture("jpg", 8, 8);
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    qToBigEndian<quint16>(30000, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(30000, jpeg.data() + frame + 7);
    return jpeg;
}

// A message that carries the next one as an attachment, depth deep.
QByteArray Nested(int depth)
{
    QByteArray message = "From: bottom@example.org\r\nSubject: level " + QByteArray::number(depth) + "\r\n\r\nThe bottom.\r\n";
    for (int level = depth - 1; level >= 0; --level)
        message = "From: l" + QByteArray::number(level) + "@example.org\r\nSubject: level " + QByteArray::number(level) +
                  "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b" + QByteArray::number(level) +
                  "\r\n\r\n--b" + QByteArray::number(level) + "\r\nContent-Type: text/plain\r\n\r\nLevel " +
                  QByteArray::number(level) + " says hello.\r\n--b" + QByteArray::number(level) +
                  "\r\nContent-Type: message/rfc822\r\n\r\n" + message + "\r\n--b" + QByteArray::number(level) + "--\r\n";
    return message;
}

const QByteArray kInvitation = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\nUID:1@x\r\n"
                               "DTSTAMP:20261201T100000Z\r\nDTSTART;TZID=Europe/Berlin:20261215T140000\r\n"
                               "DTEND;TZID=Europe/Berlin:20261215T153000\r\nSUMMARY:Budget review\r\n"
                               "LOCATION:Room 4\r\nORGANIZER;CN=Ann Lee:mailto:ann@example.org\r\n"
                               "ATTENDEE;CN=Bo:mailto:bo@example.org\r\nDESCRIPTION:Bring the figures.\r\n"
                               "END:VEVENT\r\nEND:VCALENDAR\r\n";

} // namespace

class ShownAttachmentsTest : public QObject {
    Q_OBJECT

private slots:
    void eachKindShownOrNamed_data()
    {
        QTest::addColumn<MailAttachment>("attachment");
        QTest::addColumn<bool>("pictures");
        QTest::addColumn<QStringList>("shown");   // pieces the section holds
        QTest::addColumn<QStringList>("notShown"); // pieces it must not hold

        QTest::newRow("a picture") << Attachment("photo.png", "image/png", Picture("png")) << true
                                   << QStringList{"<img", "data:image/png;base64,"} << QStringList{"not shown"};
        QTest::newRow("a JPEG named wrongly") << Attachment("scan.bin", "image/jpeg", Picture("jpg")) << true
                                              << QStringList{"data:image/jpeg;base64,"} << QStringList{"not shown"};
        QTest::newRow("no pictures in a text-only PDF") << Attachment("photo.png", "image/png", Picture("png")) << false
                                                        << QStringList{"not shown: a text-only PDF shows no pictures"}
                                                        << QStringList{"<img"};
        QTest::newRow("a decompression bomb") << Attachment("bomb.png", "image/png", PictureClaiming(20000, 20000)) << true
                                              << QStringList{"not shown: the picture is 20000 × 20000 pixels"}
                                              << QStringList{"<img"};
        QTest::newRow("a JPEG bomb") << Attachment("bomb.jpg", "image/jpeg", JpegClaimingHuge()) << true
                                     << QStringList{"not shown: the picture is 30000 × 30000 pixels"} << QStringList{"<img"};
        QByteArray cut = Picture("jpg", 200, 200);
        cut.chop(cut.size() / 3);
        QTest::newRow("a picture cut short") << Attachment("cut.jpg", "image/jpeg", cut) << true
                                             << QStringList{"not shown: the picture is cut short"} << QStringList{"<img"};
        QTest::newRow("no picture at all") << Attachment("fake.png", "image/png", "not a picture") << true
                                           << QStringList{"not shown: the picture cannot be read"} << QStringList{"<img"};
        QTest::newRow("CSV in its declared charset")
            << Attachment("sums.csv", "text/csv", "name;sum\nM\xfcller;3\n", "iso-8859-1") << true
            << QStringList{"<pre", "name;sum", "Müller;3"} << QStringList{"not shown"};
        QTest::newRow("undeclared UTF-8") << Attachment("notes.txt", "text/plain", "Gr\xc3\xbc\xc3\x9f""e & <tags>") << true
                                          << QStringList{"Grüße &amp; &lt;tags&gt;"} << QStringList{};
        QTest::newRow("undeclared Windows-1252") << Attachment("old.log", "application/octet-stream", "caf\xe9 \x80 5")
                                                 << true << QStringList{"café € 5"} << QStringList{};
        QTest::newRow("an invitation") << Attachment("invite.ics", "text/calendar", kInvitation) << true
                                       << QStringList{"Budget review", "Tuesday, 15 December 2026, 14:00 (Europe/Berlin)",
                                                      "15:30 (Europe/Berlin)", "Room 4", "Ann Lee &lt;ann@example.org&gt;",
                                                      "Bo &lt;bo@example.org&gt;", "Bring the figures."}
                                       << QStringList{"not shown"};
        QTest::newRow("a calendar that is not one") << Attachment("x.ics", "text/calendar", "BEGIN:VCARD\r\nEND:VCARD\r\n") << true
                                                    << QStringList{"not shown: the file is not an iCalendar calendar"}
                                                    << QStringList{};
        QTest::newRow("an archive") << Attachment("a.zip", "application/zip", QByteArray(100, 'z')) << true
                                    << QStringList{"not shown: it can be opened from the PDF's attachments", "a.zip",
                                                   "(application/zip, 100 bytes)"}
                                    << QStringList{"zzzz"};
        QTest::newRow("an attached message") << Attachment("fwd.eml", "message/rfc822", Nested(1)) << true
                                             << QStringList{"level 0", "Level 0 says hello.", "level 1", "The bottom."}
                                             << QStringList{"not shown"};
    }

    void eachKindShownOrNamed()
    {
        QFETCH(MailAttachment, attachment);
        QFETCH(bool, pictures);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, notShown);
        ShowOptions options;
        options.pictures = pictures;
        const ShownAttachments out = ShowAttachments({attachment}, options);
        for (const QString &piece : shown)
            QVERIFY2(out.html.contains(piece), qPrintable(piece + QStringLiteral(" not in ") + out.html.left(2000)));
        for (const QString &piece : notShown)
            QVERIFY2(!out.html.contains(piece), qPrintable(piece + QStringLiteral(" in ") + out.html.left(2000)));
        // The heading names it; the header line leads to it.
        QVERIFY(out.html.contains(QStringLiteral("id=\"shown-1\"")));
        QCOMPARE(out.lineTargets, QStringList{QStringLiteral("#shown-1")});
        QVERIFY(out.html.contains(QStringLiteral("href=\"larkspan-attachment:1\"")));
    }

    void aLongTextIsCutWithWhatIsLeft_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("note");
        QByteArray lines;
        for (int i = 1; i <= 6000; ++i)
            lines += "line " + QByteArray::number(i) + "\n";
        QTest::newRow("6,000 lines") << lines << QStringLiteral("the attached file holds 1000 more lines");
        QTest::newRow("50 MB in long lines") << QByteArray(50 * 1024 * 1024, 'x').replace(0, 0, "")
                                             << QStringLiteral("more lines (49.0 MB)");
    }

    void aLongTextIsCutWithWhatIsLeft()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, note);
        const ShownAttachments out = ShowAttachments({Attachment("big.txt", "text/plain", text)}, ShowOptions());
        QVERIFY2(out.html.contains(QStringLiteral("The text is cut here")) && out.html.contains(note),
                 qPrintable(out.html.right(300)));
        QVERIFY(out.html.size() < 1200 * 1024);
    }

    void attachedMessagesAreShownThreeDeep()
    {
        const ShownAttachments out = ShowAttachments({Attachment("deep.eml", "message/rfc822", Nested(100))}, ShowOptions());
        for (int level = 0; level < 3; ++level)
            QVERIFY2(out.html.contains(QStringLiteral("Level %1 says hello.").arg(level)), qPrintable(QString::number(level)));
        QVERIFY(!out.html.contains(QStringLiteral("Level 3 says hello.")));
        QVERIFY(out.html.contains(QStringLiteral("not shown: attached messages are shown 3 deep")));
        QVERIFY(out.html.contains(QStringLiteral("id=\"shown-1-1-1\"")));
    }

    void pdfDocumentsAreAppendedWhenTheyCanBe()
    {
        ShowOptions options;
        options.inspectPdf = [](const QByteArray &pdf, int) {
            PdfDocumentCheck check;
            if (pdf == "locked") {
                check.reason = QStringLiteral("the document needs a password");
            } else {
                check.appendable = true;
                check.pages = 3;
            }
            return check;
        };
        const ShownAttachments out = ShowAttachments(
            {Attachment("a.pdf", "application/pdf", "fine"), Attachment("b.pdf", "application/pdf", "locked")}, options);
        QCOMPARE(out.entries.size(), 2);
        QCOMPARE(out.entries[0].title, QStringLiteral("a.pdf"));
        QCOMPARE(out.entries[0].document, QByteArray("fine"));
        QCOMPARE(out.entries[0].linkTarget, QStringLiteral("larkspan-shown:1"));
        QVERIFY(out.entries[1].document.isEmpty());
        QCOMPARE(out.entries[1].anchor, QStringLiteral("shown-2"));
        QCOMPARE(out.lineTargets, (QStringList{QStringLiteral("larkspan-shown:1"), QStringLiteral("#shown-2")}));
        QVERIFY(out.html.contains(QStringLiteral("Its 3 pages follow the message's own pages.")));
        QVERIFY(out.html.contains(QStringLiteral("not shown: the document needs a password")));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ShownAttachmentsTest)
#include "tst_shownattachments.moc"
