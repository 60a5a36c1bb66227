// Retrieval runs through the main window against a real Dovecot: Get All, Get Some,
// the character filter, Stop and what may happen while a run yields.

#include "MessageListTestKit.h"

#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/RetrievalRun.h"
#include "messagelist/windows/Form2.h"
#include "messagelist/windows/Form5.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/data/MessageStore.h"
#include "messagelist/windows/Form4.h"
#include "app/ExportLauncher.h"
#include "export/window/Form3.h"
#include "platform/core/AppError.h"
#include "platform/core/ProgramFolder.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/SettingsStore.h"
#include "platform/widgets/WindowPointer.h"
#include "support/AccessibleNames.h"
#include "support/DiskSources.h"
#include "support/DovecotFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

using namespace larkspan;
using namespace larkspan::test;

Q_DECLARE_METATYPE(larkspan::test::DiskKind)

namespace {

const QString kDone = QStringLiteral("Done.");
const QString kOffline = QStringLiteral("You must be online to use this software accurately.");

QByteArray Message(const QByteArray &from, const QByteArray &subject, const QByteArray &date,
                   const QByteArray &contentType, const QByteArray &body)
{
    return "From: " + from + "\r\nTo: larkspan@example.org\r\nSubject: " + subject + "\r\nDate: " + date +
           "\r\nMIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n\r\n" + body + "\r\n";
}

QByteArray Numbered(int n)
{
    QByteArray body;
    // Big enough for the fetch to report progress along the way.
    while (body.size() < 24000)
        body += "Line of message " + QByteArray::number(n) + " padding padding padding padding.\r\n";
    return Message("Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n) + "@example.org>",
                   "Message " + QByteArray::number(n), "Mon, 02 Mar 2026 10:00:00 +0000", "text/plain", body);
}


QList<QByteArray> InboxMessages()
{
    return {Message("Alice Example <alice@example.org>", "Hello one", "Tue, 03 Mar 2026 12:00:00 +0000", "text/plain",
                    "First body"),
            Message("Bob Example <bob@example.org>", "Second", "Tue, 03 Mar 2026 13:00:00 +0000", "text/plain",
                    "This one has abc inside."),
            Message("Cleo <cleo@example.org>", "Third", "Wed, 04 Mar 2026 08:15:00 +0000", "text/html; charset=utf-8",
                    "<p>Nothing to see</p>")};
}

QStringList WindowMessages()
{
    QStringList texts = Recorded().messages();
    texts.removeAll(kOffline);
    return texts;
}

QStringList Column(const ListView *list, int subItem)
{
    QStringList texts;
    for (int row = 1; row <= list->count(); ++row)
        texts << (subItem == 0 ? list->text(row) : list->subItem(row, subItem));
    return texts;
}

} // namespace

class RetrievalTest : public QObject {
    Q_OBJECT

    DovecotFixture m_server;
    std::unique_ptr<MainWindow> m_window;
    Form1 *w = nullptr;

    MainWindowContext &ctx() { return w->context(); }

    // A fresh main window, signed in, with folder chosen.
    void connectTo(const QString &folder)
    {
        m_window = std::make_unique<MainWindow>();
        w = m_window->form.get();
        w->Text1->setText(m_server.user());
        w->Text2->setText(m_server.password());
        w->PushButton1->click();
        QCOMPARE(w->PushButton1->text(), QStringLiteral("Disconnect"));
        const int index = w->Combo2->findText(folder);
        QVERIFY2(index >= 0, qPrintable(folder));
        w->Combo2->setCurrentIndex(index);
        Recorded().clear();
    }
    void chooseFolder(const QString &folder) { w->Combo2->setCurrentIndex(w->Combo2->findText(folder)); }

