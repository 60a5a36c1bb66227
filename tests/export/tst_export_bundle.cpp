// "One PDF for all checked emails" through the export window: the contents page and
// its links, the outline, every original inside, the report, skipping, a message that
// fails, a cancel.

#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "export/pipeline/ExportReport.h"
#include "messagelist/data/MessageStore.h"
#include "platform/widgets/WebBrowser.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

using namespace larkspan;
using namespace larkspan::test;

namespace {

QByteArray Message(int n, const QByteArray &subject)
{
    return "From: Rita <rita@example.org>\r\nSubject: " + subject + "\r\nDate: Wed, 02 Dec 2026 10:00:00 +0000\r\n"
           "Message-ID: <bundle-" + QByteArray::number(n) + "@example.org>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nBody number " +
           QByteArray::number(n) + ".\r\n--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=notes.txt\r\n\r\n"
           "notes of " + QByteArray::number(n) + "\r\n--b--\r\n";
}

// Where each link of the first page leads: the number of the page (from 1).
QList<int> ContentsLinkPages(const QString &pdf)
{
    QPDF document;
    document.processFile(pdf.toLocal8Bit().constData());
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
    QList<int> targets;
    QPDFObjectHandle annotations = pages.front().getObjectHandle().getKey("/Annots");
    for (int i = 0; annotations.isArray() && i < annotations.getArrayNItems(); ++i) {
        QPDFObjectHandle link = annotations.getArrayItem(i);
        QPDFObjectHandle dest = link.getKey("/Dest");
        if (!dest.isArray() && link.getKey("/A").isDictionary())
            dest = link.getKey("/A").getKey("/D");
        if (!dest.isArray())
            continue;
        for (size_t p = 0; p < pages.size(); ++p)
            if (pages[p].getObjectHandle().getObjGen() == dest.getArrayItem(0).getObjGen())
                targets << int(p) + 1;
    }
    return targets;
}

int OutlineEntries(const QString &pdf)
{
    QPDF document;
    document.processFile(pdf.toLocal8Bit().constData());
    return int(QPDFOutlineDocumentHelper(document).getTopLevelOutlines().size());
}

QString PageText(const QString &pdf, int page)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                                  QString::number(page), pdf, QStringLiteral("-")});
    pdftotext.waitForFinished(60000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
}

} // namespace

class ExportBundleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_main;
    QPointer<Form3> m_form;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QByteArray> m_raws;

    QString out() const { return m_dir->path() + QLatin1Char('/'); }

    void openWith(const QList<QByteArray> &subjects)
    {
        m_raws.clear();
        SelectedRecords.redim(0);
        int n = 0;
        for (const QByteArray &subject : subjects) {
            m_raws << Message(++n, subject);
            const StoredMessage stored = MessageStore::instance().append(m_raws.last());
            const MessageRecord listed = MakeRecord(QString::fromUtf8(subject));
            MessageRecord record(listed.from(), listed.fromName(), listed.fromAddress(), listed.subject(), listed.receivedDate(), stored);
            record.setSource(std::make_shared<const MessageSource>(MessageSource{QStringLiteral("me"), QStringLiteral("Cases"), 9}), n);
            SelectedRecords.append(record);
        }
        m_form = new Form3(m_main->ctx);
        m_form->Now = [] { return QDateTime(QDate(2026, 12, 7), QTime(8, 15, 30)); };
        m_form->Form_Load();
        m_form->txtBackupPath->setText(out());
        m_form->optOnePdfForAll->setChecked(true);
        m_form->show();
        Recorded().clear();
    }

    QStringList pdfs() const { return QDir(m_dir->path()).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name); }

    QList<QStringList> reportRows() const
    {
        QFile report(out() + ExportReport::fileName());
        QList<QStringList> rows;
        if (report.open(QIODevice::ReadOnly))
            ExportReport::parse(report.readAll(), &rows);
        return rows.mid(1);
    }

