// The export runs for real: PDFs written through the hidden browser and our PDF
// writer, progress, end messages, failures named, cancel, one-message export.

#include "support/AccessibleNames.h"
#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "export/pipeline/ExportReport.h"
#include "messagelist/data/MessageStore.h"
#include "platform/widgets/WebBrowser.h"
#include "platform/web/PdfWriter.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <unistd.h>

using namespace larkspan;
using namespace larkspan::test;

class ExportRunsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_main;
    QPointer<Form3> m_form;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString outFolder() const { return m_dir->path() + QStringLiteral("/"); }

    void openWith(const QList<MessageRecord> &records, bool asHtml = true)
    {
        SelectedRecords.redim(0);
        for (const MessageRecord &record : records)
            SelectedRecords.append(record);
        m_form = new Form3(m_main->ctx);
        m_form->PrintAsHTML = asHtml;
        m_form->Now = [] { return QDateTime(QDate(2026, 12, 7), QTime(8, 15, 30)); };
        m_form->Form_Load();
        m_form->txtBackupPath->setText(outFolder());
        m_form->show();
        Recorded().clear();
    }

    QStringList pdfs() const
    {
        return QDir(m_dir->path()).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
    }

    // The Status column of the output folder's report, row by row.
    QStringList reportStatuses() const
    {
        QFile report(outFolder() + ExportReport::fileName());
        QList<QStringList> rows;
        if (!report.open(QIODevice::ReadOnly) || !ExportReport::parse(report.readAll(), &rows))
            return {QStringLiteral("no readable report")};
        QStringList statuses;
        for (qsizetype r = 1; r < rows.size(); ++r)
            statuses << rows[r].value(11);
        return statuses;
    }

    void expectIdle()
    {
        QCOMPARE(m_form->ProgressBar1->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(m_form->ProgressBar1->value(), 0);
        QCOMPARE(m_form->PushButton1->text(), QStringLiteral("Export To PDF"));
        QCOMPARE(m_form->PushButton2->text(), QStringLiteral("Export All To PDF"));
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
    }

    void threeMessagesWithProgressAndTheirOwnPdfs()
    {
        openWith({MakeRecord(QStringLiteral("Heron census"), QStringLiteral("Eleven herons on the weir.")),
                  MakeRecord(QStringLiteral("Re: Plan?"), QString(),
                             QStringLiteral("<table width=\"1400\"><tr><td>Wide <b>layout</b> kept readable</td></tr></table>")),
                  MakeRecord(QStringLiteral("Lantern order"), QStringLiteral("Four brass lanterns, please."))});
        m_form->CurrentIndex = 2; // previewed message, restored after the run
        QStringList texts;
        QList<double> values;
        connect(m_form->WebBrowser2, &WebBrowser::printFinished, this, [&] {
            texts << m_form->ProgressBar1->text();
            values << m_form->ProgressBar1->preciseValue();
            QCOMPARE(m_form->PushButton2->text(), QStringLiteral("Cancel Export"));
            QCOMPARE(AccessibleNameMismatches(m_form), QStringList());
        });
        m_form->PushButton2->click();

        QCOMPARE(texts, (QStringList{QStringLiteral("Exporting to PDF [1 of 3]...Please Wait."),
                                     QStringLiteral("Exporting to PDF [2 of 3]...Please Wait."),
                                     QStringLiteral("Exporting to PDF [3 of 3]...Please Wait.")}));
        QCOMPARE(values.size(), 3);
        QVERIFY(qFuzzyCompare(values[0], 100.0 / 3.0));
        QVERIFY(qFuzzyCompare(values[1], 200.0 / 3.0));
        QVERIFY(qFuzzyCompare(values[2], 100.0));
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.") + ReportSummary(3)});
        LARKSPAN_REQUIRE(expectIdle());
        QCOMPARE(m_form->CurrentIndex, 2);
        QVERIFY(m_form->LastFailures.isEmpty());

        const QStringList expected = {QStringLiteral("1 - 12-07-2026 Heron census.pdf"), QStringLiteral("2 - 12-07-2026 Re  Plan.pdf"),
                                      QStringLiteral("3 - 12-07-2026 Lantern order.pdf")};
        QCOMPARE(pdfs(), expected);
        const QStringList words = {QStringLiteral("Eleven herons on the weir."), QStringLiteral("Wide layout kept readable"),
                                   QStringLiteral("Four brass lanterns, please.")};
        const QStringList subjects = {QStringLiteral("Heron census"), QStringLiteral("Re: Plan?"), QStringLiteral("Lantern order")};
        for (int i = 0; i < 3; ++i) {
            const QString text = PdfText(outFolder() + expected[i]);
            QVERIFY2(text.contains(subjects[i]) && text.contains(words[i]), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("ada@example.org")));
        }
    }

    void sameNamesInOneRunGetNumbered()
    {
        openWith({MakeRecord(QStringLiteral("Invoice"), QStringLiteral("first")), MakeRecord(QStringLiteral("Invoice"), QStringLiteral("second")),
                  MakeRecord(QStringLiteral("Invoice"), QStringLiteral("third"))},
                 false);
        m_form->Text1->setText(QStringLiteral("<Subject>"));
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.") + ReportSummary(3)});
        QCOMPARE(pdfs(), (QStringList{QStringLiteral("Invoice (2).pdf"), QStringLiteral("Invoice (3).pdf"), QStringLiteral("Invoice.pdf")}));
        QVERIFY(PdfText(outFolder() + QStringLiteral("Invoice.pdf")).contains(QStringLiteral("first")));
        QVERIFY(PdfText(outFolder() + QStringLiteral("Invoice (3).pdf")).contains(QStringLiteral("third")));

        // A later run replaces the files of an earlier one: stale contents are gone.
        for (const QString &name : pdfs()) {
            QFile stale(outFolder() + name);
            QVERIFY(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
            stale.write("stale, not a PDF");
        }
        Recorded().clear();
        m_form->PushButton2->click();
        QCOMPARE(pdfs(), (QStringList{QStringLiteral("Invoice (2).pdf"), QStringLiteral("Invoice (3).pdf"), QStringLiteral("Invoice.pdf")}));
        for (const QString &name : pdfs())
            QVERIFY2(IsCompletePdf(outFolder() + name), qPrintable(name));
        QVERIFY(PdfText(outFolder() + QStringLiteral("Invoice (2).pdf")).contains(QStringLiteral("second")));
    }

    void failedMessagesAreNamedAndNothingIsWrittenElsewhere()
    {
        openWith({MakeRecord(QStringLiteral("Good one"), QStringLiteral("fine")), MakeRecord(QStringLiteral("???"), QStringLiteral("no name")),
                  MakeRecord(QStringLiteral("Also good"), QStringLiteral("fine too"))});
        m_form->Text1->setText(QStringLiteral("<Subject>"));
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.\r\rFailed to create PDFs for some emails.") + ReportSummary(2, 0, 1) + QStringLiteral("\r\n\r\n"
                                                                   "2. ???: invalid output file name.")});
        QCOMPARE(pdfs(), (QStringList{QStringLiteral("Also good.pdf"), QStringLiteral("Good one.pdf")}));

        // A folder that does not exist: every message fails, the run goes on to the end.
        Recorded().clear();
        const QString missing = m_dir->path() + QStringLiteral("/missing/");
        m_form->txtBackupPath->setText(missing);
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages().size(), 1);
        const QString message = Recorded().messages().first();
        QVERIFY2(message.startsWith(QStringLiteral("Done.\r\rFailed to create PDFs for some emails.\r\n\r\nExported: 0, skipped: 0, failed: 3.")) && message.contains(QStringLiteral("\r\n\r\n1. Good one: ")), qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("does not exist")));
        QVERIFY(message.contains(QStringLiteral("3. Also good: ")));
        QCOMPARE(m_form->LastFailures.size(), 3);
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(pdfs().size(), 2);
        LARKSPAN_REQUIRE(expectIdle());
    }

    void unwritableFolderFails()
    {
        openWith({MakeRecord(QStringLiteral("Locked"), QStringLiteral("x"))});
        QString folder = m_dir->path() + QStringLiteral("/ro/");
        QVERIFY(QDir().mkpath(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        if (geteuid() == 0) // the superuser writes through permission bits
            folder = QStringLiteral("/proc/");
        m_form->txtBackupPath->setText(folder);
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages().size(), 1);
        QVERIFY(Recorded().messages().first().startsWith(QStringLiteral("Done.\r\rFailed to create PDFs for some emails.")) && Recorded().messages().first().contains(QStringLiteral("\r\n\r\n1. Locked: ")));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("1 - 12-07-2026 Locked.pdf")));

        // "Export To PDF" reports the failure instead of "Done.".
        Recorded().clear();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->WebBrowser1->readyState(), 4, 30000);
        m_form->PushButton1->click();
        QCOMPARE(Recorded().messages().size(), 1);
        QVERIFY(Recorded().messages().first().startsWith(QStringLiteral("Failed to create the PDF file.")));
        LARKSPAN_REQUIRE(expectIdle());
        QFile::setPermissions(m_dir->path() + QStringLiteral("/ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void aPageThatCannotBeWrittenIsNeverPrinted()
    {
        openWith({MakeRecord(QStringLiteral("Heron census"), QStringLiteral("herons")),
                  MakeRecord(QStringLiteral("Lantern order"), QStringLiteral("lanterns"))});
        QTRY_COMPARE_WITH_TIMEOUT(m_form->WebBrowser1->readyState(), 4, 30000);
        // A full temporary folder: no page file takes any bytes, the preview's nor the
        // run's own.
        const QString pageFile = m_form->HTMLFilePath;
        QVERIFY(QFile::remove(pageFile));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), pageFile));
        const QString runPages = ExportRun::privatePageFolder();
        QVERIFY(QDir().mkpath(runPages));
        for (const char *name : {"/page-1.html", "/page-2.html"})
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), runPages + QLatin1String(name)));
        const auto restore = qScopeGuard([&] {
            QFile::remove(pageFile);
            QDir(runPages).removeRecursively();
        });

        m_form->PushButton2->click();
        QCOMPARE(Recorded().errorReports().size(), 2);
        QCOMPARE(Recorded().messages().size(), 3);
        const QString closing = Recorded().messages().last();
        QVERIFY2(closing.startsWith(QStringLiteral("Done.\r\rFailed to create PDFs for some emails.") + ReportSummary(0, 0, 2) + QStringLiteral("\r\n\r\n"
                                                   "1. Heron census: its page could not be written: ")),
                 qPrintable(closing));
        QVERIFY(closing.contains(QStringLiteral("No space left on device")));
        QVERIFY(closing.contains(QStringLiteral("\r\n2. Lantern order: its page could not be written: ")));
        QVERIFY(pdfs().isEmpty());
        LARKSPAN_REQUIRE(expectIdle());
        // The preview of the next message fails the same way: it shows nothing, and
        // "Export To PDF" refuses to print it.
        Recorded().clear();
        m_form->PushButton5->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->WebBrowser1->busy(), 30000);
        m_form->PushButton1->click();
        const QStringList shown = Recorded().messages();
        QCOMPARE(shown.size(), 2); // the page step's error report, then the run's own message
        QVERIFY2(shown.last().startsWith(QStringLiteral("Failed to create the PDF file.\r\n\r\n") + outFolder() +
                                          QStringLiteral("2 - 12-07-2026 Lantern order.pdf\r\n"
                                                         "The page of this message could not be written: ")),
                 qPrintable(shown.last()));
        QVERIFY(pdfs().isEmpty());
        LARKSPAN_REQUIRE(expectIdle());
    }

    void cancelBeforeTheFirstPrint()
    {
        openWith({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b"))});
        // The press lands in the run's first yield.
        QTimer::singleShot(0, m_form->PushButton2, &QPushButton::click);
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), (QStringList{QStringLiteral("Cancelled.\r\n\r\nNo PDF file was created."),
                                                     QStringLiteral("Done.\r\rFailed to create PDFs for some emails.") + ReportSummary(0)}));
        QVERIFY(pdfs().isEmpty());
        LARKSPAN_REQUIRE(expectIdle());
    }

    void cancelAfterTheFirstPdf()
    {
        openWith({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b")), MakeRecord(QStringLiteral("c"))});
        connect(m_form->WebBrowser2, &WebBrowser::printFinished, this,
                [this] { QTimer::singleShot(0, m_form->PushButton2, &QPushButton::click); }, Qt::SingleShotConnection);
        m_form->PushButton2->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Cancelled.\r\n\r\nSome PDF file(s) were created.")});
        QCOMPARE(pdfs(), QStringList{QStringLiteral("1 - 12-07-2026 a.pdf")});
        LARKSPAN_REQUIRE(expectIdle());
        // A cancelled run still leaves its report, with the messages it handled.
        QCOMPARE(reportStatuses(), QStringList{"exported"});
        QCOMPARE(AccessibleNameMismatches(m_form), QStringList());
    }

    void cancelWhileAPageIsPrinting()
    {
        openWith({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b")), MakeRecord(QStringLiteral("c"))});
        // Pressed while the page renders its PDF, again and again: the program lives on.
        for (int round = 0; round < 3; ++round) {
            QTimer poll;
            connect(&poll, &QTimer::timeout, this, [&] {
                if (PdfWriter::instance().isRendering(m_form->WebBrowser2->page()) &&
                    m_form->PushButton2->text() == QStringLiteral("Cancel Export")) {
                    poll.stop();
                    m_form->PushButton2->click();
                }
            });
            poll.start(1);
            m_form->PushButton2->click();
            QCOMPARE(Recorded().messages().first(), QStringLiteral("Cancelled.\r\n\r\nNo PDF file was created."));
            Recorded().clear();
            QTRY_VERIFY(!PdfWriter::instance().isRendering(m_form->WebBrowser2->page()));
        }
        QVERIFY(pdfs().isEmpty());
        LARKSPAN_REQUIRE(expectIdle());
        QCOMPARE(reportStatuses(), (QStringList{"cancelled", "cancelled", "cancelled"}));
    }

    void closingTheWindowDuringARunEndsItQuietly()
    {
        openWith({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b")), MakeRecord(QStringLiteral("c"))});
        QPointer<Form3> form = m_form;
        connect(m_form->WebBrowser2, &WebBrowser::printFinished, this,
                [this] { QTimer::singleShot(0, m_form, &QWidget::close); }, Qt::SingleShotConnection);
        m_form->PushButton2->click();
        // The close box ended the program: no end message, no further PDFs, and the
        // window goes away once the run has unwound.
        QCOMPARE(m_main->quitCalls, 1);
        QVERIFY(Recorded().messages().isEmpty());
        QCOMPARE(pdfs(), QStringList{QStringLiteral("1 - 12-07-2026 a.pdf")});
        QTRY_VERIFY(form.isNull());
    }

    void backDuringARunReturnsToTheMainWindow()
    {
        openWith({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b"))});
        QPointer<Form3> form = m_form;
        m_main->window->hide();
        connect(m_form->WebBrowser2, &WebBrowser::printFinished, this,
                [this] { QTimer::singleShot(0, m_form->PushButton8, &QPushButton::click); }, Qt::SingleShotConnection);
        m_form->PushButton2->click();
        QCOMPARE(m_main->quitCalls, 0);
        QVERIFY(m_main->window->isVisible());
        QVERIFY(Recorded().messages().isEmpty());
        QTRY_VERIFY(form.isNull());
    }

    void aStoreThatFailsGivesAPdfWithoutItsFiles()
    {
        // The store holds the message; its bodies are read for the page, then the
        // store is damaged before the PDF asks for the original.
        const QByteArray raw = "From: Ann <ann@example.org>\r\nSubject: Kept\r\nMessage-ID: <kept@x>\r\n\r\nStored body.\r\n";
        const StoredMessage stored = MessageStore::instance().append(raw);
        MessageStore::instance().flush();
        const MessageRecord listed = MakeRecord(QStringLiteral("Kept"));
        openWith({MessageRecord(listed.from(), listed.fromName(), QStringLiteral("ann@example.org"), listed.subject(),
                                listed.receivedDate(), stored)});
        QTRY_COMPARE_WITH_TIMEOUT(m_form->WebBrowser1->readyState(), 4, 30000);
        QFile file(MessageStore::instance().filePath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(stored.offset + stored.size - 4));
        file.write("XXXX");
        file.close();
        m_form->PushButton1->click();
        QTRY_COMPARE_WITH_TIMEOUT(Recorded().messages().size(), 1, 30000);
        const QString closing = Recorded().messages().first();
        QVERIFY2(closing.startsWith(QStringLiteral("Done.") + ReportSummary(1) + QStringLiteral("\r\n\r\nPDF created without its attachments: ")) &&
                     closing.contains(QStringLiteral("changed or cut short")),
                 qPrintable(closing));
        const QString pdf = outFolder() + pdfs().value(0);
        QVERIFY(IsCompletePdf(pdf));
        QVERIFY(PdfText(pdf).contains(QStringLiteral("Stored body.")));
        QVERIFY(PdfInfo(pdf).contains(QStringLiteral("Email from ann@example.org")));
        MessageStore::instance().dropAll();
    }

    void exportThePreviewedMessage()
    {
        openWith({MakeRecord(QStringLiteral("Previewed one"), QStringLiteral("Shown in the preview."))});
        QTRY_COMPARE_WITH_TIMEOUT(m_form->WebBrowser1->readyState(), 4, 30000);
        m_form->PushButton1->click();
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Done.") + ReportSummary(1)});
        QCOMPARE(pdfs(), QStringList{QStringLiteral("1 - 12-07-2026 Previewed one.pdf")});
        QVERIFY(PdfText(outFolder() + pdfs().first()).contains(QStringLiteral("Shown in the preview.")));
        LARKSPAN_REQUIRE(expectIdle());
        // While the preview loads: nothing, not even a message.
        Recorded().clear();
        m_form->Navigate();
        m_form->PushButton1->click();
        QVERIFY(Recorded().messages().isEmpty());
        LARKSPAN_REQUIRE(expectIdle());
        QTRY_COMPARE_WITH_TIMEOUT(m_form->WebBrowser1->readyState(), 4, 30000);
        m_form->Text1->setText(QString());
        m_form->PushButton1->click();
        QCOMPARE(Recorded().messages(),
                 QStringList{QStringLiteral("Please give input for Output Filename Option. Click Default if you are unsure.")});
        m_form->Text1->setText(QStringLiteral("<>"));
        m_form->PushButton1->click();
        QCOMPARE(Recorded().messages().last(), QStringLiteral("Invalid output filename.\r\nPlease correct the Output Filename Option"));
        LARKSPAN_REQUIRE(expectIdle());
    }
};

LARKSPAN_TEST_MAIN(ExportRunsTest)
#include "tst_export_runs.moc"