    void verifyIdleState()
    {
        QCOMPARE(w->PushButton3->text(), QStringLiteral("2a. Get All Emails"));
        QCOMPARE(w->PushButton2->text(), QStringLiteral("2b. Get Some Emails"));
        QCOMPARE(PixelsToTwips(w->PushButton3->width(), w->PushButton3), 3840);
        QVERIFY(w->PushButton2->isVisible());
        QCOMPARE(ctx().pointer->pointer(), MousePointer::Default);
        QCOMPARE(w->ProgressBar1->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(w->ProgressBar1->value(), 0);
        QVERIFY(!ctx().oChilkat);
    }

private slots:
    void initTestCase()
    {
        // Dates in the tests are written in UTC and read back in local time.
        qputenv("TZ", "UTC");
        tzset();
        if (!DovecotFixture::available())
            QSKIP("Dovecot is not installed");
        m_server.addFolder(QStringLiteral("INBOX"), InboxMessages());
        m_server.addFolder(
            QStringLiteral("Filters"),
            QList<QByteArray>{
                Message("Dana <dana@example.org>", "ABC meeting", "Mon, 02 Mar 2026 09:00:00 +0000", "text/plain",
                        "agenda"),
                Message("ABC Corp <sales@example.org>", "Offer", "Mon, 02 Mar 2026 09:00:00 +0000", "text/plain",
                        "cheap"),
                Message("Ed <ed@example.org>", "News", "Mon, 02 Mar 2026 09:00:00 +0000", "text/html",
                        "<p>abc ABC</p>"),
                Message("abc <abc@example.org>", "lower", "Mon, 02 Mar 2026 09:00:00 +0000", "text/plain", "x"),
            });
        QList<QByteArray> twenty;
        for (int n = 1; n <= 20; ++n)
            twenty << Numbered(n);
        m_server.addFolder(QStringLiteral("Twenty"), twenty);
        m_server.addFolder(QStringLiteral("Empty"), QList<QByteArray>{});
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(m_server.port()));
        qputenv("LARKSPAN_IMAP_CA_FILE", m_server.caFile().toLocal8Bit());
    }

    void init()
    {
        ResetSettings();
        Recorded().clear();
    }

    void cleanup()
    {
        Recorded().onCall = nullptr;
        w = nullptr;
        m_window.reset();
    }

    void getAllListsEveryMessageInOrder()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        w->ListView1->append(QStringLiteral("left over from before"));
        bool sawRunning = false;
        WhenDuringRun running([&] { return w->ListView1->count() == 1 && w->ListView1->text(1).contains("alice"); },
                              [&] {
                                  sawRunning = w->PushButton3->text() == QStringLiteral("Stop") &&
                                               PixelsToTwips(w->PushButton3->width(), w->PushButton3) == 7800 &&
                                               w->PushButton2->isHidden() && ctx().pointer->isBusy() &&
                                               !w->ListView1->sorted() && AccessibleNameMismatches(w).isEmpty();
                              });
        // "Done." must not stand over a list that shows only part of the folder.
        int rowsShownAtDone = -1;
        larkspan::test::Recorded().onCall = [&](const larkspan::test::RecordingDialogs::Call &call) {
            if (call.text == kDone)
                rowsShownAtDone = w->ListView1->model()->rowCount();
        };
        w->PushButton3->click();
        larkspan::test::Recorded().onCall = nullptr;
        QVERIFY(sawRunning);
        QCOMPARE(rowsShownAtDone, 3);

