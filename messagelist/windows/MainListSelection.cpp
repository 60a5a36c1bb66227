#include "messagelist/windows/ListSelection.h"
#include "messagelist/windows/MainListActions.h"
#include "messagelist/windows/MainListParts.h"

namespace larkspan {

void PushButton5_Click(MainListParts &ctx)
{
    SetAllTicks("Form1", "PushButton5_Click", ctx.ListView1, ctx.counters, true);
}

void PushButton6_Click(MainListParts &ctx)
{
    SetAllTicks("Form1", "PushButton6_Click", ctx.ListView1, ctx.counters, false);
}

void PushButton7_Click(MainListParts &ctx)
{
    ClearListRows("Form1", ctx.ListView1, ctx.counters, ctx.pointer);
}

void PushButton9_Click(MainListParts &ctx)
{
    CheckRowsByText("Form1", "PushButton9_Click", ctx.window, ctx.ListView1, ctx.counters, true);
}

void PushButton10_Click(MainListParts &ctx)
{
    CheckRowsByText("Form1", "PushButton10_Click", ctx.window, ctx.ListView1, ctx.counters, false);
}

} // namespace larkspan
