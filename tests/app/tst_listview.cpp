// The message list control and its counters: 1-based rows, sub-items, ticks from the
// user versus the program, columns in twips, the sorted flag, and the model contract.
#include "messagelist/windows/ListCounters.h"
#include "platform/core/AppError.h"
#include "platform/widgets/ListView.h"
#include "support/WidgetTestMain.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

using namespace larkspan;

namespace {

int errorNumberOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.description() == QLatin1String("Index out of bounds") ? e.number() : -1;
    }
    return 0;
}

struct ListWindow {
    QWidget window;
    ListView *list;
    QLabel *label1;
    QLabel *label2;
    std::unique_ptr<ListCounters> counters;

    ListWindow()
    {
        auto *layout = new QVBoxLayout(&window);
        list = new ListView(&window);
        label1 = new QLabel(&window);
        label2 = new QLabel(&window);
        layout->addWidget(list);
        layout->addWidget(label1);
        layout->addWidget(label2);
        const std::pair<const char *, int> columns[] = {{"From", 1300}, {"From Name", 1300}, {"From Address", 1600},
                                                        {"Subject", 1600}, {"Received Date", 1600}, {"RecDate", 0}};
        for (const auto &[header, width] : columns)
            list->addColumn(QString::fromLatin1(header), width);
        counters = std::make_unique<ListCounters>(list, label1, label2);
        window.resize(900, 500);
    }

    void fill(int rows)
    {
        for (int i = 1; i <= rows; ++i) {
            const int row = list->append(QStringLiteral("sender%1").arg(i));
            for (int s = 1; s <= 5; ++s)
                list->setSubItem(row, s, QStringLiteral("r%1s%2").arg(i).arg(s));
        }
    }

    // Where a user clicks to toggle the tick of a row.
    QPoint tickPoint(int row) const
    {
        const QModelIndex index = list->model()->index(row - 1, 0);
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(index);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        option.checkState = Qt::Unchecked;
        return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
    }
};

} // namespace

class ListViewTest : public QObject {
    Q_OBJECT
private slots:
    void rowsAreNumberedFromOneAndBoundsAreChecked()
    {
        ListWindow w;
        QCOMPARE(w.list->count(), 0);
        QCOMPARE(errorNumberOf([&] { w.list->text(1); }), 35600);
        w.fill(3);
        QCOMPARE(w.list->count(), 3);
        QCOMPARE(w.list->text(1), QStringLiteral("sender1"));
        QCOMPARE(w.list->text(3), QStringLiteral("sender3"));
        QCOMPARE(w.list->subItem(2, 1), QStringLiteral("r2s1"));
        QCOMPARE(w.list->subItem(2, 5), QStringLiteral("r2s5"));
        QCOMPARE(errorNumberOf([&] { w.list->text(0); }), 35600);
        QCOMPARE(errorNumberOf([&] { w.list->text(4); }), 35600);
        QCOMPARE(errorNumberOf([&] { w.list->checked(-1); }), 35600);
        QCOMPARE(errorNumberOf([&] { w.list->setChecked(4, true); }), 35600);
        QCOMPARE(errorNumberOf([&] { w.list->subItem(1, 0); }), 35600);
        QCOMPARE(errorNumberOf([&] { w.list->setSubItem(1, 6, QString()); }), 35600);
        QCOMPARE(errorNumberOf([&] { w.list->columnHeader(7); }), 35600);
        w.list->setText(2, QStringLiteral("changed"));
        QCOMPARE(w.list->text(2), QStringLiteral("changed"));
        QVERIFY(!w.list->checked(1));

        w.list->clearItems();
        QCOMPARE(w.list->count(), 0);
        QCOMPARE(errorNumberOf([&] { w.list->text(1); }), 35600);
        QCOMPARE(w.list->append(QStringLiteral("again")), 1);
    }

