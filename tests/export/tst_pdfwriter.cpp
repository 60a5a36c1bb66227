// The PDF writer device: real PDFs at the path named in its store, atomically
// replacing what was there, and clean failures.

#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "platform/web/PdfWriter.h"
#include "platform/core/SettingsStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace larkspan;
using namespace larkspan::test;

class PdfWriterTest : public QObject {
    Q_OBJECT

    QWebEngineProfile *m_profile = nullptr;
    QWebEnginePage *m_page = nullptr;

    void loadPage(const QString &html)
    {
        QSignalSpy loaded(m_page, &QWebEnginePage::loadFinished);
        m_page->setHtml(html);
        QVERIFY(loaded.wait(30000));
    }

    static void handOff(const QString &path, const QString &bypass = QStringLiteral("1"))
    {
        IniStore store = PdfWriter::store();
        store.write(PdfWriter::outputFileKey(), path);
        store.write(PdfWriter::bypassSaveAsKey(), bypass);
    }

    // Prints the page and waits for the job's end; the job's error text.
    QString printAndWait(bool *ok)
    {
        PdfPrintJob *job = PdfWriter::instance().print(m_page, QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        QSignalSpy finished(job, &PdfPrintJob::finished);
        // Never inside the call: the caller can always connect first.
        [&] { QVERIFY(finished.isEmpty()); }();
        if (!finished.wait(60000)) {
            *ok = false;
            return QStringLiteral("no end");
        }
        *ok = finished.first().first().toBool();
        return job->errorText();
    }

private slots:
    void initTestCase()
    {
        m_profile = new QWebEngineProfile(this);
        m_page = new QWebEnginePage(m_profile, this);
    }

    void cleanupTestCase()
    {
        delete m_page;
        m_page = nullptr;
    }

    void writesRealPdfAtTheNamedPathAndReplacesAnExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Report 1 - letter.pdf"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older file that is not a PDF");
        old.close();

        LARKSPAN_REQUIRE(loadPage(QStringLiteral("<html><body><h1>Quarterly lanterns</h1><p>Seven moths counted.</p></body></html>")));
        handOff(path);
        bool ok = false;
        const QString error = printAndWait(&ok);
        QVERIFY2(ok, qPrintable(error));
        QVERIFY(IsCompletePdf(path));
        const QString text = PdfText(path);
        QVERIFY2(text.contains(QStringLiteral("Quarterly lanterns")) && text.contains(QStringLiteral("Seven moths counted.")),
                 qPrintable(text));
        // Only the PDF is left in the folder: the temporary file became it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Report 1 - letter.pdf")});
    }

    void missingFolderFailsCleanly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("not-there/out.pdf"));
        LARKSPAN_REQUIRE(loadPage(QStringLiteral("<p>Nothing to see</p>")));
        handOff(path);
        bool ok = true;
        const QString error = printAndWait(&ok);
        QVERIFY(!ok);
        QVERIFY2(error.contains(QStringLiteral("does not exist")), qPrintable(error));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void unwritableFolderFailsCleanly()
    {
        QTemporaryDir dir;
        QString folder = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        // The superuser writes through permission bits; /proc takes no new files from anyone.
        if (geteuid() == 0)
            folder = QStringLiteral("/proc");
        const QString path = folder + QStringLiteral("/out.pdf");
        LARKSPAN_REQUIRE(loadPage(QStringLiteral("<p>Locked out</p>")));
        handOff(path);
        bool ok = true;
        const QString error = printAndWait(&ok);
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFileInfo::exists(path));
        QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void aFullDiskNamesTheSystemsReason()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("too big.pdf"));
        LARKSPAN_REQUIRE(loadPage(QStringLiteral("<h1>More than the disk takes</h1>")));
        handOff(path);
        // A file size limit stands in for a full disk: writes beyond it fail with the
        // system's reason, as they do when no space is left.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        bool ok = true;
        const QString error = printAndWait(&ok);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);
        QVERIFY(!ok);
        QCOMPARE(error, QStringLiteral("The PDF file \"%1\" could not be written: File too large").arg(path));
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void withoutBypassTheUserIsAsked()
    {
        QTemporaryDir dir;
        const QString suggested = dir.filePath(QStringLiteral("suggested.pdf"));
        const QString chosen = dir.filePath(QStringLiteral("chosen.pdf"));
        LARKSPAN_REQUIRE(loadPage(QStringLiteral("<p>Asked for a name</p>")));
        handOff(suggested, QStringLiteral("0"));
        Recorded().clear();
        Recorded().saveAnswers = {chosen};
        bool ok = false;
        const QString error = printAndWait(&ok);
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(Recorded().count(RecordingDialogs::Kind::Save), 1);
        QCOMPARE(Recorded().calls.first().title, suggested);
        QVERIFY(IsCompletePdf(chosen));
        QVERIFY(!QFileInfo::exists(suggested));

        // Cancelling the dialog fails the job and writes nothing.
        Recorded().clear();
        handOff(suggested, QString());
        const QString cancelled = printAndWait(&ok);
        QVERIFY(!ok);
        QVERIFY(cancelled.contains(QStringLiteral("cancelled")));
        QVERIFY(!QFileInfo::exists(suggested));
    }

    void cancelledJobWritesNothingAndTheNextJobStillPrints()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.pdf"));
        const QString second = dir.filePath(QStringLiteral("second.pdf"));
        LARKSPAN_REQUIRE(loadPage(QStringLiteral("<p>Two jobs on one page</p>")));
        handOff(first);
        PdfPrintJob *job = PdfWriter::instance().print(m_page, QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        QSignalSpy cancelled(job, &PdfPrintJob::finished);
        job->cancel();
        handOff(second);
        bool ok = false;
        const QString error = printAndWait(&ok);
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(cancelled.size(), 1);
        QCOMPARE(cancelled.first().first().toBool(), false);
        QVERIFY(IsCompletePdf(second));
        // The abandoned rendering may arrive after the second; it must never be written.
        QTRY_COMPARE(PdfWriter::instance().pendingJobs(), 0);
        QVERIFY(!QFileInfo::exists(first));
    }
};

LARKSPAN_TEST_MAIN(PdfWriterTest)
#include "tst_pdfwriter.moc"
