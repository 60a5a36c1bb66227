#pragma once

#include <QString>

class QWidget;

namespace larkspan {

class ListCounters;
class ListView;
class WindowPointer;

// The tick operations of a window with a message list. They walk the rows without
// yielding and end with a recount of the window's counters. object is the window's
// name for the error report.

// "Check All" (tick true) and "Uncheck All" (tick false); both reset the
// check-by-text marker.
void SetAllTicks(const char *object, const char *procedure, ListView *list, ListCounters *counters, bool tick);

// "Clear List": removes every row unless the window is busy; the counters read 0
// either way.
void ClearListRows(const char *object, ListView *list, ListCounters *counters, const WindowPointer *busy);

// "Check Emails Containing..." (containing true) and "Check Emails Not Containing...".
// Asks for the text with "Enter X:" and ticks the rows whose text, subject or received
// date contain it (or contain it in none of them), letter case aside.
void CheckRowsByText(const char *object, const char *procedure, QWidget *owner, ListView *list,
                     ListCounters *counters, bool containing);

// One field test of the text check: whether the lower-cased field contains
// loweredText (already lower-cased). An empty text is in every non-empty field and
// in no empty one.
bool LowerCaseContains(const QString &field, const QString &loweredText, bool loweredTextIsAscii);

} // namespace larkspan
