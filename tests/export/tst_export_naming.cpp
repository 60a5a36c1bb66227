// PDF file names from the pattern: field order and case, cleaning, length limit,
// folder prefix, and the hand-off to the PDF writer's store.

#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "mail/OleDate.h"
#include "platform/web/PdfWriter.h"
#include "platform/core/SettingsStore.h"

#include <QLineEdit>

using namespace larkspan;
using namespace larkspan::test;

class ExportNamingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_main;
    QPointer<Form3> m_form;

    QString name(const QString &pattern, const QString &folder, const MessageRecord &record, int index = 1, int count = 1)
    {
        QList<MessageRecord> records;
        for (int i = 1; i <= count; ++i)
            records << (i == index ? record : MakeRecord(QStringLiteral("other")));
        GiveRecords(*m_form, records);
        m_form->CurrentIndex = index;
        m_form->Text1->setText(pattern);
        m_form->txtBackupPath->setText(folder);
        return m_form->CreatePDF_File();
    }

    static QString storedPath() { return PdfWriter::store().read(PdfWriter::outputFileKey()); }

private slots:
    void init()
    {
        ResetSettings();
        Recorded().clear();
        m_main = std::make_unique<MainWindowFixture>();
        m_form = new Form3(m_main->ctx);
        m_form->Now = [] { return QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)); };
    }

    void cleanup()
    {
        delete m_form;
        m_main.reset();
    }

    void workedExampleOfTheSecondTickedMessage()
    {
        const QString path = name(Form3::DefaultPattern(), QStringLiteral("/tmp/Out/"), MakeRecord(QStringLiteral("Re: Plan?")), 2, 3);
        QCOMPARE(path, QStringLiteral("/tmp/Out/2 - 12-07-2026 Re  Plan.pdf"));
        QCOMPARE(storedPath(), path);
        QCOMPARE(PdfWriter::store().read(PdfWriter::bypassSaveAsKey()), QStringLiteral("1"));
        QVERIFY(Recorded().calls.isEmpty());
    }

    void longNamesAreCutToTheRoomTheFolderLeaves()
    {
        const QString subject = QString(300, QLatin1Char('x'));
        const QString path = name(QStringLiteral("<Subject>"), QStringLiteral("/a/Out/"), MakeRecord(subject));
        QCOMPARE(path, QStringLiteral("/a/Out/") + QString(243, QLatin1Char('x')) + QStringLiteral(".pdf"));
        QCOMPARE(path.size(), 254);
        // The cut name is not trimmed again.
        const QString spaced = QString(242, QLatin1Char('y')) + QStringLiteral(" z");
        QCOMPARE(name(QStringLiteral("<Subject>"), QStringLiteral("/a/Out/"), MakeRecord(spaced)),
                 QStringLiteral("/a/Out/") + QString(242, QLatin1Char('y')) + QStringLiteral(" .pdf"));
        // A folder that leaves no room gives no name.
        QCOMPARE(name(QStringLiteral("<Subject>"), QStringLiteral("/") + QString(249, QLatin1Char('f')), MakeRecord(QStringLiteral("a"))),
                 QString());
    }

    void fieldsMatchInAnyCaseAndInTheirOrder()
    {
        MessageRecord record = MakeRecord(QStringLiteral("For <to> from <COUNT>"), QString(), QString(), QStringLiteral("Bea Bell"));
        const QString path = name(QStringLiteral("<SUBJECT> by <from NAME> [<From Address>]"), QStringLiteral("/o/"), record, 3, 3);
        // "<To>" written after the subject expands; "<Count>" came before it and stays
        // literal until its brackets become spaces.
        QCOMPARE(path, QStringLiteral("/o/For me@example.org from  COUNT  by Bea Bell [ada@example.org].pdf"));
    }

    void cleaningRemovesWhatAFileNameMayNotHold()
    {
        const QString subject = QStringLiteral("A\u20ACB\u2014C\u201CD\u201DE\tF\u0001G \u0160\u0161 \u0178#'\"H \u00E9t\u00E9 a/b\\c*d|e");
        QCOMPARE(name(QStringLiteral("<Subject>"), QStringLiteral("/o/"), MakeRecord(subject)),
                 QStringLiteral("/o/ABCDEFG  H \u00E9t\u00E9 a b c d e.pdf"));
        // The time of day never brings its separators along.
        const QString timed = name(QStringLiteral("<Current Time>"), QStringLiteral("/o/"), MakeRecord(QStringLiteral("s")));
        QVERIFY(!timed.mid(3).contains(QLatin1Char(':')));
        QVERIFY2(timed.contains(QStringLiteral("05 09")) || timed.contains(QStringLiteral("5 09")), qPrintable(timed));
    }

    void emptyNamesAreRefusedWithoutTouchingTheStore()
    {
        PdfWriter::store().write(PdfWriter::outputFileKey(), QStringLiteral("/kept/earlier.pdf"));
        QCOMPARE(name(QStringLiteral("   "), QStringLiteral("/o/"), MakeRecord(QStringLiteral("x"))), QString());
        QCOMPARE(name(QStringLiteral("?<>:#'"), QStringLiteral("/o/"), MakeRecord(QStringLiteral("x"))), QString());
        QCOMPARE(name(QStringLiteral("<Subject>"), QStringLiteral("/o/"), MakeRecord(QStringLiteral("\u2026\u2122"))), QString());
        QCOMPARE(storedPath(), QStringLiteral("/kept/earlier.pdf"));
    }

    void theFolderIsUsedVerbatim()
    {
        QCOMPARE(name(QStringLiteral("a"), QStringLiteral("/tmp/Out"), MakeRecord(QStringLiteral("x"))), QStringLiteral("/tmp/Outa.pdf"));
    }

    void receivedDates()
    {
        MessageRecord record = MakeRecord(QStringLiteral("x"));
        record.setField(MessageRecord::ReceivedDate, OleDateToGeneralText(ToOleDate(QDateTime(QDate(2026, 3, 4), QTime(10, 0)))));
        QCOMPARE(name(QStringLiteral("<Received Date>"), QStringLiteral("/o/"), record), QStringLiteral("/o/03-04-2026.pdf"));
        QVERIFY(Recorded().calls.isEmpty());

        // A date that cannot be read: the error report, and the field's words stay.
        record.setField(MessageRecord::ReceivedDate, QStringLiteral("sometime last week"));
        QCOMPARE(name(QStringLiteral("<Received Date> <Subject>"), QStringLiteral("/o/"), record),
                 QStringLiteral("/o/Received Date  x.pdf"));
        QCOMPARE(Recorded().calls.size(), 1);
        QCOMPARE(Recorded().calls.first().title, QStringLiteral("Application Error"));
        QVERIFY(Recorded().calls.first().text.contains(QStringLiteral("CreatePDF_File")));
        // Also when the pattern does not use the field.
        Recorded().clear();
        QCOMPARE(name(QStringLiteral("<Subject>"), QStringLiteral("/o/"), record), QStringLiteral("/o/x.pdf"));
        QCOMPARE(Recorded().count(RecordingDialogs::Kind::Message), 1);
    }
};

LARKSPAN_TEST_MAIN(ExportNamingTest)
#include "tst_export_naming.moc"
