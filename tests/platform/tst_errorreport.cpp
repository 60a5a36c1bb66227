#include "support/TestEnvironment.h"

#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"

#include <stdexcept>

using namespace larkspan;
using larkspan::test::Recorded;

class ErrorReportTest : public QObject {
    Q_OBJECT

private slots:
    void init() { Recorded().clear(); }

    void reportTextIsExact()
    {
        const QString text = ErrorReportText(QStringLiteral("Type mismatch"), QStringLiteral("Form1"),
                                             QStringLiteral("PushButton1_Click"), 12);
        const QString head = QStringLiteral("Type mismatch\r\nin Ostrevan2021/08/31.Form1.PushButton1_Click at line 12\r\r");
        QVERIFY2(text.startsWith(head), qPrintable(text));
        const QString closing = text.mid(head.size());
        QVERIFY(!closing.isEmpty());
        QVERIFY(!closing.contains(QLatin1Char('\r')) && !closing.contains(QLatin1Char('\n')));
        QVERIFY(closing.contains(QStringLiteral("screenshot"), Qt::CaseInsensitive));
        QVERIFY(closing.contains(QLatin1String(kSupportAddress)));
    }

    void trapReportsEachFailingStepAndGoesOn()
    {
        QStringList ran;
        // Lines are counted from the trap's own line, as the report numbers them.
        ErrorTrap trap("Form3", "Form_Load", 100);
        QVERIFY(trap.step(101, [&] { ran << "one"; }));
        QVERIFY(!trap.step(102, [&] { throw AppError(QStringLiteral("Path not found"), 76); ran << "never"; }));
        QVERIFY(trap.step(103, [&] { ran << "three"; }));
        QVERIFY(!trap.step(107, [&] { throw std::runtime_error("disk full"); }));
        QVERIFY(trap.step(108, [&] { ran << "five"; }));

        QCOMPARE(ran, (QStringList{"one", "three", "five"}));
        QCOMPARE(trap.failures(), 2);
        const auto &calls = Recorded().calls;
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls.at(0).text, ErrorReportText(QStringLiteral("Path not found"), QStringLiteral("Form3"),
                                                   QStringLiteral("Form_Load"), 2));
        QCOMPARE(calls.at(1).text, ErrorReportText(QStringLiteral("disk full"), QStringLiteral("Form3"),
                                                   QStringLiteral("Form_Load"), 7));
        for (const auto &call : calls) {
            QCOMPARE(call.title, QStringLiteral("Application Error"));
            QCOMPARE(call.icon, MsgIcon::Warning);
            QCOMPARE(call.buttons, MsgButtons::Ok);
        }
    }

    void loopGoesOnWithTheNextRow()
    {
        ErrorTrap trap("Form1", "PushButton9_Click", __LINE__);
        QList<int> done;
        for (int row = 1; row <= 4; ++row) {
            trap.step(__LINE__, [&] {
                if (row == 2)
                    throw AppError(QStringLiteral("Index out of bounds"), 35600);
                done << row;
            });
        }
        QCOMPARE(done, (QList<int>{1, 3, 4}));
        QCOMPARE(Recorded().messages().size(), 1);
        QVERIFY(Recorded().messages().at(0).startsWith(QStringLiteral("Index out of bounds\r\n")));
    }

    void failingReportDoesNotEscape()
    {
        Recorded().onCall = [](const auto &) { throw std::runtime_error("no display"); };
        ErrorTrap trap("Form1", "Form_Load", 1);
        bool next = false;
        trap.step(2, [] { throw AppError(QStringLiteral("Overflow"), 6); });
        trap.step(3, [&] { next = true; });
        QVERIFY(next);
        QCOMPARE(trap.failures(), 1);
    }

    void shortenedAppTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one word stays") << "Larkspan" << "Larkspan";
        QTest::newRow("at least one word goes") << "Larkspan Mail Export" << "Larkspan Mail";
        QTest::newRow("more go while over 40")
            << "Larkspan Mail Export Utility For Every Folder Of Yours" // 54
            << "Larkspan Mail Export Utility For Every"; // 38
        QTest::newRow("exactly 40 after the first")
            << "Larkspan Mail Export Utility For Folder1 X" << "Larkspan Mail Export Utility For Folder1";
        QTest::newRow("41 after the first")
            << "Larkspan Mail Export Utility For Folders1 X" << "Larkspan Mail Export Utility For";
        QTest::newRow("long first word is kept") << QString(45, QLatin1Char('L')) + QStringLiteral(" Mail")
                                                 << QString(45, QLatin1Char('L'));
        QTest::newRow("empty") << "" << "";
    }
    void shortenedAppTitle()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(ShortenedAppTitle(name), expected);
        QVERIFY(expected.size() <= 40 || !expected.contains(QLatin1Char(' ')));
    }

    void boxesCarryTheTitleOfTheMoment()
    {
        SetAppTitle(QString());
        MsgBox(QStringLiteral("early"));
        SetAppTitle(QStringLiteral("Lark"));
        MsgBox(QStringLiteral("later"));
        QCOMPARE(Recorded().calls.at(0).title, QCoreApplication::applicationName());
        QCOMPARE(Recorded().calls.at(1).title, QStringLiteral("Lark"));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ErrorReportTest)
#include "tst_errorreport.moc"
