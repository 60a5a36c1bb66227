// The export report's CSV: what any CSV reader must get back, and what counts as damaged.

#include "export/pipeline/ExportReport.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/data/MessageStore.h"
#include "support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace larkspan;

namespace {
// A listed message as the store keeps it, from an account's folder.
MessageRecord Listed(const QString &account, quint32 uidValidity, quint32 uid, const QByteArray &body)
{
    const StoredMessage stored = MessageStore::instance().append("Subject: s\r\n\r\n" + body + "\r\n");
    MessageRecord record(QStringLiteral("a <a@x>"), QStringLiteral("a"), QStringLiteral("a@x"), QStringLiteral("s"),
                         QStringLiteral("1/1/2026"), stored);
    record.setSource(std::make_shared<const MessageSource>(MessageSource{account, QStringLiteral("INBOX"), uidValidity}), uid);
    return record;
}
} // namespace

class ExportReportTest : public QObject {
    Q_OBJECT

private slots:
    void fieldsComeBackExactly_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << QStringList{"a", "b", ""};
        QTest::newRow("commas and quotes") << QStringList{"one, two", "say \"hi\"", "\"", ","};
        QTest::newRow("line breaks") << QStringList{"line\r\nbreak", "lf\nonly", "cr\ronly", "\r\n"};
        QTest::newRow("letters and formulas") << QStringList{"Zürich ✓ 東京", "=SUM(A1:A2)", " spaced ", "-1"};
    }

    void fieldsComeBackExactly()
    {
        QFETCH(QStringList, fields);
        const QByteArray text = ExportReport::formatRow(fields) + ExportReport::formatRow({"second", "row"});
        QList<QStringList> rows;
        QVERIFY(ExportReport::parse(text, &rows));
        QCOMPARE(rows, (QList<QStringList>{fields, {"second", "row"}}));

        // Python's csv module, a reader we did not write, agrees.
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"), QStringLiteral("import csv, io, json, sys\n"
                                                           "data = sys.stdin.buffer.read().decode('utf-8')\n"
                                                           "print(json.dumps(list(csv.reader(io.StringIO(data, newline=''), strict=True))))")});
        python.write(text);
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000));
        const QJsonArray read = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(read.size(), 2);
        QCOMPARE(read[0].toVariant().toStringList(), fields);
    }

    // A message the report lists as exported is skipped when the same message comes
    // again: by its UID while the folder's UIDVALIDITY is the same, by the SHA-256 of
    // its octets where the server gave no UIDVALIDITY, never when its PDF is gone.
    void whichIdentityDecidesASkip_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<quint32>("validity");
        QTest::addColumn<quint32>("uid");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("pdfKept");
        QTest::addColumn<bool>("skipped");
        // Exported first: account "me", UIDVALIDITY 7 (or 0 where the row says so), UID 42, body "one".
        QTest::newRow("same UID, same UIDVALIDITY") << "me" << 7u << 42u << QByteArray("one") << true << true;
        QTest::newRow("same UID, octets changed") << "me" << 7u << 42u << QByteArray("two") << true << true;
        QTest::newRow("UIDVALIDITY changed") << "me" << 8u << 42u << QByteArray("one") << true << false;
        QTest::newRow("other UID") << "me" << 7u << 43u << QByteArray("one") << true << false;
        QTest::newRow("other account") << "you" << 7u << 42u << QByteArray("one") << true << false;
        QTest::newRow("no UIDVALIDITY, same octets") << "me" << 0u << 43u << QByteArray("one") << true << true;
        QTest::newRow("no UIDVALIDITY, other octets") << "me" << 0u << 42u << QByteArray("two") << true << false;
        QTest::newRow("PDF deleted since") << "me" << 7u << 42u << QByteArray("one") << false << false;
    }

    void whichIdentityDecidesASkip()
    {
        QFETCH(QString, account);
        QFETCH(quint32, validity);
        QFETCH(quint32, uid);
        QFETCH(QByteArray, body);
        QFETCH(bool, pdfKept);
        QFETCH(bool, skipped);
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        {
            ExportReport first(folder, QStringLiteral("stamp"));
            first.add(QStringLiteral("2026-12-01T10:00:00Z"), Listed(QStringLiteral("me"), validity ? 7 : 0, 42, "one"),
                      QStringLiteral("one.pdf"), ExportReport::Status::Exported, QString());
            QCOMPARE(first.save(), QString());
        }
        if (pdfKept) {
            QFile pdf(folder + QStringLiteral("one.pdf"));
            QVERIFY(pdf.open(QIODevice::WriteOnly));
        }
        const ExportReport later(folder, QStringLiteral("stamp"));
        QVERIFY(later.knowsEarlierRuns());
        QCOMPARE(later.exportedFile(Listed(account, validity, uid, body)), skipped ? QStringLiteral("one.pdf") : QString());
        MessageStore::instance().dropAll();
    }

    // A report written before mail on the disk was read lacks the last columns: it is
    // read as it is, skipping goes by its rows, and saved again it is whole.
    void aReportWithoutTheDiskColumnsIsRead()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        QFile file(folder + ExportReport::fileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ExportReport::formatRow(ExportReport::header().mid(0, 13)) +
                   ExportReport::formatRow({"2026-12-01T10:00:00Z", "me", "INBOX", "7", "42", "", "", "", "", "s", "one.pdf",
                                            "exported", ""}));
        file.close();
        QVERIFY(QFile(folder + QStringLiteral("one.pdf")).open(QIODevice::WriteOnly));
        for (int round = 0; round < 2; ++round) {
            ExportReport report(folder, QStringLiteral("stamp"));
            QVERIFY(report.knowsEarlierRuns());
            QCOMPARE(report.exportedFile(Listed(QStringLiteral("me"), 7, 42, "x")), QStringLiteral("one.pdf"));
            QCOMPARE(report.save(), QString());
        }
        MessageStore::instance().dropAll();
    }

    void damagedTextIsRefused()
    {
        QList<QStringList> rows;
        for (const QByteArray &text : {QByteArray("a,\"unterminated\r\n"), QByteArray("a,\"closed\"then text\r\n"),
                                       QByteArray("a,b\"c\r\n")})
            QVERIFY2(!ExportReport::parse(text, &rows), text.constData());
    }
};

LARKSPAN_GUILESS_TEST_MAIN(ExportReportTest)
#include "tst_exportreport.moc"
