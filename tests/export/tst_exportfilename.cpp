// PDF names as a pure function of the pattern, the folder, the message, the time and
// the account: no window, no file, no hand-off.

#include "export/pipeline/ExportFileName.h"
#include "mail/OleDate.h"
#include "messagelist/data/MessageRecord.h"
#include "support/TestEnvironment.h"

#include <QTest>

using namespace larkspan;

class ExportFileNameTest : public QObject {
    Q_OBJECT

    static MessageRecord Message(const QString &subject, const QString &received = QString())
    {
        return MessageRecord(QStringLiteral("Ada <ada@example.org>"), QStringLiteral("Ada"), QStringLiteral("ada@example.org"),
                             subject,
                             received.isEmpty() ? OleDateToGeneralText(ToOleDate(QDateTime(QDate(2026, 12, 1), QTime(9, 30))))
                                                : received,
                             QString(), QString());
    }

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("path");
        QTest::newRow("the default pattern") << DefaultFileNamePattern() << "/Out/" << "Re: Plan?" << 2
                                             << "/Out/2 - 12-07-2026 Re  Plan.pdf";
        QTest::newRow("fields in any letter case") << "<SUBJECT> to <to>" << "/o/" << "Hi" << 1 << "/o/Hi to me@example.org.pdf";
        QTest::newRow("a later field inside a value expands") << "<Subject>" << "/o/" << "for <To>" << 1
                                                              << "/o/for me@example.org.pdf";
        QTest::newRow("an earlier one stays, its brackets blank") << "<Subject>" << "/o/" << "n <Count>" << 1 << "/o/n  Count.pdf";
        QTest::newRow("nothing usable") << "<>?*" << "/o/" << "x" << 1 << "";
        QTest::newRow("folder glued on") << "a" << "/Out" << "x" << 1 << "/Outa.pdf";
        QTest::newRow("cut to the room the folder leaves") << "<Subject>" << "/a/Out/" << QString(300, QLatin1Char('x')) << 1
                                                           << "/a/Out/" + QString(243, QLatin1Char('x')) + ".pdf";
    }

    void names()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, folder);
        QFETCH(QString, subject);
        QFETCH(int, count);
        QFETCH(QString, path);
        const FileNameFields fields{pattern, folder, QStringLiteral("me@example.org"), QDateTime(QDate(2026, 12, 7), QTime(8, 0)), count};
        const ExportFileName name = MakeExportFileName(fields, Message(subject));
        QCOMPARE(name.path, path);
        QVERIFY(name.failures.isEmpty());
    }

    void anUnreadableReceivedDateIsReportedAtEveryNaming()
    {
        const FileNameFields fields{QStringLiteral("<Subject>"), QStringLiteral("/o/"), QString(), QDateTime::currentDateTime(), 1};
        const ExportFileName name = MakeExportFileName(fields, Message(QStringLiteral("x"), QStringLiteral("no date")));
        QCOMPARE(name.path, QStringLiteral("/o/x.pdf"));
        QCOMPARE(name.failures.size(), 1);
        QCOMPARE(name.failures.first().number(), int(ErrorCode::TypeMismatch));
    }

    void aRunNeverWritesTwoFilesOfOneName()
    {
        QSet<QString> taken;
        QCOMPARE(UniqueInRun(QStringLiteral("/o/a.pdf"), taken), QStringLiteral("/o/a.pdf"));
        QCOMPARE(UniqueInRun(QStringLiteral("/o/a.pdf"), taken), QStringLiteral("/o/a (2).pdf"));
        QCOMPARE(UniqueInRun(QStringLiteral("/o/a (2).pdf"), taken), QStringLiteral("/o/a (2) (2).pdf"));
        QCOMPARE(UniqueInRun(QStringLiteral("/o/a.pdf"), taken), QStringLiteral("/o/a (3).pdf"));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ExportFileNameTest)
#include "tst_exportfilename.moc"
