// The usual session from start to finish through the real windows: sign in to a real
// Dovecot, list a folder, tick messages, open the export window and export them all,
// then read every PDF back. Once as the mails appear in the browser, once text-only.

#include "support/WidgetTestMain.h"
#include "messagelist/MessageListTestKit.h"
#include "export/ExportFixture.h"

#include "export/window/Form3.h"
#include "messagelist/data/MessageRecord.h"
#include "platform/widgets/ListView.h"
#include "support/DovecotFixture.h"
#include "support/PickedFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QFileInfo>
#include <QRegularExpression>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>

using namespace larkspan;
using namespace larkspan::test;

namespace {

const QString kDone = QStringLiteral("Done.");
const QString kReportFolder = QStringLiteral("Reported");

// Subjects the report must carry exactly, whatever CSV has to quote.
const QStringList &ReportedSubjects()
{
    static const QStringList subjects = {
        QStringLiteral("Numbers, part one"),  QStringLiteral("The \"quoted\" plan"), QStringLiteral("Plain"),
        QStringLiteral("Ünïcode, \"both\""), QStringLiteral("=SUM(A1:A2)"),       QStringLiteral("Sixth"),
        QStringLiteral("Seventh, last"),
    };
    return subjects;
}

QByteArray ReportedMessage(int n)
{
    return "From: Rita Report <rita@example.org>\r\nSubject: =?utf-8?b?" + ReportedSubjects()[n].toUtf8().toBase64() +
           "?=\r\nDate: Wed, 02 Dec 2026 10:0" + QByteArray::number(n) + ":00 +0000\r\nMessage-ID: <report-" +
           QByteArray::number(n) + "@example.org>\r\n\r\nBody " + QByteArray::number(n) + ".\r\n";
}

// The report as Python's csv module reads it: a JSON array of rows.
QJsonArray ReportReadByPython(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QStringLiteral("import csv, json, sys\n"
                                                       "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                                       "    print(json.dumps(list(csv.reader(f, strict=True))))"),
                  path});
    python.waitForFinished(60000);
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

Form3 *OpenExportWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *form = qobject_cast<Form3 *>(widget); form && form->isVisible())
            return form;
    return nullptr;
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

    DovecotFixture m_server;
    std::unique_ptr<MainWindow> m_window;

    // Opens the main window, signs in and lists the folder with "2a. Get All Emails"
    // until its rows are all shown.
    void signInAndList(const QString &folder, int rows)
    {
        m_window = std::make_unique<MainWindow>();
        Form1 *w = m_window->form.get();
        w->Text1->setText(m_server.user());
        w->Text2->setText(m_server.password());
        w->PushButton1->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->PushButton1->text(), QStringLiteral("Disconnect"), 30000);
        const int index = w->Combo2->findText(folder);
        QVERIFY2(index >= 0, qPrintable(folder));
        w->Combo2->setCurrentIndex(index);
        Recorded().clear();
        w->PushButton3->click();
        QTRY_VERIFY_WITH_TIMEOUT(Recorded().messages().contains(kDone), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(w->PushButton3->text(), QStringLiteral("2a. Get All Emails"), 30000);
        QCOMPARE(w->ListView1->count(), rows);
        // Rows reach the view in paced batches, possibly after "Done.": a user can
        // only tick what is shown.
        QTRY_COMPARE(w->ListView1->model()->rowCount(), rows);
    }

    // Lists the folder once, then ticks the given rows (from 1).
    void listAndTick(const QString &folder, const QList<int> &rows)
    {
        if (!m_window)
            LARKSPAN_REQUIRE(signInAndList(folder, int(ReportedSubjects().size())));
        for (int row : rows)
            m_window->form->ListView1->setChecked(row, true);
    }

    // Opens the export window on the ticked rows and runs "Export All To PDF" into out;
    // the closing message.
    void exportAllInto(const QString &out, bool skip, QString *closing)
    {
        Recorded().clear();
        m_window->form->PushButton4->click();
        Form3 *form = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((form = OpenExportWindow()) != nullptr, 30000);
        form->txtBackupPath->setText(out);
        form->chkSkipExported->setChecked(skip);
        Recorded().clear();
        form->PushButton2->click();
        QTRY_COMPARE_WITH_TIMEOUT(Recorded().messages().size(), 1, 120000);
        *closing = Recorded().messages().first();
        QPointer<Form3> closingForm = form;
        form->PushButton8->click();
        QTRY_VERIFY(closingForm.isNull());
    }

    void exportEverything(bool textOnly)
    {
        LARKSPAN_REQUIRE(signInAndList(PickedFolderName(), int(PickedMessages().size())));
        Form1 *w = m_window->form.get();
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 5"));
        w->ListView1->setFocus();
        // Tick every row as a user does (Space on the current row); the PDFs are numbered in list order.
        QList<PickedMessage> inListOrder;
        for (int row = 1; row <= w->ListView1->count(); ++row) {
            const QString subject = w->ListView1->subItem(row, 3);
            const PickedMessage *found = PickedBySubject(subject);
            QVERIFY2(found, qPrintable(subject));
            inListOrder << *found;
            w->ListView1->setCurrentIndex(w->ListView1->model()->index(row - 1, 0));
            QTest::keyClick(w->ListView1, Qt::Key_Space);
            QVERIFY2(w->ListView1->checked(row), qPrintable(subject));
        }
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 5"));

        (textOnly ? w->Option2 : w->Option1)->click();
        Recorded().clear();
        w->PushButton4->click();
        Form3 *form = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((form = OpenExportWindow()) != nullptr, 30000);
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(form->RecordCount, 5);
        QCOMPARE(form->PrintAsHTML, !textOnly);

        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString folder = out.path() + QStringLiteral("/");
        form->txtBackupPath->setText(folder);
        Recorded().clear();
        form->PushButton2->click();
        QTRY_COMPARE_WITH_TIMEOUT(Recorded().messages(), QStringList{kDone + ReportSummary(5)}, 120000);
        QTRY_COMPARE(form->PushButton2->text(), QStringLiteral("Export All To PDF"));
        QVERIFY2(form->LastFailures.isEmpty(), qPrintable(form->LastFailures.join(QLatin1Char('\n'))));
        QVERIFY2(ErrorReports().isEmpty(), qPrintable(ErrorReports().join(QLatin1Char('\n'))));

        LARKSPAN_REQUIRE(CheckPickedExport(folder, inListOrder, textOnly, m_server.user()));

        // Back to the main window, still signed in with the same list.
        QPointer<Form3> closing = form;
        form->PushButton8->click();
        QTRY_VERIFY(closing.isNull());
        QVERIFY(w->isVisible());
        QCOMPARE(w->ListView1->count(), 5);
        QCOMPARE(w->PushButton1->text(), QStringLiteral("Disconnect"));
    }

