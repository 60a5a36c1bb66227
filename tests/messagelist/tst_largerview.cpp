// The larger list window: the copy it opens with, its own tools and marker, its
// "Clear List", the layout after a resize, and the ticks it writes back on closing.

#include "MessageListTestKit.h"

#include "messagelist/windows/Form4.h"

#include <QHeaderView>
#include <QPushButton>

using namespace larkspan;
using namespace larkspan::test;

class LargerViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> m_window;
    Form1 *w = nullptr;

    void fillFive(const QString &ticks = QStringLiteral("00000"))
    {
        const QStringList subjects = {"Lunch", "Minutes", "quarterly report", "Invoice", "Party"};
        for (int i = 0; i < 5; ++i) {
            const QString name = QStringLiteral("Person %1").arg(i + 1);
            AddRow(w->ListView1, {QStringLiteral("p%1@example.org").arg(i + 1), name,
                                  QStringLiteral("p%1@example.org").arg(i + 1), subjects[i],
                                  QStringLiteral("0%1/02/2026 10:00:00").arg(i + 1),
                                  QString::number(46054 + i), ticks[i] == QLatin1Char('1')});
        }
    }
    // Opens the larger window and runs action inside it.
    void openWith(const std::function<void(Form4 *)> &action)
    {
        ModalWatcher watcher(QStringLiteral(" List In Larger View"));
        watcher.actions << [&](QDialog *dialog) { action(static_cast<Form4 *>(dialog)); };
        w->PushButton8->click();
        QCOMPARE(watcher.shown, 1);
    }
    static void tickByHand(ListView *list, int row, bool ticked)
    {
        const QModelIndex index = list->model()->index(row - 1, 0);
        list->model()->setData(index, ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }

private slots:
    void init()
    {
        ResetSettings();
        m_window = std::make_unique<MainWindow>();
        w = m_window->form.get();
        Recorded().clear();
    }
    void cleanup()
    {
        Recorded().onCall = nullptr;
        w = nullptr;
        m_window.reset();
    }

    void opensEmptyForAnEmptyList()
    {
        QString total, selected;
        int rows = -1;
        openWith([&](Form4 *form) {
            rows = form->ListView1->count();
            total = form->Label1->text();
            selected = form->Label2->text();
            form->PushButton4->click();
        });
        QCOMPARE(rows, 0);
        QCOMPARE(total, QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(selected, QStringLiteral("Selected Emails: 0"));
        QVERIFY(ErrorReports().isEmpty());
    }

    void copiesTheListAndWritesTicksBackOnBack()
    {
        fillFive(QStringLiteral("01000"));
        QStringList headers, cells;
        QString ticks, selectedAfterHandTick;
        bool modal = false, maximized = false;
        openWith([&](Form4 *form) {
            modal = form->isModal();
            maximized = form->windowState().testFlag(Qt::WindowMaximized);
            for (int c = 1; c <= form->ListView1->columnCount(); ++c)
                headers << form->ListView1->columnHeader(c);
            for (int k = 0; k <= 5; ++k)
                cells << (k == 0 ? form->ListView1->text(3) : form->ListView1->subItem(3, k));
            ticks = Ticks(form->ListView1);
            tickByHand(form->ListView1, 4, true);
            tickByHand(form->ListView1, 2, false);
            tickByHand(form->ListView1, 5, true);
            selectedAfterHandTick = form->Label2->text();
            form->PushButton4->click();
        });
        QVERIFY(modal);
        QVERIFY(maximized);
        QCOMPARE(headers, QStringList({"From", "From Name", "From Address", "Subject", "Received Date", "RecDate"}));
        QCOMPARE(cells, QStringList({"p3@example.org", "Person 3", "p3@example.org", "quarterly report",
                                     "03/02/2026 10:00:00", "46056"}));
        QCOMPARE(ticks, QStringLiteral("01000"));
        QCOMPARE(selectedAfterHandTick, QStringLiteral("Selected Emails: 2"));
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00011"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 2"));
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 5"));
    }

    void closeBoxAndEscapeWriteTicksBackToo_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("close box") << false;
        QTest::newRow("Escape") << true;
    }

    void closeBoxAndEscapeWriteTicksBackToo()
    {
        QFETCH(bool, escape);
        fillFive(QStringLiteral("11111"));
        openWith([&](Form4 *form) {
            form->PushButton6->click(); // "Uncheck All" in the larger window
            // Space ticks the current row, as a keyboard user does.
            form->ListView1->setCurrentIndex(form->ListView1->model()->index(0, 0));
            QTest::keyClick(form->ListView1, Qt::Key_Space);
            if (escape)
                QTest::keyClick(form->ListView1, Qt::Key_Escape);
            else
                form->close();
        });
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("10000"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 1"));
    }

    void hasItsOwnMarker()
    {
        fillFive(QStringLiteral("11111"));
        // The main window has been accumulating; the larger window starts afresh.
        w->context().counters->AccumulateChecks = true;
        QString ticks;
        bool ownMarker = false;
        Recorded().inputAnswers = {QStringLiteral("QUARTERLY")};
        openWith([&](Form4 *form) {
            QVERIFY(!form->counters().AccumulateChecks);
            form->PushButton9->click();
            ticks = Ticks(form->ListView1);
            ownMarker = form->counters().AccumulateChecks;
            form->PushButton4->click();
        });
        QCOMPARE(ticks, QStringLiteral("00111"));
        QVERIFY(ownMarker);
        QVERIFY(w->context().counters->AccumulateChecks);
        QCOMPARE(Ticks(w->ListView1), QStringLiteral("00111"));
    }

    void clearListEmptiesBothLists()
    {
        fillFive(QStringLiteral("10101"));
        int mainRowsInside = -1;
        QString total, selected;
        openWith([&](Form4 *form) {
            form->PushButton7->click();
            mainRowsInside = w->ListView1->count();
            total = form->Label1->text();
            selected = form->Label2->text();
            form->close();
        });
        QCOMPARE(mainRowsInside, 0);
        QCOMPARE(total, QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(selected, QStringLiteral("Selected Emails: 0"));
        QCOMPARE(w->ListView1->count(), 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("Total Number Of Emails: 0"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Selected Emails: 0"));
    }

    void resizeSpreadsTheColumns()
    {
        fillFive();
        QList<int> widths, expected;
        bool recDateHidden = false, maximizedAgain = false, nothingNegative = false;
        int labelTop = 0, expectedLabelTop = 0, clearLeft = 0, expectedClearLeft = 0, rightLeft = 0,
            expectedRightLeft = 0;
        openWith([&](Form4 *form) {
            form->setWindowState(Qt::WindowNoState);
            form->resize(1000, 640);
            const int W = PixelsToTwips(form->frameGeometry().width(), form);
            const int H = PixelsToTwips(form->frameGeometry().height(), form);
            const int LW = W - 330;
            for (int c = 1; c <= 6; ++c)
                widths << form->ListView1->columnWidthTwips(c);
            expected = {LW / 6, LW / 5, LW / 5, LW / 5, LW / 5, 0};
            recDateHidden = form->ListView1->header()->isSectionHidden(5);
            labelTop = form->Label1->y();
            expectedLabelTop = TwipsToPixels(H - 2865, form);
            clearLeft = form->PushButton7->x();
            const int left = W / 2 - PixelsToTwips(form->PushButton7->width(), form) / 2 - 45;
            expectedClearLeft = TwipsToPixels(left, form);
            rightLeft = form->PushButton1->x();
            expectedRightLeft =
                TwipsToPixels(left + PixelsToTwips(form->Label1->width(), form) + 120, form);

            // Too small for the list: nothing gets a negative size.
            form->resize(60, 40);
            nothingNegative = form->ListView1->width() >= 0 && form->ListView1->height() >= 0;

            form->PushButton1->click(); // "Maximize This Window"
            maximizedAgain = form->windowState().testFlag(Qt::WindowMaximized);
            form->PushButton4->click();
        });
        QCOMPARE(widths, expected);
        QVERIFY(recDateHidden);
        QCOMPARE(labelTop, expectedLabelTop);
        QCOMPARE(clearLeft, expectedClearLeft);
        QCOMPARE(rightLeft, expectedRightLeft);
        QVERIFY(nothingNegative);
        QVERIFY(maximizedAgain);
    }
};

LARKSPAN_TEST_MAIN(LargerViewTest)
#include "tst_largerview.moc"
