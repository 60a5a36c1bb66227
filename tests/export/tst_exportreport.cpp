// The export report's CSV: what any CSV reader must get back, and what counts as damaged.

#include "export/pipeline/ExportReport.h"
#include "support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

using larkspan::ExportReport;

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