private slots:
    void initTestCase()
    {
        if (!DovecotFixture::available())
            QSKIP("Dovecot is not installed");
        m_server.addFolder(QStringLiteral("INBOX"), QStringList{DemoMailbox() + QStringLiteral("/INBOX/002.eml")});
        const QStringList files = PickedSourceFiles();
        m_server.addFolder(PickedFolderName(), files);
        QList<QByteArray> reported;
        for (int n = 0; n < ReportedSubjects().size(); ++n)
            reported << ReportedMessage(n);
        m_server.addFolder(kReportFolder, reported);
        QVERIFY(files.last().endsWith(QLatin1String("complete-record.eml")));
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
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<Form3 *>(widget))
                delete form;
        m_window.reset();
    }

    void exportAsInTheBrowser() { exportEverything(false); }

    void aSecondRunSkipsWhatTheReportSaysIsDone()
    {
        QTemporaryDir dir;
        const QString out = dir.path() + QLatin1Char('/');
        const QString report = out + QStringLiteral("Larkspan export report.csv");
        const auto pdfs = [&] { return QDir(out).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name); };
        QString closing;

        // Run 1: five messages.
        LARKSPAN_REQUIRE(listAndTick(kReportFolder, {1, 2, 3, 4, 5}));
        LARKSPAN_REQUIRE(exportAllInto(out, true, &closing));
        QCOMPARE(closing, kDone + ReportSummary(5));
        QCOMPARE(pdfs().size(), 5);
        const QDateTime firstWritten = QFileInfo(out + pdfs().first()).lastModified();

        // Run 2, skipping, two more ticked: only the two new ones are written.
        LARKSPAN_REQUIRE(listAndTick(kReportFolder, {6, 7}));
        LARKSPAN_REQUIRE(exportAllInto(out, true, &closing));
        QCOMPARE(closing, kDone + ReportSummary(2, 5));
        QCOMPARE(pdfs().size(), 7);
        QCOMPARE(QFileInfo(out + pdfs().first()).lastModified(), firstWritten);

        // A PDF that was deleted is exported again.
        const QString second = pdfs().at(1);
        QVERIFY(QFile::remove(out + second));
        LARKSPAN_REQUIRE(exportAllInto(out, true, &closing));
        QCOMPARE(closing, kDone + ReportSummary(1, 6));
        QVERIFY(QFile::exists(out + second));

        // Every field comes back exactly; the rows tell what each run did.
        const QJsonArray rows = ReportReadByPython(report);
        QCOMPARE(rows.size(), 1 + 5 + 7 + 7);
        QCOMPARE(rows[0].toArray().at(9).toString(), QStringLiteral("Subject"));
        QStringList statuses;
        for (int r = 1; r < rows.size(); ++r) {
            const QJsonArray row = rows[r].toArray();
            QCOMPARE(row.size(), 16); // the last three name a file on the disk, empty here
            const int n = (r <= 5 ? r : r <= 12 ? r - 5 : r - 12) - 1;
            QCOMPARE(row.at(9).toString(), ReportedSubjects()[n]);
            QCOMPARE(row.at(5).toString(), QStringLiteral("<report-%1@example.org>").arg(n));
            QCOMPARE(row.at(1).toString(), m_server.user());
            QCOMPARE(row.at(2).toString(), kReportFolder);
            QVERIFY(row.at(3).toString().toUInt() > 0 && row.at(4).toString().toUInt() > 0);
            QCOMPARE(row.at(6).toString(), QString::fromLatin1(QCryptographicHash::hash(ReportedMessage(n), QCryptographicHash::Sha256).toHex()));
            QVERIFY(QDateTime::fromString(row.at(0).toString(), Qt::ISODate).isValid());
            statuses << row.at(11).toString();
        }
        QCOMPARE(statuses.mid(5, 7).count(QStringLiteral("skipped")), 5);
        QCOMPARE(statuses.mid(12).count(QStringLiteral("exported")), 1);
        QCOMPARE(statuses.count(QStringLiteral("exported")), 5 + 2 + 1);

        // A damaged report is kept aside; nothing is skipped then.
        QFile damaged(report);
        QVERIFY(damaged.open(QIODevice::Append));
        damaged.write("\"unterminated,field\r\n");
        damaged.close();
        LARKSPAN_REQUIRE(exportAllInto(out, true, &closing));
        QVERIFY2(closing.startsWith(kDone + ReportSummary(7)), qPrintable(closing));
        QVERIFY2(closing.contains(QStringLiteral("kept aside as \"Larkspan export report (damaged ")) &&
                     closing.endsWith(QStringLiteral(", so nothing was skipped.")),
                 qPrintable(closing));
        QCOMPARE(QDir(out).entryList({QStringLiteral("Larkspan export report (damaged *).csv")}).size(), 1);
        QCOMPARE(ReportReadByPython(report).size(), 1 + 7);
    }
    void exportTextOnly() { exportEverything(true); }
};

LARKSPAN_TEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