private slots:
    void initTestCase() { UsePdfWriterAsDefaultPrinter(); }
    void init()
    {
        ResetSettings();
        Recorded().clear();
        m_main = std::make_unique<MainWindowFixture>();
        m_dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        delete m_form;
        m_main.reset();
        m_dir.reset();
        MessageStore::instance().dropAll();
    }

    void oneFileWithContentsOutlineAndEveryOriginal()
    {
        openWith({"Harbour fees", "Same day, same subject", "Same day, same subject", "Nets and ropes"});
        m_form->PushButton2->click();
        const QString name = QStringLiteral("4 - 12-07-2026 Harbour fees.pdf"); // the first email's fields, <Count> the number held
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.") + ReportSummary(4) +
                                                    QStringLiteral("\r\n\r\nOne PDF for all: \"%1\"").arg(name)});
        QCOMPARE(pdfs(), QStringList{name});
        const QString pdf = out() + name;
        QVERIFY(IsCompletePdf(pdf));
        QVERIFY2(PageText(pdf, 1).contains(QStringLiteral("Cases, 1 December 2026")), qPrintable(PageText(pdf, 1)));

        // Each contents line leads to the page its email starts on.
        const QList<int> targets = ContentsLinkPages(pdf);
        QCOMPARE(targets.size(), 4 * 5); // five cells a line, each a link
        const QStringList bodies = {"Body number 1.", "Body number 2.", "Body number 3.", "Body number 4."};
        for (int n = 0; n < 4; ++n)
            QVERIFY2(PageText(pdf, targets[n * 5]).contains(bodies[n]), qPrintable(QString::number(n)));
        QCOMPARE(OutlineEntries(pdf), 4);

        // Every original, named after its own PDF, byte for byte; attachment names made unique.
        const QString detached = out() + QStringLiteral("files/");
        const QStringList carried = DetachAll(pdf, detached);
        const QStringList emls = {"1 - 12-07-2026 Harbour fees.eml", "2 - 12-07-2026 Same day, same subject.eml",
                                  "3 - 12-07-2026 Same day, same subject.eml", "4 - 12-07-2026 Nets and ropes.eml"};
        for (int n = 0; n < 4; ++n) {
            QVERIFY2(carried.contains(emls[n]), qPrintable(carried.join(QLatin1Char('|'))));
            QCOMPARE(ReadBytes(detached + emls[n]), m_raws[n]);
        }
        QVERIFY(carried.contains(QStringLiteral("notes (4).txt")));
        QCOMPARE(ReadBytes(detached + QStringLiteral("notes (3).txt")), QByteArray("notes of 3"));

        // A row per email, all naming the one PDF.
        const QList<QStringList> rows = reportRows();
        QCOMPARE(rows.size(), 4);
        for (const QStringList &row : rows) {
            QCOMPARE(row.value(10), name);
            QCOMPARE(row.value(11), QStringLiteral("exported"));
        }

        // Skipping: nothing is new, so no file is written, and the closing says so.
        Recorded().clear();
        m_form->chkSkipExported->setChecked(true);
        QFile::remove(pdf + QStringLiteral(".kept"));
        const QDateTime written = QFileInfo(pdf).lastModified();
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.") + ReportSummary(0, 4) +
                                                    QStringLiteral("\r\n\r\nNo PDF was written: every email was already exported to this folder.")});
        QCOMPARE(QFileInfo(pdf).lastModified(), written);
    }

    void aFailingEmailIsNamedAndLeftOut()
    {
        openWith({"Kept one", "???", "Kept two"});
        m_form->Text1->setText(QStringLiteral("<Subject>"));
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.\r\rFailed to create PDFs for some emails.") +
                                                    ReportSummary(2, 0, 1) +
                                                    QStringLiteral("\r\n\r\nOne PDF for all: \"Kept one.pdf\"\r\nThese emails are not in it:"
                                                                   "\r\n\r\n2. ???: invalid output file name.")});
        const QString text = PdfText(out() + QStringLiteral("Kept one.pdf"));
        QVERIFY(text.contains(QStringLiteral("Body number 1.")) && text.contains(QStringLiteral("Body number 3.")));
        QVERIFY(!text.contains(QStringLiteral("Body number 2.")));
    }

    void aCancelledRunLeavesNoFile()
    {
        openWith({"a", "b", "c"});
        connect(m_form->WebBrowser2, &WebBrowser::printFinished, this,
                [this] { QTimer::singleShot(0, m_form->PushButton2, &QPushButton::click); }, Qt::SingleShotConnection);
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Cancelled.\r\n\r\nNo PDF file was created.")});
        QVERIFY(pdfs().isEmpty());
        const QList<QStringList> rows = reportRows();
        QVERIFY(!rows.isEmpty());
        for (const QStringList &row : rows)
            QCOMPARE(row.value(11), QStringLiteral("cancelled"));
    }

    void anUnwritableFolderGivesAReasonAndNoFile()
    {
        openWith({"a", "b"});
        m_form->txtBackupPath->setText(out() + QStringLiteral("missing/"));
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages().size(), 1);
        QVERIFY2(Recorded().messages().first().startsWith(QStringLiteral("Failed to create the PDF file.")), qPrintable(Recorded().messages().first()));
        QVERIFY(pdfs().isEmpty());
    }
};

LARKSPAN_TEST_MAIN(ExportBundleTest)
#include "tst_export_bundle.moc"