    void textsOfEveryLengthComeBackExactly()
    {
        // Many rows fill several of the list's text blocks; a long text and a replaced
        // one must not disturb their neighbours.
        ListWindow w;
        const auto textOf = [](int row, int column) {
            return QString(row % 97 + column, QChar(u'a' + column)) + QString::number(row) + QStringLiteral("é");
        };
        const QString longText(40000, QLatin1Char('L'));
        for (int row = 1; row <= 3000; ++row) {
            w.list->append(row == 1500 ? longText : textOf(row, 0));
            for (int column = 1; column <= 5; ++column)
                w.list->setSubItem(row, column, textOf(row, column));
        }
        w.list->setSubItem(10, 3, QStringLiteral("replaced"));
        w.list->setSubItem(11, 3, QString());
        for (int row = 1; row <= 3000; ++row) {
            QCOMPARE(w.list->text(row), row == 1500 ? longText : textOf(row, 0));
            for (int column = 1; column <= 5; ++column) {
                const QString expected = row == 10 && column == 3 ? QStringLiteral("replaced")
                                         : row == 11 && column == 3 ? QString()
                                                                    : textOf(row, column);
                QCOMPARE(w.list->subItem(row, column), expected);
            }
        }
        w.list->clearItems();
        w.list->append(QStringLiteral("after"));
        QCOMPARE(w.list->text(1), QStringLiteral("after"));
        QCOMPARE(w.list->subItem(1, 2), QString());
    }

    void appendedRowsReachTheViewWhenTheEventLoopRuns()
    {
        ListWindow w;
        w.window.show();
        w.fill(50);
        // The list itself knows every row at once.
        QCOMPARE(w.list->count(), 50);
        QCOMPARE(w.list->subItem(50, 3), QStringLiteral("r50s3"));
        QTRY_COMPARE(w.list->model()->rowCount(), 50);
        QCOMPARE(w.list->model()->index(49, 3).data().toString(), QStringLiteral("r50s3"));
        // refresh() brings the view up to date without waiting.
        w.list->append(QStringLiteral("late"));
        w.list->refresh();
        QCOMPARE(w.list->model()->rowCount(), 51);
    }

