#include "messagelist/windows/ListSelection.h"

#include "messagelist/windows/ListCounters.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/WindowPointer.h"

namespace larkspan {

namespace {

bool IsAscii(QStringView text)
{
    char16_t any = 0;
    for (const QChar c : text)
        any |= c.unicode();
    return any < 0x80;
}

} // namespace

bool LowerCaseContains(const QString &field, const QString &loweredText, bool loweredTextIsAscii)
{
    if (loweredText.isEmpty())
        return !field.isEmpty();
    if (IsAscii(field)) {
        // Lower-casing ASCII keeps it ASCII, so a text with other characters cannot
        // occur in it; between ASCII texts, case-blind search is exactly a search of
        // the lower-cased field, without making the lower-cased copy.
        if (!loweredTextIsAscii)
            return false;
        return field.contains(loweredText, Qt::CaseInsensitive);
    }
    return field.toLower().contains(loweredText);
}

void SetAllTicks(const char *object, const char *procedure, ListView *list, ListCounters *counters, bool tick)
{
    ErrorTrap trap(object, procedure, __LINE__);
    int rows = 0;
    trap.step(__LINE__, [&] { rows = list->count(); });
    for (int row = 1; row <= rows; ++row)
        trap.step(__LINE__, [&] { list->setChecked(row, tick); });
    trap.step(__LINE__, [&] { counters->RefreshCounters(false); });
    counters->AccumulateChecks = false;
}

void ClearListRows(const char *object, ListView *list, ListCounters *counters, const WindowPointer *busy)
{
    ErrorTrap trap(object, "PushButton7_Click", __LINE__);
    trap.step(__LINE__, [&] {
        if (!busy || !busy->isBusy())
            list->clearItems();
    });
    trap.step(__LINE__, [&] { counters->RefreshCounters(true); });
}

void CheckRowsByText(const char *object, const char *procedure, QWidget *owner, ListView *list,
                     ListCounters *counters, bool containing)
{
    ErrorTrap trap(object, procedure, __LINE__);
    int rows = 0;
    trap.step(__LINE__, [&] { rows = list->count(); });
    QString text;
    trap.step(__LINE__, [&] { text = Dialogs().inputBox(owner, QStringLiteral("Enter X:"), AppTitle(), QString()); });
    const QString lowered = text.toLower();
    const bool loweredIsAscii = IsAscii(lowered);
    for (int row = 1; row <= rows; ++row) {
        trap.step(__LINE__, [&] {
            if (!counters->AccumulateChecks)
                list->setChecked(row, false);
            // All three tests run for every row.
            const bool inFrom = LowerCaseContains(list->text(row), lowered, loweredIsAscii);
            const bool inSubject = LowerCaseContains(list->subItem(row, 3), lowered, loweredIsAscii);
            const bool inDate = LowerCaseContains(list->subItem(row, 4), lowered, loweredIsAscii);
            const bool any = inFrom || inSubject || inDate;
            if (containing ? any : !any) {
                list->setChecked(row, true);
                counters->AccumulateChecks = true;
            }
        });
    }
    trap.step(__LINE__, [&] { counters->RefreshCounters(false); });
}

} // namespace larkspan
