#pragma once

class QLabel;

namespace larkspan {

class ListView;

// The two counter labels under a message list ("Total Number Of Emails: ",
// "Selected Emails: "), the count of ticked rows, and the window's check-by-text
// marker. Each window with a message list has its own.
class ListCounters {
public:
    ListCounters(ListView *list, QLabel *Label1, QLabel *Label2);

    // reset: both labels to 0 without looking at the list. Otherwise the total is
    // written first, then the ticked rows are counted and the second label written.
    void RefreshCounters(bool reset);

    // Visits every row once, yielding to the event loop after each, so the window
    // stays alive while a long list is counted (and handlers may run meanwhile).
    int CountChecked();

    // The handler of the list's tick event: recounts.
    void ItemCheck(int row);

    // False: the next text check unticks each row it visits before testing it.
    bool AccumulateChecks = false;

private:
    ListView *m_list;
    QLabel *m_label1;
    QLabel *m_label2;
};

} // namespace larkspan