    void modelKeepsItsContractThroughEveryOperation()
    {
        ListWindow w;
        QAbstractItemModelTester tester(w.list->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        w.window.show();
        w.fill(20);
        QTRY_COMPARE(w.list->model()->rowCount(), 20);
        w.list->setChecked(3, true);
        w.list->setSubItem(4, 2, QStringLiteral("x"));
        w.list->setSorted(true);
        w.list->append(QStringLiteral("aaa"));
        w.list->setText(1, QStringLiteral("zzz"));
        w.list->setSorted(false);
        w.fill(5);
        w.list->refresh();
        w.list->clearItems();
        w.fill(2);
        w.list->clearColumns();
        w.list->addColumn(QStringLiteral("From"), 1300);
        QTRY_COMPARE(w.list->model()->rowCount(), 2);
    }

    void columnsCarryHeadersAndWidthsInTwips()
    {
        ListWindow w;
        QCOMPARE(w.list->columnCount(), 6);
        QCOMPARE(w.list->columnHeader(1), QStringLiteral("From"));
        QCOMPARE(w.list->columnHeader(6), QStringLiteral("RecDate"));
        QCOMPARE(w.list->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Subject"));
        QCOMPARE(w.list->columnWidthTwips(1), 1300);
        QCOMPARE(w.list->columnWidthTwips(3), 1600);
        QCOMPARE(w.list->columnWidth(0), TwipsToPixels(1300, w.list));
        QVERIFY(w.list->columnWidth(0) > 0);
        // Width 0: the column holds data but is not shown.
        QVERIFY(w.list->isColumnHidden(5));
        QVERIFY(!w.list->isColumnHidden(4));
        QCOMPARE(w.list->columnWidthTwips(6), 0);

        // Clearing the rows keeps the columns as they were set.
        w.window.show();
        w.fill(3);
        w.list->refresh();
        w.list->clearItems();
        QVERIFY(w.list->isColumnHidden(5));
        QCOMPARE(w.list->columnWidthTwips(2), 1300);

        // A width the user drags to is read back in twips.
        w.list->header()->resizeSection(1, TwipsToPixels(1300, w.list) + 30);
        QCOMPARE(w.list->columnWidthTwips(2), PixelsToTwips(TwipsToPixels(1300, w.list) + 30, w.list));

        w.list->setColumnWidthTwips(6, 900);
        QVERIFY(!w.list->isColumnHidden(5));
        QCOMPARE(w.list->columnWidthTwips(6), 900);
        w.list->clearColumns();
        QCOMPARE(w.list->columnCount(), 0);
    }

    void sortedFlagOrdersByRowTextAndUnsortedAppendsAtTheEnd()
    {
        ListWindow w;
        QVERIFY(!w.list->sorted());
        for (const char *t : {"delta", "Alpha", "charlie", "bravo"})
            w.list->append(QString::fromLatin1(t));
        w.list->setSubItem(1, 1, QStringLiteral("of delta"));
        w.list->setChecked(1, true);
        w.list->setSorted(true);
        QVERIFY(w.list->sorted());
        QStringList order;
        for (int r = 1; r <= w.list->count(); ++r)
            order << w.list->text(r);
        QCOMPARE(order, QStringList({"Alpha", "bravo", "charlie", "delta"}));
        // Sub-items and ticks travel with their row.
        QCOMPARE(w.list->subItem(4, 1), QStringLiteral("of delta"));
        QVERIFY(w.list->checked(4));
        QCOMPARE(w.list->append(QStringLiteral("beta")), 2);

        w.list->setSorted(false);
        QCOMPARE(w.list->append(QStringLiteral("aaa")), 6);
        QCOMPARE(w.list->text(6), QStringLiteral("aaa"));
    }

    void onlyTheUsersTicksRaiseItemCheck()
    {
        ListWindow w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.fill(3);
        w.list->refresh();
        QSignalSpy spy(w.list, &ListView::itemCheck);

        w.list->setChecked(2, true);
        QVERIFY(w.list->checked(2));
        QCOMPARE(spy.count(), 0);

        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, w.tickPoint(3));
        QVERIFY(w.list->checked(3));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 3);

        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, w.tickPoint(2));
        QVERIFY(!w.list->checked(2));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 2);

        // Space ticks the current row even when the focus cell is another column.
        w.list->setFocus();
        w.list->setCurrentIndex(w.list->model()->index(0, 3));
        QTest::keyClick(w.list, Qt::Key_Space);
        QVERIFY(w.list->checked(1));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(2).at(0).toInt(), 1);
    }

    void countersResetOrRecount()
    {
        ListWindow w;
        w.counters->RefreshCounters(false);
        QCOMPARE(w.label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 0"));

        w.fill(12);
        for (int r : {2, 5, 11})
            w.list->setChecked(r, true);
        w.counters->RefreshCounters(false);
        QCOMPARE(w.label1->text(), QStringLiteral("Total Number Of Emails: 12"));
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 3"));
        QCOMPARE(w.counters->CountChecked(), 3);

        // Reset does not look at the list: both zero while the rows are still there.
        w.counters->RefreshCounters(true);
        QCOMPARE(w.label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 0"));
        QCOMPARE(w.list->count(), 12);
        w.counters->RefreshCounters(false);
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 3"));
    }

    void countYieldsAfterEveryRowWithTheTotalAlreadyWritten()
    {
        ListWindow w;
        w.fill(4);
        w.list->setChecked(1, true);
        w.counters->RefreshCounters(false);
        w.list->setChecked(2, true);
        w.list->append(QStringLiteral("fifth"));

        // What a handler running inside the count sees: the new total, the old selection.
        QStringList seen;
        QTimer probe;
        probe.setInterval(0);
        connect(&probe, &QTimer::timeout, [&] {
            seen << w.label1->text() + QLatin1Char('|') + w.label2->text();
            probe.stop();
        });
        probe.start();
        w.counters->RefreshCounters(false);
        QCOMPARE(seen, QStringList({"Total Number Of Emails: 5|Selected Emails: 1"}));
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 2"));
    }

    void rowsRemovedDuringACountFailTheCount()
    {
        ListWindow w;
        w.fill(6);
        QTimer::singleShot(0, w.list, [&] { w.list->clearItems(); });
        QCOMPARE(errorNumberOf([&] { w.counters->CountChecked(); }), 35600);
    }

    void aHandTickRecountsTheSelection()
    {
        ListWindow w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QObject::connect(w.list, &ListView::itemCheck, [&](int row) { w.counters->ItemCheck(row); });
        w.fill(8);
        w.list->refresh();
        w.counters->RefreshCounters(false);
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 0"));
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, w.tickPoint(4));
        QCOMPARE(w.label1->text(), QStringLiteral("Total Number Of Emails: 8"));
        QCOMPARE(w.label2->text(), QStringLiteral("Selected Emails: 1"));
        QVERIFY(!w.counters->AccumulateChecks);
    }
};

LARKSPAN_TEST_MAIN(ListViewTest)
#include "tst_listview.moc"
