#include "messagelist/windows/ListCounters.h"

#include "platform/widgets/ListView.h"
#include "platform/core/Yield.h"

#include <QLabel>
#include <QPointer>

namespace larkspan {

ListCounters::ListCounters(ListView *list, QLabel *Label1, QLabel *Label2)
    : m_list(list), m_label1(Label1), m_label2(Label2)
{
}

void ListCounters::RefreshCounters(bool reset)
{
    if (reset) {
        m_label1->setText(QStringLiteral("Total Number Of Emails: 0"));
        m_label2->setText(QStringLiteral("Selected Emails: 0"));
        return;
    }
    m_label1->setText(QStringLiteral("Total Number Of Emails: ") + QString::number(m_list->count()));
    // Guard the label: the count yields, and the window may be torn down meanwhile.
    QPointer<QLabel> label2 = m_label2;
    const int ticked = CountChecked();
    if (label2)
        label2->setText(QStringLiteral("Selected Emails: ") + QString::number(ticked));
}

int ListCounters::CountChecked()
{
    QPointer<ListView> list = m_list;
    const int rows = list->count();
    int ticked = 0;
    for (int row = 1; row <= rows; ++row) {
        if (!list)
            break;
        // A row removed while we yielded raises "Index out of bounds" to the caller.
        if (list->checked(row))
            ++ticked;
        YieldToEventLoop();
    }
    return ticked;
}

void ListCounters::ItemCheck(int)
{
    RefreshCounters(false);
}

} // namespace larkspan
