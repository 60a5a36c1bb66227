#include "support/TestEnvironment.h"

#include "platform/core/AppError.h"
#include "platform/core/CommandRunner.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

using namespace larkspan;

class CommandRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void longOutputArrivesWholeAndInOrder()
    {
        QString command = QStringLiteral("seq 1 3000");
        const QString before = command;
        const QString output = RunCommandCapture(command, true, false, false);
        QCOMPARE(command, before);
        QVERIFY(output.size() > 4 * 1024);
        QStringList expected;
        for (int i = 1; i <= 3000; ++i)
            expected << QString::number(i);
        QCOMPARE(output, expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }

    void characterSplitBetweenReadsStaysWhole()
    {
        // 1023 ASCII bytes put the two bytes of "é" on both sides of a 1024-byte read.
        QString command = QStringLiteral("sh -c \"printf '%1é%1é'\"").arg(QString(1023, QLatin1Char('a')));
        const QString output = RunCommandCapture(command, true, false, true);
        QCOMPARE(output, QString(1023, QLatin1Char('a')) + QStringLiteral("é") + QString(1023, QLatin1Char('a'))
                             + QStringLiteral("é"));
    }

    void chosenStreamsOnly()
    {
        QString command = QStringLiteral("sh -c \"echo to-out; echo to-err >&2\"");
        QCOMPARE(RunCommandCapture(command, false, true, false), QStringLiteral("to-err\n"));
        QCOMPARE(RunCommandCapture(command, true, false, false), QStringLiteral("to-out\n"));
        // Both streams share one pipe, so the text keeps the order it was written in.
        QString ordered = QStringLiteral("sh -c \"echo 1; echo 2 >&2; echo 3; echo 4 >&2\"");
        QCOMPARE(RunCommandCapture(ordered, true, true, false), QStringLiteral("1\n2\n3\n4\n"));
    }

    void silentCommandGivesEmptyText()
    {
        QString command = QStringLiteral("true");
        QCOMPARE(RunCommandCapture(command, true, true, false), QString());
    }

    void missingProgram()
    {
        const QString failed = QStringLiteral("Failed to create process, Check the path of the command line.");
        QString command = QStringLiteral("/nonexistent/larkspan-no-such-program -x");
        QCOMPARE(RunCommandCapture(command, true, false, false), failed);
        QString empty;
        QCOMPARE(RunCommandCapture(empty, true, false, false), failed);
    }

    void neitherStreamIsAnInvalidCall()
    {
        QString command = QStringLiteral("true");
        try {
            RunCommandCapture(command, false, false, true);
            QFAIL("no error raised");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), 5);
        }
    }

    void eventLoopRunsWhileTheCommandRuns()
    {
        // The command ends only after an event of this program has run: a timer that
        // can fire only when the reader yields creates the file the command waits for.
        QTemporaryDir dir;
        const QString flag = dir.filePath(QStringLiteral("go"));
        QTimer::singleShot(0, this, [&] {
            QFile f(flag);
            QVERIFY(f.open(QIODevice::WriteOnly));
        });
        QString command = QStringLiteral("sh -c \"echo waiting; i=0; while [ ! -e '%1' ] && [ $i -lt 3000 ]; "
                                         "do sleep 0.01; i=$((i+1)); done; "
                                         "if [ -e '%1' ]; then echo released; else echo starved; fi\"").arg(flag);
        QCOMPARE(RunCommandCapture(command, true, false, false), QStringLiteral("waiting\nreleased\n"));
    }

    // Last: once the application is quitting, event loops no longer run.
    void outputStillCompleteWhileTheApplicationQuits()
    {
        QCoreApplication::exit(0);
        QString command = QStringLiteral("sh -c \"echo first; sleep 0.2; echo second\"");
        QCOMPARE(RunCommandCapture(command, true, false, false), QStringLiteral("first\nsecond\n"));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(CommandRunnerTest)
#include "tst_commandrunner.moc"
