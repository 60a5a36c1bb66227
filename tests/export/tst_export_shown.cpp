// Attachments shown in the PDF, exported through the export window: every kind in one
// message, read back as a reader of the PDF would, with and without pictures.

#include "support/PdfSamples.h"
#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "messagelist/data/MessageStore.h"

#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace larkspan;
using namespace larkspan::test;

namespace {

QByteArray Base64Part(const QByteArray &headers, const QByteArray &data)
{
    QByteArray lines;
    const QByteArray encoded = data.toBase64();
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        lines += encoded.mid(at, 76) + "\r\n";
    return headers + "Content-Transfer-Encoding: base64\r\n\r\n" + lines;
}

QByteArray Png()
{
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

const QByteArray kCsv = "city,herons\r\nOxford,11\r\nReading,4\r\n";
const QByteArray kInvite = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\nUID:7@x\r\n"
                           "DTSTAMP:20261201T100000Z\r\nDTSTART;TZID=Europe/London:20261217T093000\r\n"
                           "DTEND;TZID=Europe/London:20261217T103000\r\nSUMMARY:Census planning\r\n"
                           "END:VEVENT\r\nEND:VCALENDAR\r\n";
const QByteArray kForwarded = "From: Old Sender <old@example.org>\r\nSubject: The original count\r\n"
                              "Content-Type: text/plain\r\n\r\nForty herons were counted in May.\r\n";

// A PDF that tries to run code when it is opened.
QByteArray HostilePdf()
{
    RawPdf pdf;
    const int content = pdf.addStream("", TextContent(QStringLiteral("Hostile appendix")));
    const int pages = pdf.reserve();
    const int page = pdf.add("<< /Type /Page /Parent " + Ref(pages) + " /MediaBox [0 0 612 792] /Contents " + Ref(content) +
                             " /AA << /O << /S /JavaScript /JS (app.alert\\(1\\)) >> >> >>");
    pdf.set(pages, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
    const int action = pdf.add("<< /S /Launch /F (calc.exe) >>");
    const int root = pdf.add("<< /Type /Catalog /Pages " + Ref(pages) + " /OpenAction " + Ref(action) + " >>");
    return pdf.finish(root);
}

QByteArray MessageWithEverything(QByteArray *appendix)
{
    *appendix = MakeSamplePdf({{612, 792, 0, QStringLiteral("Appendix page one")},
                               {792, 612, 0, QStringLiteral("Appendix page two")},
                               {612, 792, 90, QStringLiteral("Appendix page three")}});
    return "From: Ann <ann@example.org>\r\nTo: bo@example.org\r\nSubject: Everything attached\r\n"
           "Date: Tue, 01 Dec 2026 09:30:00 +0000\r\nMessage-ID: <everything@example.org>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m\r\nContent-Type: text/plain\r\n\r\nSee the files.\r\n--m\r\n" +
           Base64Part("Content-Type: application/pdf; name=\"report.pdf\"\r\nContent-Disposition: attachment; filename=\"report.pdf\"\r\n",
                      *appendix) +
           "--m\r\n" +
           Base64Part("Content-Type: image/png\r\nContent-Disposition: attachment; filename=\"heron.png\"\r\n", Png()) + "--m\r\n" +
           Base64Part("Content-Type: text/csv\r\nContent-Disposition: attachment; filename=\"count.csv\"\r\n", kCsv) + "--m\r\n" +
           "Content-Type: message/rfc822\r\nContent-Disposition: attachment; filename=\"fwd.eml\"\r\n\r\n" + kForwarded +
           "--m\r\n" +
           Base64Part("Content-Type: text/calendar\r\nContent-Disposition: attachment; filename=\"invite.ics\"\r\n", kInvite) +
           "--m\r\n" +
           Base64Part("Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"trap.pdf\"\r\n", HostilePdf()) +
           "--m\r\n" +
           Base64Part("Content-Type: application/zip\r\nContent-Disposition: attachment; filename=\"data.zip\"\r\n",
                      QByteArray(300, 'z')) +
           "--m--\r\n";
}

QString PagesText(const QString &pdf, int first, int last)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(first), QStringLiteral("-l"),
                                                  QString::number(last), pdf, QStringLiteral("-")});
    pdftotext.waitForFinished(60000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
}

int PageCount(const QString &pdf)
{
    const QString info = PdfInfo(pdf);
    const qsizetype at = info.indexOf(QStringLiteral("Pages:"));
    return at < 0 ? -1 : info.mid(at + 6).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
}

} // namespace

class ExportShownTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UsePdfWriterAsDefaultPrinter(); }
    void init()
    {
        ResetSettings();
        Recorded().clear();
    }

    void everyKindOfAttachment_data()
    {
        QTest::addColumn<bool>("asHtml");
        QTest::newRow("as in the browser") << true;
        QTest::newRow("text only") << false;
    }

    void everyKindOfAttachment()
    {
        QFETCH(bool, asHtml);
        QByteArray appendix;
        const QByteArray raw = MessageWithEverything(&appendix);
        const StoredMessage stored = MessageStore::instance().append(raw);
        const MessageRecord listed = MakeRecord(QStringLiteral("Everything attached"));
        SelectedRecords.redim(0);
        SelectedRecords.append(MessageRecord(listed.from(), listed.fromName(), listed.fromAddress(), listed.subject(),
                                             listed.receivedDate(), stored));
        MainWindowFixture main;
        QTemporaryDir out;
        auto *form = new Form3(main.ctx);
        const auto close = qScopeGuard([form] { delete form; });
        form->PrintAsHTML = asHtml;
        form->Form_Load();
        QVERIFY(form->chkShowAttachments->isChecked()); // on unless the user turned it off
        form->txtBackupPath->setText(out.path() + QLatin1Char('/'));
        form->Text1->setText(QStringLiteral("<Subject>"));
        Recorded().clear();
        form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.") + ReportSummary(1)});
        const QString pdf = out.path() + QStringLiteral("/Everything attached.pdf");

        // The appended documents come after the message's own pages, in the list's
        // order: the report's three pages, then the one page of the hostile document.
        const int pages = PageCount(pdf);
        QVERIFY2(pages >= 5, qPrintable(QString::number(pages)));
        QCOMPARE(PagesText(pdf, pages - 3, pages - 1),
                 QStringLiteral("Appendix page one Appendix page two Appendix page three"));
        const QString message = PagesText(pdf, 1, pages - 4);
        for (const QString &shown : {QStringLiteral("Forty herons were counted in May."), QStringLiteral("Oxford,11"),
                                     QStringLiteral("Census planning"), QStringLiteral("Thursday, 17 December 2026, 09:30 (Europe/London)"),
                                     QStringLiteral("Its 3 pages follow the message's own pages."),
                                     QStringLiteral("not shown: it can be opened from the PDF's attachments")})
            QVERIFY2(message.contains(shown), qPrintable(shown + QStringLiteral(" not in ") + message));

        // The picture, at its own size, and only with pictures.
        QProcess images;
        images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
        images.waitForFinished(60000);
        const QString list = QString::fromUtf8(images.readAllStandardOutput());
        static const QRegularExpression heron(QStringLiteral("\\bimage\\s+120\\s+80\\b"));
        QCOMPARE(list.contains(heron), asHtml);

        // Nothing in the file runs code.
        QProcess scripts;
        scripts.start(QStringLiteral("pdfinfo"), {QStringLiteral("-js"), pdf});
        scripts.waitForFinished(60000);
        const QString js = QString::fromUtf8(scripts.readAllStandardOutput());
        QVERIFY2(!js.contains(QStringLiteral("app.alert")), qPrintable(js));

        // The files inside are the originals, the appended PDF too.
        const QString detached = out.path() + QStringLiteral("/files/");
        const QStringList carried = DetachAll(pdf, detached);
        QVERIFY2(carried.contains(QStringLiteral("report.pdf")) && carried.contains(QStringLiteral("trap.pdf")),
                 qPrintable(carried.join(QLatin1Char('|'))));
        QCOMPARE(ReadBytes(detached + QStringLiteral("report.pdf")), appendix);
        QCOMPARE(ReadBytes(detached + QStringLiteral("trap.pdf")), HostilePdf());
        QCOMPARE(ReadBytes(detached + QStringLiteral("Everything attached.eml")), raw);
        MessageStore::instance().dropAll();
    }
};

LARKSPAN_TEST_MAIN(ExportShownTest)
#include "tst_export_shown.moc"
