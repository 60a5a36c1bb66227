// Tick operations and text checks of the main window's list, through its buttons.

#include "MessageListTestKit.h"

#include "messagelist/windows/ListSelection.h"
#include "platform/core/Dialogs.h"

#include <QPushButton>

using namespace larkspan;
using namespace larkspan::test;

class ListOperationsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> m_window;
    Form1 *w = nullptr;

    void fill(const QList<Row> &rows)
    {
        for (const Row &row : rows)
            AddRow(w->ListView1, row);
    }
    // Five rows where only row 3 mentions "Quarterly".
    void fillFive(bool ticked = false)
    {
        fill({{"ann@example.org", "Ann", "ann@example.org", "Lunch", "01/02/2026 10:00:00", "46054", ticked},
              {"bob@example.org", "Bob", "bob@example.org", "Minutes", "02/02/2026 10:00:00", "46055", ticked},
              {"cy@example.org", "Cy", "cy@example.org", "quarterly report", "03/02/2026 10:00:00", "46056", ticked},
              {"dee@example.org", "Dee", "dee@example.org", "Invoice", "04/02/2026 10:00:00", "46057", ticked},
              {"eve@example.org", "Eve", "eve@example.org", "Party", "05/02/2026 10:00:00", "46058", ticked}});
    }
    QString total() const { return w->Label1->text(); }
    QString selected() const { return w->Label2->text(); }

private slots:
    void init()
    {
        ResetSettings();
        Recorded().clear();
        m_window = std::make_unique<MainWindow>();
        w = m_window->form.get();
        Recorded().clear();
    }
    void cleanup()
    {
        w = nullptr;
        m_window.reset();
    }

    void emptyListChangesNothingButStillAsks()
    {
        w->PushButton5->click();
        QCOMPARE(total(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 0"));
        w->PushButton6->click();
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 0"));
        Recorded().inputAnswers = {QStringLiteral("x")};
        w->PushButton9->click();
        QCOMPARE(Recorded().count(RecordingDialogs::Kind::Input), 1);
        const auto &ask = Recorded().calls.last();
        QCOMPARE(ask.text, QStringLiteral("Enter X:"));
        QCOMPARE(ask.title, AppTitle());
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 0"));
        QVERIFY(ErrorReports().isEmpty());
    }

    void emptyEntryTicksRowsByEmptiness()
    {
        // Row 2 has only a sender name and row 4 nothing at all: for the text check
        // both are empty rows.
        fill({{"a@example.org", "", "", "", "", ""},
              {"", "Named", "named@example.org", "", "", ""},
              {"", "", "", "Subject only", "", ""},
              {"", "", "", "", "", ""}});
        w->PushButton9->click(); // no scripted answer: Cancel, an empty text
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("1010"));
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 2"));

        w->PushButton6->click();
        Recorded().inputAnswers = {QString()};
        w->PushButton10->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("0101"));
        QCOMPARE(total(), QStringLiteral("Total Number Of Emails: 4"));
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 2"));
    }

    void matchingIgnoresCaseAndOtherColumns()
    {
        fillFive();
        // "Cy" is only a sender name, "dee@" is in From; capitals meet "quarterly".
        Recorded().inputAnswers = {QStringLiteral("QUARTERLY")};
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00100"));

        w->PushButton6->click();
        Recorded().inputAnswers = {QStringLiteral("Cy")};
        w->PushButton9->click();
        // "cy" occurs in "cy@example.org" (From) of row 3 only; the name column is not read.
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00100"));

        w->PushButton6->click();
        Recorded().inputAnswers = {QStringLiteral("Eve")};
        w->ListView1->setText(5, QStringLiteral("someone@example.org"));
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00000"));
        QVERIFY(!w->context().counters->AccumulateChecks);

        // The received-date text is searched.
        Recorded().inputAnswers = {QStringLiteral("04/02")};
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00010"));
    }

    void lowerCasingBeyondAscii()
    {
        fill({{"", "", "", QStringLiteral("Großer ÄRGER"), "", ""},
              {"", "", "", QStringLiteral("\u212A is a Kelvin sign"), "", ""},
              {"", "", "", QStringLiteral("plain s"), "", ""}});
        Recorded().inputAnswers = {QStringLiteral("äRger")};
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("100"));
        // The Kelvin sign lower-cases to an ASCII k.
        w->PushButton6->click();
        Recorded().inputAnswers = {QStringLiteral("k is")};
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("010"));
        // A long s stays itself when lower-cased, so it does not meet an "s"
        // (a case-folding search would say it does).
        w->PushButton6->click();
        Recorded().inputAnswers = {QStringLiteral("plain \u017F")};
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("000"));

        QVERIFY(LowerCaseContains(QStringLiteral("ABC"), QString(), true));
        QVERIFY(!LowerCaseContains(QString(), QString(), true));
    }

    void firstMatchStartsAccumulating()
    {
        fillFive();
        w->PushButton5->click();
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 5"));
        QVERIFY(!w->context().counters->AccumulateChecks);
        Recorded().inputAnswers = {QStringLiteral("quarterly")};
        w->PushButton9->click();
        // Rows ahead of the first match were unticked; after it, ticks are kept.
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00111"));
        QVERIFY(w->context().counters->AccumulateChecks);
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 3"));

        // "Not containing" after that only adds.
        Recorded().inputAnswers = {QStringLiteral("example")};
        w->PushButton10->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00111"));
    }

    void textChecksAfterUncheckAllGiveTheUnion()
    {
        fillFive(true);
        w->PushButton6->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00000"));
        Recorded().inputAnswers = {QStringLiteral("lunch"), QStringLiteral("INVOICE")};
        w->PushButton9->click();
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("10010"));
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 2"));
        // Check All resets the marker: the next check starts by unticking again.
        w->PushButton5->click();
        Recorded().inputAnswers = {QStringLiteral("party")};
        w->PushButton9->click();
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00001"));
    }

    void clearListWhenIdle()
    {
        fillFive(true);
        w->context().counters->AccumulateChecks = true;
        w->PushButton7->click();
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(total(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(selected(), QStringLiteral("Selected Emails: 0"));
        // Clearing leaves the marker alone.
        QVERIFY(w->context().counters->AccumulateChecks);
    }

    void aFailingRowIsReportedAndTheWalkGoesOn()
    {
        fillFive();
        // A row that disappears under the walk (here: the list shrinks from inside the
        // input box) fails on its own and the walk reports it and goes on.
        Recorded().inputAnswers = {QStringLiteral("example")};
        Recorded().onCall = [this](const RecordingDialogs::Call &call) {
            if (call.kind == RecordingDialogs::Kind::Input) {
                w->ListView1->clearItems();
                fill({{"ann@example.org", "", "", "", "", ""}, {"bob@example.org", "", "", "", "", ""}});
            }
        };
        w->PushButton9->click();
        Recorded().onCall = nullptr;
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("11"));
        const QStringList reports = ErrorReports();
        QCOMPARE(reports.size(), 3);
        QVERIFY(reports.first().startsWith(QStringLiteral("Index out of bounds\r\nin Ostrevan2021/08/31.Form1.PushButton9_Click ")));
        QCOMPARE(total(), QStringLiteral("Total Number Of Emails: 2"));
    }
};

LARKSPAN_TEST_MAIN(ListOperationsTest)
#include "tst_listoperations.moc"
