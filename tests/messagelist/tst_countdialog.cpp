// The "Get Some Emails" dialog: what it reads from its boxes, what it refuses, and
// what it leaves behind however it closes.

#include "MessageListTestKit.h"

#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/RetrievalRun.h"
#include "messagelist/windows/Form2.h"
#include "messagelist/data/LeadingNumber.h"
#include "messagelist/data/MessageRecord.h"

#include <QLineEdit>
#include <QPushButton>

using namespace larkspan;
using namespace larkspan::test;

namespace {
const QString kFromMessage = QStringLiteral("Please input a value greater than zero.");
const QString kToMessage = QStringLiteral("Please input max value greater than 0 and less than or equal to 250");
} // namespace

class CountDialogTest : public QObject {
    Q_OBJECT

    QWidget m_owner;
    std::shared_ptr<clsChilkatIMAP> m_session;

    // Shows the dialog for a 250-message folder and runs action inside it.
    void showWith(const std::function<void(Form2 &)> &action)
    {
        ModalWatcher watcher(QStringLiteral("Get Some Emails"));
        watcher.actions << [&](QDialog *) { action(Form2Instance()); };
        Form2 &form = Form2Instance();
        form.setChilkatIMAP(m_session);
        form.setMaxMessage(250);
        form.Show(&m_owner);
        QCOMPARE(watcher.shown, 1);
        QVERIFY(!form.window());
    }
    // Types into the boxes and presses Continue; true when the dialog stayed open.
    static bool attempt(Form2 &form, const QString &from, const QString &to)
    {
        form.Text1[0]->setText(from);
        form.Text1[1]->setText(to);
        form.PushButton1->click();
        return form.window() && form.window()->isVisible();
    }

private slots:
    void init()
    {
        Recorded().clear();
        m_session = std::make_shared<clsChilkatIMAP>();
        m_session->CurrentLocation = -1;
        m_session->MaxRecord = -1;
        RangeAccepted = true;
        SkipDoneMessage = false;
    }

    void loadsWithTheFolderSizeSelected()
    {
        QString label, toText, selected, fromText;
        QWidget *afterTo = nullptr;
        showWith([&](Form2 &form) {
            label = form.Label1[1]->text();
            toText = form.Text1[1]->text();
            selected = form.Text1[1]->selectedText();
            fromText = form.Text1[0]->text();
            afterTo = form.Text1[1]->nextInFocusChain();
            QVERIFY(!RangeAccepted);
            form.PushButton1->click();
        });
        QCOMPARE(label, QStringLiteral("To (Max of 250)"));
        QCOMPARE(toText, QStringLiteral("250"));
        QCOMPARE(selected, QStringLiteral("250"));
        QCOMPARE(fromText, QStringLiteral("1"));
        QVERIFY(afterTo != nullptr);
        QCOMPARE(m_session->CurrentLocation, 1);
        QCOMPARE(m_session->MaxRecord, 250);
        QVERIFY(RangeAccepted);
        // Unloading always sets the flag; the run clears it after an accepted range.
        QVERIFY(SkipDoneMessage);
        QVERIFY(Recorded().messages().isEmpty());
    }

    void refusesStartsThatAreNotPositive()
    {
        QStringList openAfter;
        showWith([&](Form2 &form) {
            for (const QString &from : {QStringLiteral("0"), QString(), QStringLiteral("abc"), QStringLiteral("-3"),
                                        QStringLiteral(" .x")})
                openAfter << (attempt(form, from, QStringLiteral("250")) ? QStringLiteral("open") : from);
            QVERIFY(attempt(form, QStringLiteral("5"), QStringLiteral("300")));
            QVERIFY(attempt(form, QStringLiteral("5"), QStringLiteral("0")));
            QVERIFY(attempt(form, QStringLiteral("5"), QStringLiteral("x")));
            // Typed text stays for correcting.
            QCOMPARE(form.Text1[1]->text(), QStringLiteral("x"));
            QVERIFY(!RangeAccepted);
            form.window()->close();
        });
        QCOMPARE(openAfter, QStringList(5, QStringLiteral("open")));
        QCOMPARE(Recorded().messages(), QStringList({kFromMessage, kFromMessage, kFromMessage, kFromMessage,
                                                     kFromMessage, kToMessage, kToMessage, kToMessage}));
        for (const auto &call : Recorded().calls) {
            QCOMPARE(call.title, AppTitle());
            QCOMPARE(call.icon, MsgIcon::None);
            QCOMPARE(call.buttons, MsgButtons::Ok);
        }
        // Closed without a valid Continue: nothing written, flag False, "Done." suppressed.
        QVERIFY(!RangeAccepted);
        QVERIFY(SkipDoneMessage);
        QCOMPARE(m_session->CurrentLocation, -1);
        QCOMPARE(m_session->MaxRecord, -1);
    }

    void readsLeadingNumbersAndRoundsHalfToEven()
    {
        showWith([&](Form2 &form) { QVERIFY(!attempt(form, QStringLiteral("2.5"), QStringLiteral("12abc"))); });
        QCOMPARE(m_session->CurrentLocation, 2);
        QCOMPARE(m_session->MaxRecord, 12);

        showWith([&](Form2 &form) { QVERIFY(!attempt(form, QStringLiteral("  3.5"), QStringLiteral("249.5"))); });
        QCOMPARE(m_session->CurrentLocation, 4);
        QCOMPARE(m_session->MaxRecord, 250);

        // No check compares From with To.
        showWith([&](Form2 &form) { QVERIFY(!attempt(form, QStringLiteral("10"), QStringLiteral("5"))); });
        QCOMPARE(m_session->CurrentLocation, 10);
        QCOMPARE(m_session->MaxRecord, 5);
        QVERIFY(RangeAccepted);
        QVERIFY(Recorded().messages().isEmpty());

        QCOMPARE(LeadingNumber(QStringLiteral("1e2x")), 100.0);
        QCOMPARE(LeadingNumber(QStringLiteral("1e")), 1.0);
        QCOMPARE(LeadingNumber(QStringLiteral(".5")), 0.5);
        QCOMPARE(LeadingNumber(QStringLiteral("7.")), 7.0);
        QCOMPARE(LeadingNumber(QStringLiteral("+ 7")), 0.0);
        QCOMPARE(LeadingNumber(QStringLiteral("1 2")), 1.0);
    }

    void enterRunsContinue()
    {
        showWith([&](Form2 &form) {
            form.Text1[0]->setText(QStringLiteral("3"));
            form.Text1[1]->setText(QStringLiteral("9"));
            QTest::keyClick(form.Text1[1], Qt::Key_Return);
        });
        QCOMPARE(m_session->CurrentLocation, 3);
        QCOMPARE(m_session->MaxRecord, 9);
        QVERIFY(RangeAccepted);
    }

    void propertiesOutliveTheWindow()
    {
        // Escape closes it as its close box does: no range.
        showWith([](Form2 &form) { QTest::keyClick(form.Text1[1], Qt::Key_Escape); });
        QVERIFY(!RangeAccepted);
        QVERIFY(SkipDoneMessage);
        QCOMPARE(Form2Instance().MaxMessage(), 250);
        QCOMPARE(Form2Instance().ChilkatIMAP(), m_session);
        // Each showing builds its window anew.
        QVERIFY(!Form2Instance().window());
        QVERIFY(!Form2Instance().Text1[0]);
    }
};

LARKSPAN_TEST_MAIN(CountDialogTest)
#include "tst_countdialog.moc"
