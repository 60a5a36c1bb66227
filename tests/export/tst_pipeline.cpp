// The export without any window: a folder listed from a real Dovecot into records,
// then exported by the pipeline alone, printed by an off-screen web page. It must give
// what the export window gives for the same folder.

#include "support/DovecotFixture.h"
#include "support/PickedFolder.h"
#include "support/TestEnvironment.h"

#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/ExportRun.h"
#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/FolderListing.h"
#include "messagelist/data/MessageStore.h"
#include "platform/web/WebPage.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace larkspan;
using namespace larkspan::test;

class PipelineTest : public QObject {
    Q_OBJECT

    DovecotFixture m_server;
    ImapClient m_client;

    std::shared_ptr<clsChilkatIMAP> session()
    {
        auto s = std::make_shared<clsChilkatIMAP>();
        s->ChilkatIMAPObject = &m_client;
        s->SSL = true;
        s->PORT = m_server.port();
        s->IMAPServer = QStringLiteral("127.0.0.1");
        s->Username = m_server.user();
        s->Password = m_server.password();
        return s;
    }

private slots:
    void initTestCase()
    {
        if (!DovecotFixture::available())
            QSKIP("Dovecot is not installed");
        m_server.addFolder(PickedFolderName(), PickedSourceFiles());
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
    }

    void init() { Recorded().clear(); }

    void aFolderExportedWithoutAnyWindow_data()
    {
        QTest::addColumn<bool>("textOnly");
        QTest::newRow("as in the browser") << false;
        QTest::newRow("text only") << true;
    }

    void aFolderExportedWithoutAnyWindow()
    {
        QFETCH(bool, textOnly);
        FolderListing listing(session());
        QSignalSpy listed(&listing, &FolderListing::listed);
        QVERIFY2(listing.run(PickedFolderName()), qPrintable(listing.error()));
        QVERIFY2(listing.error().isEmpty(), qPrintable(listing.error()));
        QCOMPARE(listing.records().upperBound(), int(PickedMessages().size()));
        QCOMPARE(listed.size(), int(PickedMessages().size()));
        QList<PickedMessage> inListOrder;
        for (int i = 1; i <= listing.records().upperBound(); ++i) {
            const PickedMessage *picked = PickedBySubject(listing.records()(i).subject());
            QVERIFY2(picked, qPrintable(listing.records()(i).subject()));
            inListOrder << *picked;
        }

        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        ExportSettings settings;
        settings.folder = folder;
        settings.page.printAsHtml = !textOnly;
        settings.startedAt = QDateTime::currentDateTime();
        PdfPerMessage destination([&](int count) {
            return FileNameFields{DefaultFileNamePattern(), folder, m_server.user(), QDateTime::currentDateTime(), count};
        });
        WebPage first;
        WebPage second;
        ExportRun run(settings, destination, {&first, &second});
        run.setMessages(listing.records());
        QStringList errors;
        run.setErrorReporter([&](const QString &description) { errors << description; });
        QSignalSpy starting(&run, &ExportRun::messageStarting);
        run.exec();

        QVERIFY2(run.failures().isEmpty(), qPrintable(run.failures().join(QLatin1Char('\n'))));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QCOMPARE(run.exportedCount(), 5);
        QCOMPARE(starting.size(), 5);
        QCOMPARE(run.reportSummary(false), ReportSummary(5));
        QVERIFY(Recorded().calls.isEmpty()); // nothing asked anybody anything
        LARKSPAN_REQUIRE(CheckPickedExport(folder, inListOrder, textOnly, m_server.user()));
        MessageStore::instance().dropAll();
    }

    void listingsThatCannotBeMade_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("error");
        QTest::newRow("no such folder") << QStringLiteral("Nowhere") << 1 << 0 << false << 0 << QStringLiteral("The folder \"Nowhere\" could not be opened");
        QTest::newRow("range beyond the folder") << PickedFolderName() << 7 << 9 << false << 0
                                                 << QStringLiteral("holds 5 messages; there is no message 7.");
        QTest::newRow("range cut at the end") << PickedFolderName() << 4 << 99 << true << 2 << QString();
    }

    void listingsThatCannotBeMade()
    {
        QFETCH(QString, folder);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, listed);
        QFETCH(int, records);
        QFETCH(QString, error);
        FolderListing listing(session());
        QCOMPARE(listing.run(folder, first, last), listed);
        QCOMPARE(listing.records().upperBound(), records);
        QVERIFY2(error.isEmpty() ? listing.error().isEmpty() : listing.error().contains(error), qPrintable(listing.error()));
        MessageStore::instance().dropAll();
    }

    void theFilterKeepsOnlyWhatContainsItsText()
    {
        FolderListing listing(session());
        QVERIFY(listing.run(PickedFolderName(), 1, 0, QStringLiteral("tomatoes")));
        QCOMPARE(listing.records().upperBound(), 1);
        QCOMPARE(listing.records()(1).subject(), QStringLiteral("Ten tips for tomatoes"));
        QVERIFY(listing.records()(1).source()->uidValidity > 0);
        QCOMPARE(listing.records()(1).source()->folder, PickedFolderName());
        MessageStore::instance().dropAll();
    }
};

int main(int argc, char **argv)
{
    PrepareTestEnvironment();
    QGuiApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    InstallRecordingDialogs();
    PipelineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pipeline.moc"
