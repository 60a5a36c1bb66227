// Speed of the main list's walks on long lists: a text check, "Check All" and
// opening the larger list window, at 10,000 and 100,000 rows, through the real main
// window offscreen. Prints one line per size and the summary line last.

#include "app/Form1.h"
#include "messagelist/windows/Form4.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace larkspan;

namespace {

struct Figures {
    double textCheck = 0;
    double checkAll = 0;
    double largerWindow = 0;
};

void Fill(ListView *list, int rows)
{
    list->clearItems();
    for (int i = 1; i <= rows; ++i) {
        const int n = list->append(QStringLiteral("sender%1@example.org").arg(i));
        list->setSubItem(n, 1, QStringLiteral("Sender %1").arg(i));
        list->setSubItem(n, 2, QStringLiteral("sender%1@example.org").arg(i));
        list->setSubItem(n, 3, i % 7 == 0 ? QStringLiteral("Quarterly report %1").arg(i)
                                          : QStringLiteral("Re: meeting notes, week %1").arg(i % 52));
        list->setSubItem(n, 4, QStringLiteral("%1/03/2026 10:%2:00").arg(1 + i % 28).arg(i % 60, 2, 10, QLatin1Char('0')));
        list->setSubItem(n, 5, QString::number(46000 + i % 365));
    }
    list->refresh();
    QCoreApplication::processEvents();
}

double Seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

Figures Measure(Form1 &form, int rows)
{
    Figures f;
    double shown = 0;
    double recount = 0;
    Fill(form.ListView1, rows);

    test::Recorded().inputAnswers = {QStringLiteral("QUARTERLY")};
    QElapsedTimer timer;
    timer.start();
    form.PushButton9->click();
    f.textCheck = Seconds(timer);

    timer.restart();
    form.PushButton5->click();
    f.checkAll = Seconds(timer);

    // The recount that ends every operation, alone (it yields once per row).
    timer.restart();
    form.context().counters->RefreshCounters(false);
    recount = Seconds(timer);

    // Opening: the copy, the window shown maximized, and its first recount done.
    const QString expected = QStringLiteral("Selected Emails: ") + QString::number(rows);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *window = qobject_cast<Form4 *>(QApplication::activeModalWidget());
        if (!window)
            return;
        if (shown == 0)
            shown = Seconds(timer);
        if (window->Label2->text() != expected)
            return;
        f.largerWindow = Seconds(timer);
        poll.stop();
        window->PushButton4->click();
    });
    poll.start(0);
    timer.restart();
    form.PushButton8->click();
    std::printf("%d rows: recount alone %.3f s, larger window shown after %.3f s\n", rows, recount, shown);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();
    Printers().replacePrinters({PdfWriterDeviceName()}, PdfWriterDeviceName());

    auto form = std::make_unique<Form1>();
    form->setProgramEnd([] {});
    form->Form_Load();
    form->show();

    Figures last;
    for (int rows : {10000, 100000}) {
        last = Measure(*form, rows);
        std::printf("%d rows: text check %.3f s, check all %.3f s, larger window %.3f s\n", rows, last.textCheck,
                    last.checkAll, last.largerWindow);
        std::fflush(stdout);
    }
    std::printf("listops: 100000 rows: text check %.3f s, check all %.3f s, larger window %.3f s\n",
                last.textCheck, last.checkAll, last.largerWindow);
    return 0;
}
