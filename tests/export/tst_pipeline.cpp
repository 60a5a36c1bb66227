// The export without any window: a folder listed from a real Dovecot into records,
// then exported by the pipeline alone, printed by an off-screen web page. It must give
// what the export window gives for the same folder.

#include "support/DiskSources.h"
#include "support/DovecotFixture.h"
#include "support/PickedFolder.h"
#include "support/TestEnvironment.h"

#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/ExportRun.h"
#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/FolderListing.h"
#include "messagelist/data/LocalListing.h"
#include "messagelist/data/MessageStore.h"
#include "platform/web/WebPage.h"

#include "platform/core/AppError.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace larkspan;
using namespace larkspan::test;

Q_DECLARE_METATYPE(larkspan::test::DiskKind)

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

    // Exports records into folder as the export window's "Export All To PDF" does,
    // with the export report's skipping as asked; nothing may fail.
    void exportAll(const RecordArray &records, const QString &folder, bool textOnly, bool skipExported, int exported)
    {
        ExportSettings settings;
        settings.folder = folder;
        settings.page.printAsHtml = !textOnly;
        settings.skipExported = skipExported;
        settings.startedAt = QDateTime::currentDateTime();
        PdfPerMessage destination([&](int count) {
            return FileNameFields{DefaultFileNamePattern(), folder, m_server.user(), QDateTime::currentDateTime(), count};
        });
        WebPage first;
        WebPage second;
        ExportRun run(settings, destination, {&first, &second});
        run.setMessages(records);
        QStringList errors;
        run.setErrorReporter([&](const QString &description) { errors << description; });
        QSignalSpy starting(&run, &ExportRun::messageStarting);
        run.exec();
        QVERIFY2(run.failures().isEmpty(), qPrintable(run.failures().join(QLatin1Char('\n'))));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QCOMPARE(run.exportedCount(), exported);
        if (!skipExported) {
            QCOMPARE(starting.size(), exported);
            QCOMPARE(run.reportSummary(false), ReportSummary(exported));
        }
        QVERIFY(Recorded().calls.isEmpty()); // nothing asked anybody anything
    }

    QList<PickedMessage> inListOrder(const RecordArray &records)
    {
        QList<PickedMessage> order;
        for (int i = 1; i <= records.upperBound(); ++i)
            if (const PickedMessage *picked = PickedBySubject(records(i).subject()))
                order << *picked;
        return order;
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
        const QList<PickedMessage> inOrder = inListOrder(listing.records());
        QCOMPARE(inOrder.size(), int(PickedMessages().size()));

        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        LARKSPAN_REQUIRE(exportAll(listing.records(), folder, textOnly, false, 5));
        LARKSPAN_REQUIRE(CheckPickedExport(folder, inOrder, textOnly, m_server.user()));
        MessageStore::instance().dropAll();
    }

    // The folder's messages as an mbox file, a Maildir and .eml files: the same rows
    // as from the server, and the same PDFs, originals byte for byte; the report names
    // the files.
    void theSameMessagesFromTheDisk_data()
    {
        QTest::addColumn<DiskKind>("kind");
        QTest::newRow("mbox") << DiskKind::Mbox;
        QTest::newRow("Maildir") << DiskKind::Maildir;
        QTest::newRow(".eml files") << DiskKind::EmlFiles;
    }

    void theSameMessagesFromTheDisk()
    {
        QFETCH(DiskKind, kind);
        QTemporaryDir disk;
        LocalListing local;
        QVERIFY2(local.run(WriteDiskSource(kind, disk.path(), PickedMessageBytes())), qPrintable(local.error()));
        QVERIFY2(local.error().isEmpty(), qPrintable(local.error()));
        FolderListing server(session());
        QVERIFY2(server.run(PickedFolderName()), qPrintable(server.error()));
        QCOMPARE(local.records().upperBound(), server.records().upperBound());
        for (int i = 1; i <= server.records().upperBound(); ++i)
            for (int f = 0; f < MessageRecord::FieldCount; ++f)
                QCOMPARE(local.records()(i).field(MessageRecord::Field(f)), server.records()(i).field(MessageRecord::Field(f)));

        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        LARKSPAN_REQUIRE(exportAll(local.records(), folder, false, true, 5));
        LARKSPAN_REQUIRE(CheckPickedExport(folder, inListOrder(local.records()), false, QString(), disk.path()));
        MessageStore::instance().dropAll();
    }

    // The range counts in the file's order, the filter as for a server folder.
    void aRangeAndTheFilterOnTheDisk_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("subjects");
        QTest::addColumn<QString>("error");
        QTest::newRow("messages 2 to 3") << 2 << 3 << QString()
                                         << QStringList{PickedMessages()[1].subject, PickedMessages()[2].subject} << QString();
        QTest::newRow("the filter") << 1 << 0 << "tomatoes" << QStringList{PickedMessages()[1].subject} << QString();
        QTest::newRow("past the end") << 7 << 9 << QString() << QStringList() << "holds 5 messages; there is no message 7.";
    }

    void aRangeAndTheFilterOnTheDisk()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, filter);
        QFETCH(QStringList, subjects);
        QFETCH(QString, error);
        QTemporaryDir disk;
        LocalListing local;
        QCOMPARE(local.run(WriteDiskSource(DiskKind::Mbox, disk.path(), PickedMessageBytes()), first, last, filter),
                 error.isEmpty());
        QStringList listed;
        for (int i = 1; i <= local.records().upperBound(); ++i)
            listed << local.records()(i).subject();
        QCOMPARE(listed, subjects);
        QVERIFY2(error.isEmpty() ? local.error().isEmpty() : local.error().contains(error), qPrintable(local.error()));
    }

    // Skipping knows a message on the disk by its source and its SHA-256: a repeat
    // writes nothing, and after more mail was appended to the mbox only the new mail.
    void aRepeatFromAGrowingMboxWritesOnlyTheNewMessages()
    {
        QTemporaryDir disk;
        const QList<QByteArray> picked = PickedMessageBytes();
        const QStringList mbox = WriteDiskSource(DiskKind::Mbox, disk.path(), picked.mid(0, 2));
        QTemporaryDir out;
        const QString folder = out.path() + QLatin1Char('/');
        for (int round = 0; round < 3; ++round) {
            if (round == 2)
                QVERIFY(WriteBytes(mbox.first(), MboxEntry(picked[2]), QIODevice::Append));
            LocalListing local;
            QVERIFY2(local.run(mbox) && local.error().isEmpty(), qPrintable(local.error()));
            LARKSPAN_REQUIRE(exportAll(local.records(), folder, true, true, round == 1 ? 0 : round == 0 ? 2 : 1));
        }
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.pdf")}).size(), 3);
    }

    // A file changed since it was listed is not read as the message it was: the
    // error names the message, its file and the cause.
    void aFileChangedUnderneathIsRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");
        QTest::newRow("a byte changed") << "byte" << "the octets at the message's place differ";
        QTest::newRow("cut short") << "cut" << "it is shorter now";
        QTest::newRow("removed") << "removed" << "not found";
    }

    void aFileChangedUnderneathIsRefused()
    {
        QFETCH(QString, change);
        QFETCH(QString, error);
        QTemporaryDir disk;
        const QStringList mbox = WriteDiskSource(DiskKind::Mbox, disk.path(), PickedMessageBytes().mid(0, 2));
        LocalListing local;
        QVERIFY(local.run(mbox));
        QFile file(mbox.first());
        if (change == QLatin1String("removed")) {
            QVERIFY(file.remove());
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (change == QLatin1String("cut"))
                QVERIFY(file.resize(file.size() - 40));
            else
                QVERIFY(file.seek(file.size() - 40) && file.write("#") == 1);
            file.close();
        }
        QString said;
        try {
            local.records()(2).original();
        } catch (const AppError &failure) {
            said = failure.description();
        }
        QVERIFY2(said.contains(error) && said.contains(mbox.first()), qPrintable(said));
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
