// Filling the main window's message list: six-column rows appended, then the counters
// refreshed (total, then the ticked rows counted with one yield per row), through the
// real main window, offscreen.
#include "app/Form1.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/ListView.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <cstdio>

using namespace larkspan;

namespace {

double appendAndCount(Form1 &form, int rows)
{
    ListView *list = form.ListView1;
    ListCounters *counters = form.context().counters;
    list->clearItems();
    counters->RefreshCounters(true);
    QCoreApplication::processEvents();

    const QString date = QStringLiteral("2024-01-02 10:00:00");
    QElapsedTimer timer;
    timer.start();
    list->setSorted(false);
    for (int i = 1; i <= rows; ++i) {
        const int row = list->append(QStringLiteral("Sender %1 <sender%1@example.org>").arg(i));
        list->setSubItem(row, 1, QStringLiteral("Sender %1").arg(i));
        list->setSubItem(row, 2, QStringLiteral("sender%1@example.org").arg(i));
        list->setSubItem(row, 3, QStringLiteral("Subject of message %1").arg(i));
        list->setSubItem(row, 4, date);
        list->setSubItem(row, 5, QStringLiteral("45293"));
        if (i % 7 == 0)
            list->setChecked(row, true);
    }
    counters->RefreshCounters(false);
    const double seconds = timer.nsecsElapsed() / 1e9;

    const QString expected = QStringLiteral("Selected Emails: %1").arg(rows / 7);
    if (form.Label2->text() != expected)
        std::fprintf(stderr, "unexpected count: %s\n", qPrintable(form.Label2->text()));
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    larkspan::test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    larkspan::test::InstallRecordingDialogs();

    Form1 form;
    form.setProgramEnd([] {});
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();

    for (int rows : {10000, 100000}) {
        const double seconds = appendAndCount(form, rows);
        std::printf("listview: %d rows append+count %.3f s\n", rows, seconds);
        std::fflush(stdout);
    }
    return 0;
}