        QCOMPARE(Column(w->ListView1, 0),
                 QStringList({"Alice Example <alice@example.org>", "Bob Example <bob@example.org>",
                              "Cleo <cleo@example.org>"}));
        QCOMPARE(Column(w->ListView1, 1), QStringList({"Alice Example", "Bob Example", "Cleo"}));
        QCOMPARE(Column(w->ListView1, 2),
                 QStringList({"alice@example.org", "bob@example.org", "cleo@example.org"}));
        QCOMPARE(Column(w->ListView1, 3), QStringList({"Hello one", "Second", "Third"}));
        // Noon on day 46084 stays on the even day; 13:00 goes to the next day.
        QCOMPARE(Column(w->ListView1, 5), QStringList({"46084", "46085", "46085"}));
        QCOMPARE(Messages.upperBound(), 3);
        QCOMPARE(Messages(2).subject(), QStringLiteral("Second"));
        QCOMPARE(Messages(2).plainTextBody(), QStringLiteral("This one has abc inside.\r\n"));
        QCOMPARE(Messages(3).htmlTextBody(), QStringLiteral("<p>Nothing to see</p>\r\n"));
        QCOMPARE(Messages(1).receivedDate(), w->ListView1->subItem(1, 4));
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 3"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 0"));
        QCOMPARE(WindowMessages(), QStringList({kDone}));
        QVERIFY(ErrorReports().isEmpty());
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    // "Open Mail Files..." without signing in: the list fills as a Get All run fills
    // it from the server, from .eml files, an mbox file or a Maildir.
    void openMailFilesListsAsAGetAllRun_data()
    {
        QTest::addColumn<DiskKind>("kind");
        QTest::newRow("mbox") << DiskKind::Mbox;
        QTest::newRow("Maildir") << DiskKind::Maildir;
        QTest::newRow(".eml files") << DiskKind::EmlFiles;
    }

    void openMailFilesListsAsAGetAllRun()
    {
        QFETCH(DiskKind, kind);
        m_window = std::make_unique<MainWindow>();
        w = m_window->form.get();
        Recorded().clear();
        QTemporaryDir disk;
        Recorded().mailSourceAnswers << WriteDiskSource(kind, disk.path(), InboxMessages());
        w->ListView1->append(QStringLiteral("left over from before"));
        bool sawRunning = false;
        WhenDuringRun running([&] { return w->ListView1->count() == 1 && w->ListView1->text(1).contains("alice"); },
                              [&] { sawRunning = w->PushButton3->text() == QStringLiteral("Stop") && ctx().pointer->isBusy(); });
        w->PushButton18->click();
        QVERIFY(sawRunning);
        QCOMPARE(Column(w->ListView1, 3), QStringList({"Hello one", "Second", "Third"}));
        QCOMPARE(Column(w->ListView1, 5), QStringList({"46084", "46085", "46085"}));
        QCOMPARE(Messages(2).plainTextBody(), QStringLiteral("This one has abc inside.\r\n"));
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 3"));
        QCOMPARE(WindowMessages(), QStringList({kDone}));
        QVERIFY(ErrorReports().isEmpty());
        QVERIFY(AccessibleNameMismatches(w).isEmpty());
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    // Get Some counts in the file's order; messages the mail program expunged are
    // left out and the closing message says so; a Maildir++ tree's folders are offered.
    void openMailFilesGetSomeAndFolders()
    {
        m_window = std::make_unique<MainWindow>();
        w = m_window->form.get();
        QTemporaryDir disk;
        QList<QByteArray> mail;
        for (int n = 1; n <= 10; ++n)
            mail << (n == 3 ? "X-Mozilla-Status: 0009\r\n" : QByteArray()) + Numbered(n);
        const QStringList mbox = WriteDiskSource(DiskKind::Mbox, disk.path(), mail);
        Recorded().mailSourceAnswers << mbox;
        w->PushButton18->click();
        QCOMPARE(w->ListView1->count(), 9);
        QCOMPARE(WindowMessages().last(), QStringLiteral("Done. 1 deleted message still in the file was left out."));
        ModalWatcher watcher(QStringLiteral("Get Some Emails"));
        watcher.actions << [&](QDialog *) {
            Form2 &form = Form2Instance();
            QCOMPARE(form.Text1[1]->text(), QStringLiteral("9"));
            form.Text1[0]->setText(QStringLiteral("3"));
            form.Text1[1]->setText(QStringLiteral("4"));
            form.PushButton1->click();
        };
        w->PushButton2->click();
        QCOMPARE(Column(w->ListView1, 3), QStringList({"Message 4", "Message 5"}));

        const QStringList tree = WriteDiskSource(DiskKind::Maildir, disk.path(), {});
        QVERIFY(QDir().mkpath(tree.first() + QStringLiteral("/.Sub/cur")) && QDir().mkpath(tree.first() + QStringLiteral("/.Sub/new")));
        QVERIFY(WriteBytes(tree.first() + QStringLiteral("/.Sub/cur/1.M1P1.test:2,"), Numbered(7)));
        Recorded().mailSourceAnswers << tree;
        w->PushButton18->click();
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(w->Combo2->count(), 2);
        w->Combo2->setCurrentIndex(1);
        w->PushButton3->click();
        QCOMPARE(Column(w->ListView1, 3), QStringList({"Message 7"}));
    }

    // Bad input is named with its cause and the rows read before it stay; Stop ends a
    // run from the disk as it ends one from a server.
    void openMailFilesThatEndEarly_data()
    {
        QTest::addColumn<QByteArray>("mbox");
        QTest::addColumn<int>("stopAtRow"); // 0: no Stop
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("says"); // before "Done."
        QTest::newRow("0-byte file") << QByteArray() << 0 << 0 << "is empty (0 bytes)";
        QTest::newRow("cut inside its last message")
            << MboxEntry(Numbered(1)) + MboxEntry(Numbered(2)) + MboxEntry("Subject: three\r\n\r\nthird bo").chopped(2) << 0 << 2
            << "The file ends inside message 3 of the mbox file ";
        QTest::newRow("stopped") << MboxEntry(Numbered(1)) + MboxEntry(Numbered(2)) + MboxEntry(Numbered(3)) << 1 << 1 << QString();
    }

    void openMailFilesThatEndEarly()
    {
        QFETCH(QByteArray, mbox);
        QFETCH(int, stopAtRow);
        QFETCH(int, rows);
        QFETCH(QString, says);
        m_window = std::make_unique<MainWindow>();
        w = m_window->form.get();
        QTemporaryDir disk;
        const QString path = disk.filePath(QStringLiteral("mail.mbox"));
        QVERIFY(WriteBytes(path, mbox));
        Recorded().mailSourceAnswers << QStringList{path};
        WhenDuringRun stop([&] { return stopAtRow > 0 && w->ListView1->count() == stopAtRow; }, [&] { w->PushButton3->click(); });
        w->PushButton18->click();
        QCOMPARE(w->ListView1->count(), rows);
        const QStringList said = WindowMessages();
        if (says.isEmpty())
            QCOMPARE(said, QStringList({kDone}));
        else
            QVERIFY2(said.first().contains(says) && said.first().contains(path), qPrintable(said.join(QLatin1Char('|'))));
        QVERIFY(ErrorReports().isEmpty());
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    void storedMessagesOutliveTheWindowsAndGoWithTheList()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 3);
        QVERIFY(MessageStore::instance().bytesStored() > 0);
        // The larger window and the export window share the records: bodies still come back.
        ModalWatcher larger(QStringLiteral(" List In Larger View"));
        larger.actions << [](QDialog *dialog) { static_cast<Form4 *>(dialog)->PushButton4->click(); };
        w->PushButton8->click();
        QCOMPARE(larger.shown, 1);
        w->ListView1->setChecked(2, true);
        QPointer<Form3> exportWindow = OpenExportWindow(ctx());
        QVERIFY(exportWindow);
        QCOMPARE(exportWindow->Records(1).plainTextBody(), QStringLiteral("This one has abc inside.\r\n"));
        exportWindow->PushButton8->click(); // "< Back"
        QTRY_VERIFY(exportWindow.isNull());
        QCOMPARE(Messages(2).plainTextBody(), QStringLiteral("This one has abc inside.\r\n"));
        QCOMPARE(Messages(3).htmlTextBody(), QStringLiteral("<p>Nothing to see</p>\r\n"));

        // Clear List lets the messages go: the store holds nothing, old records say so.
        w->PushButton7->click();
        QCOMPARE(MessageStore::instance().bytesStored(), 0);
        QVERIFY_THROWS_EXCEPTION(AppError, Messages(2).plainTextBody());
    }

    void aFullCacheEndsTheRunAndKeepsTheRowsListed()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        QFile::remove(TempFolder() + QStringLiteral("/errorlog.txt"));
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 100 * 1024; // four messages of the folder
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        w->PushButton3->click();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);
        QCOMPARE(ErrorReports().size(), 1);
        QVERIFY2(ErrorReports().first().contains(QStringLiteral("could not be written: File too large")),
                 qPrintable(ErrorReports().first()));
        // The run ends at the message the store refused; every row before it keeps its
        // message, some perhaps still held in memory rather than in the file.
        const int listed = w->ListView1->count();
        QVERIFY2(listed >= 4 && listed < 20, qPrintable(QString::number(listed)));
        for (int n = 1; n <= listed; ++n)
            QVERIFY(Messages(n).plainTextBody().startsWith(QStringLiteral("Line of message %1 ").arg(n)));
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: %1").arg(listed));
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    void filterOnThePlainBodyAndNotTheHtml()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        ctx().CharactersFilter = QStringLiteral("abc");
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 1);
        QCOMPARE(w->ListView1->subItem(1, 3), QStringLiteral("Second"));
        QCOMPARE(Messages.upperBound(), 3);
        QCOMPARE(Messages(1).fromAddress(), QStringLiteral("bob@example.org"));
        QVERIFY(Messages(2).isEmpty());
        QVERIFY(Messages(3).isEmpty());

        // Text only in the HTML body lists nothing.
        ctx().CharactersFilter = QStringLiteral("see</p>");
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
    }

    void filterCaseRulesPerField()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Filters")));
        // Subject without regard to case, From exactly; the HTML body never.
        ctx().CharactersFilter = QStringLiteral("abc");
        w->PushButton3->click();
        QCOMPARE(Column(w->ListView1, 3), QStringList({"ABC meeting", "lower"}));

        ctx().CharactersFilter = QStringLiteral("ABC");
        w->PushButton3->click();
        QCOMPARE(Column(w->ListView1, 3), QStringList({"ABC meeting", "Offer"}));

        // A trailing blank belongs to the text.
        ctx().CharactersFilter = QStringLiteral("ABC ");
        w->PushButton3->click();
        QCOMPARE(Column(w->ListView1, 3), QStringList({"ABC meeting", "Offer"}));
        ctx().CharactersFilter = QStringLiteral("Offer ");
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 0);
    }

    void getSomeListsTheRange()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        ModalWatcher watcher(QStringLiteral("Get Some Emails"));
        QString toBox, toLabel, selection;
        watcher.actions << [&](QDialog *) {
            Form2 &form = Form2Instance();
            toBox = form.Text1[1]->text();
            toLabel = form.Label1[1]->text();
            selection = form.Text1[1]->selectedText();
            form.Text1[0]->setText(QStringLiteral("5"));
            form.Text1[1]->setText(QStringLiteral("8"));
            form.PushButton1->click();
        };
        QStringList progress;
        connect(w->ProgressBar1, &QProgressBar::valueChanged, this, [&] {
            if (!progress.contains(w->ProgressBar1->text()))
                progress << w->ProgressBar1->text();
        });
        w->PushButton2->click();
        QCOMPARE(watcher.shown, 1);
        QCOMPARE(toBox, QStringLiteral("20"));
        QCOMPARE(selection, QStringLiteral("20"));
        QCOMPARE(toLabel, QStringLiteral("To (Max of 20)"));
        QCOMPARE(Column(w->ListView1, 3), QStringList({"Message 5", "Message 6", "Message 7", "Message 8"}));
        QCOMPARE(Messages.upperBound(), 8);
        QCOMPARE(Messages(4).subject(), QStringLiteral("Message 8"));
        for (int n = 5; n <= 8; ++n)
            QVERIFY(Messages(n).isEmpty());
        const QRegularExpression progressText(QStringLiteral("^Reading mail [5-8] of 8$"));
        QVERIFY(std::any_of(progress.begin(), progress.end(),
                            [&](const QString &t) { return progressText.match(t).hasMatch(); }));
        QCOMPARE(WindowMessages(), QStringList({kDone}));
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 4"));
        LARKSPAN_REQUIRE(verifyIdleState());
        // A range whose start lies beyond its end fetches nothing but is accepted.
        watcher.actions << [&](QDialog *) {
            Form2 &form = Form2Instance();
            form.Text1[0]->setText(QStringLiteral("10"));
            form.Text1[1]->setText(QStringLiteral("5"));
            form.PushButton1->click();
        };
        Recorded().clear();
        w->PushButton2->click();
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(Messages.upperBound(), 5);
        QCOMPARE(WindowMessages(), QStringList({kDone}));
    }

    void getSomeClosedWithoutContinueKeepsTheList()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 3);
        w->ListView1->setChecked(2, true);
        w->PushButton5->click();
        Recorded().clear();
        ModalWatcher watcher(QStringLiteral("Get Some Emails"));
        watcher.actions << [](QDialog *dialog) { dialog->close(); };
        w->PushButton2->click();
        QCOMPARE(watcher.shown, 1);
        QVERIFY(!RangeAccepted);
        QCOMPARE(w->ListView1->count(), 3);
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("111"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 3"));
        QCOMPARE(WindowMessages(), QStringList());
        LARKSPAN_REQUIRE(verifyIdleState());
        // The dialog still holds the session after the run let go of it.
        QVERIFY(Form2Instance().ChilkatIMAP());
    }

    void stopDuringGetSome()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        ModalWatcher watcher(QStringLiteral("Get Some Emails"));
        watcher.actions << [](QDialog *) { Form2Instance().PushButton1->click(); }; // 1..20
        QString pb3AfterStop, pb2AfterStop;
        bool pb2Shown = false, stillBusy = false;
        QStringList namesAfterStop{QStringLiteral("not looked at")};
        int rowsAtStop = 0;
        WhenDuringRun stop([&] { return w->ListView1->count() >= 2; },
                           [&] {
                               rowsAtStop = w->ListView1->count();
                               w->PushButton3->click(); // "Stop", from inside the run
                               pb3AfterStop = w->PushButton3->text();
                               pb2AfterStop = w->PushButton2->text();
                               pb2Shown = w->PushButton2->isVisible() &&
                                          PixelsToTwips(w->PushButton3->width(), w->PushButton3) == 3840;
                               stillBusy = ctx().pointer->isBusy();
                               namesAfterStop = AccessibleNameMismatches(w);
                           });
        w->PushButton2->click();
        QVERIFY(stop.fired());
        QCOMPARE(pb3AfterStop, QStringLiteral("2b. Get Some Emails"));
        QCOMPARE(pb2AfterStop, QStringLiteral("2b. Get Some Emails"));
        QVERIFY(pb2Shown);
        QVERIFY(stillBusy);
        QCOMPARE(namesAfterStop, QStringList());
        // The extraction ends at the next fetched message.
        QVERIFY(w->ListView1->count() <= rowsAtStop + 1);
        QVERIFY(w->ListView1->count() < 20);
        QCOMPARE(WindowMessages(), QStringList({kDone}));
        QVERIFY(ErrorReports().isEmpty());
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    void runStartedAfterStopRunsNested()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        bool innerFinished = false;
        WhenDuringRun stopAndRestart([&] { return w->ListView1->count() >= 2; },
                                     [&] {
                                         w->PushButton3->click(); // Stop
                                         chooseFolder(QStringLiteral("INBOX"));
                                         w->PushButton3->click(); // a new Get All, inside the old run
                                         innerFinished = true;
                                     });
        w->PushButton3->click();
        QVERIFY(innerFinished);
        // The interrupted run adds nothing after the nested one.
        QCOMPARE(Column(w->ListView1, 3), QStringList({"Hello one", "Second", "Third"}));
        QCOMPARE(Messages.upperBound(), 3);
        QCOMPARE(WindowMessages(), QStringList({kDone, kDone}));
        QVERIFY(ErrorReports().isEmpty());
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 3"));
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    void stopBeforeTheExtractionBegins()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        // The first yield of the run comes while the folder is being counted.
        WhenDuringRun stop([&] { return w->PushButton3->text() == QStringLiteral("Stop"); },
                           [&] { w->PushButton3->click(); });
        w->PushButton3->click();
        QVERIFY(stop.fired());
        const QStringList reports = ErrorReports();
        QVERIFY(!reports.isEmpty());
        for (const QString &report : reports)
            QVERIFY2(report.startsWith(QStringLiteral("Object variable or With block variable not set\r\n"
                                                      "in Ostrevan2021/08/31.Form1.PushButton3_Click ")),
                     qPrintable(report));
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        LARKSPAN_REQUIRE(verifyIdleState());
    }

    void windowRepaintsDuringAndAfterARun()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        struct PaintCount : QObject {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Paint)
                    ++paints;
                return false;
            }
        } counter;
        w->ListView1->viewport()->installEventFilter(&counter);
        w->PushButton3->click();
        QVERIFY(counter.paints >= 1);
        QCOMPARE(w->ListView1->count(), 20);
        // No repaint is left held back once the run is over.
        const int afterRun = counter.paints;
        w->ListView1->viewport()->update();
        QTRY_VERIFY(counter.paints > afterRun);
    }

    void clearListWhileRunningKeepsRows()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        int rowsAfterClear = -1;
        QString totalAfterClear, selectedAfterClear;
        WhenDuringRun clear([&] { return w->ListView1->count() >= 3; },
                            [&] {
                                w->ListView1->setChecked(1, true);
                                const int before = w->ListView1->count();
                                w->PushButton7->click();
                                rowsAfterClear = w->ListView1->count() - before;
                                totalAfterClear = w->Label1->text();
                                selectedAfterClear = w->Label2->text();
                            });
        w->PushButton3->click();
        QCOMPARE(rowsAfterClear, 0);
        QCOMPARE(totalAfterClear, QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(selectedAfterClear, QStringLiteral("Selected Emails: 0"));
        QCOMPARE(w->ListView1->count(), 20);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 20"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 1"));
    }

    void filterDialogSuppressesDone()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        ModalWatcher watcher(QStringLiteral("Filter By Characters"));
        watcher.actions << [](QDialog *dialog) {
            auto *form = static_cast<Form5 *>(dialog);
            form->txtSearch->setText(QStringLiteral("Example"));
            form->PushButton1->click();
        };
        w->PushButton14->click();
        QCOMPARE(watcher.shown, 1);
        QCOMPARE(w->Label3->text(), QStringLiteral("Character Filter set to Example"));
        QCOMPARE(ReadSetting(QStringLiteral("CharactersFilter")), QStringLiteral("Example"));
        // The first run after connecting uses the sign-in's session: no "Done.".
        w->PushButton3->click();
        QCOMPARE(Column(w->ListView1, 1), QStringList({"Alice Example", "Bob Example"}));
        QCOMPARE(WindowMessages(), QStringList());

        // Reopened, the box shows the filter; OK with it emptied removes the filter but
        // the label keeps its text.
        QString shownText;
        watcher.actions << [&](QDialog *dialog) {
            auto *form = static_cast<Form5 *>(dialog);
            shownText = form->txtSearch->text();
            form->txtSearch->clear();
            form->PushButton1->click();
        };
        w->PushButton14->click();
        QCOMPARE(shownText, QStringLiteral("Example"));
        QCOMPARE(ctx().CharactersFilter, QString());
        // Escape closes it like Cancel: nothing changes.
        watcher.actions << [](QDialog *dialog) {
            auto *form = static_cast<Form5 *>(dialog);
            form->txtSearch->setText(QStringLiteral("typed, then abandoned"));
            QTest::keyClick(form->txtSearch, Qt::Key_Escape);
        };
        w->PushButton14->click();
        QCOMPARE(watcher.shown, 3);
        QCOMPARE(ctx().CharactersFilter, QString());
        QCOMPARE(ReadSetting(QStringLiteral("CharactersFilter"), QStringLiteral("unset")), QString());
        QCOMPARE(w->Label3->text(), QStringLiteral("Character Filter set to Example"));
    }

    void filterChangedDuringRun()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("Twenty")));
        ModalWatcher watcher(QStringLiteral("Filter By Characters"));
        int rowsBefore = 0;
        watcher.actions << [&](QDialog *dialog) {
            rowsBefore = w->ListView1->count();
            auto *form = static_cast<Form5 *>(dialog);
            form->txtSearch->setText(QStringLiteral("Message 1"));
            form->PushButton1->click();
        };
        WhenDuringRun change([&] { return w->ListView1->count() >= 3; }, [&] { w->PushButton14->click(); });
        w->PushButton3->click();
        QVERIFY(change.fired());
        QVERIFY(rowsBefore >= 3 && rowsBefore < 10);
        QStringList expected;
        for (int n = 1; n <= 20; ++n)
            if (n <= rowsBefore || (n >= 10 && n <= 19))
                expected << QStringLiteral("Message %1").arg(n);
        QCOMPARE(Column(w->ListView1, 3), expected);
        QCOMPARE(w->Label3->text(), QStringLiteral("Character Filter set to Message 1"));
        // Closing the filter dialog suppressed "Done.".
        QCOMPARE(WindowMessages(), QStringList());
    }

    void emptyFolderAndMissingChoices()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        w->PushButton3->click();
        Recorded().clear();
        chooseFolder(QStringLiteral("Empty"));
        w->PushButton2->click();
        QCOMPARE(WindowMessages(), QStringList({"There are 0 emails in the Folder you selected."}));
        QCOMPARE(w->ListView1->count(), 3);
        LARKSPAN_REQUIRE(verifyIdleState());
        Recorded().clear();
        w->PushButton3->click();
        QCOMPARE(WindowMessages(), QStringList({"There are no emails in the Folder you selected."}));
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        LARKSPAN_REQUIRE(verifyIdleState());
        Recorded().clear();
        w->Combo2->setCurrentIndex(-1);
        w->PushButton3->click();
        w->PushButton2->click();
        QCOMPARE(WindowMessages(), QStringList({"Please select a folder.", "Please select a folder."}));

        Recorded().clear();
        w->PushButton1->click(); // Disconnect
        QCOMPARE(w->PushButton1->text(), QStringLiteral("1. Connect"));
        Recorded().clear();
        w->PushButton3->click();
        w->PushButton2->click();
        w->PushButton14->click();
        const QString connectFirst = QStringLiteral("Please connect first (Step 1) before using this feature.");
        QCOMPARE(WindowMessages(), QStringList({connectFirst, connectFirst, connectFirst}));

        // The filter's explanation and Clear Filter need no connection.
        WriteSetting(QStringLiteral("CharactersFilter"), QStringLiteral("old"));
        ctx().CharactersFilter = QStringLiteral("old");
        w->Label3->setText(QStringLiteral("Character Filter set to old"));
        Recorded().clear();
        w->PushButton15->click();
        w->PushButton17->click();
        QCOMPARE(WindowMessages(),
                 QStringList({"This feature will allow you to only show emails containing certain text \r\n"
                              "so that you do not have to look at all the emails in the folder."}));
        QCOMPARE(ctx().CharactersFilter, QString());
        QCOMPARE(ReadSetting(QStringLiteral("CharactersFilter"), QStringLiteral("unset")), QString());
        QCOMPARE(w->Label3->text(), QStringLiteral("No Character Filter set"));
    }

    void runsOwnSessionWhenNoneIsHeld()
    {
        LARKSPAN_REQUIRE(connectTo(QStringLiteral("INBOX")));
        ctx().oChilkat.reset(); // as after an earlier run
        SkipDoneMessage = true;
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 3);
        QCOMPARE(WindowMessages(), QStringList({kDone}));

        // A wrong password: the session's own message, no "Done.", the list cleared.
        Recorded().clear();
        w->Text2->setText(QStringLiteral("wrong"));
        w->PushButton3->click();
        QCOMPARE(w->ListView1->count(), 0);
        QVERIFY(!WindowMessages().contains(kDone));
        QVERIFY(!WindowMessages().isEmpty());
        LARKSPAN_REQUIRE(verifyIdleState());
    }
};

LARKSPAN_TEST_MAIN(RetrievalTest)
#include "tst_retrieval.moc"
