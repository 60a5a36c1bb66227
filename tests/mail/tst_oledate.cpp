// Date values as days since 30 December 1899 and their "general date" text.

#include "mail/OleDate.h"
#include "support/TestEnvironment.h"

#include <QLocale>
#include <QTest>

using namespace larkspan;

class TestOleDate : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::system()); }

    void knownValues()
    {
        QCOMPARE(ToOleDate(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
        QCOMPARE(ToOleDate(QDateTime(QDate(1899, 12, 31), QTime(12, 0))), 1.5);
        QCOMPARE(ToOleDate(QDateTime(QDate(2026, 3, 3), QTime(6, 0))), 46084.25);
        // Before day 0 the fraction still counts forward from midnight.
        QCOMPARE(ToOleDate(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
        QCOMPARE(FromOleDate(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        QCOMPARE(FromOleDate(46084.25), QDateTime(QDate(2026, 3, 3), QTime(6, 0)));
    }

    void generalTextLeavesOutMidnightAndDayZero()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(OleDateToGeneralText(46084.0), QStringLiteral("3/3/2026"));
        QCOMPARE(OleDateToGeneralText(46084.75), QStringLiteral("3/3/2026 6:00:00 PM"));
        QCOMPARE(OleDateToGeneralText(0.0), QStringLiteral("12:00:00 AM"));
        QCOMPARE(OleDateToGeneralText(0.5), QStringLiteral("12:00:00 PM"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(OleDateToGeneralText(46084.75), QStringLiteral("03.03.2026 18:00:00"));
    }

    void textReadsBackToTheSameValue_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : {"C", "en_US", "en_GB", "de_DE", "fr_FR", "ja_JP"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void textReadsBackToTheSameValue()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const QList<QDateTime> moments = {
            QDateTime(QDate(2026, 3, 3), QTime(14, 5, 9)),  QDateTime(QDate(2026, 3, 3), QTime(0, 0)),
            QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59)), QDateTime(QDate(1999, 12, 31), QTime(0, 0, 1)),
            QDateTime(QDate(2030, 7, 14), QTime(12, 0)),     QDateTime(QDate(1970, 1, 1), QTime(9, 30, 15)),
        };
        for (const QDateTime &moment : moments) {
            const double value = ToOleDate(moment);
            const QString text = OleDateToGeneralText(value);
            const auto back = ParseGeneralDate(text);
            QVERIFY2(back, qPrintable(text));
            QCOMPARE(*back, value);
            // Read back right after it was made or later, through the locale: the same.
            OleDateToGeneralText(value + 1.25);
            QCOMPARE(ParseGeneralDate(text), back);
        }
        QVERIFY(!ParseGeneralDate(QStringLiteral("not a date")));
        QVERIFY(!ParseGeneralDate(QString()));
    }
};

LARKSPAN_GUILESS_TEST_MAIN(TestOleDate)
#include "tst_oledate.moc"
