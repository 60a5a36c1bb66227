#include "messagelist/ListSelection.h"
#include "messagelist/MainListActions.h"
#include "messagelist/MainWindowContext.h"

namespace larkspan {

void PushButton5_Click(MainWindowContext &ctx)
{
    SetAllTicks("Form1", "PushButton5_Click", ctx.ListView1, ctx.counters, true);
}

void PushButton6_Click(MainWindowContext &ctx)
{
    SetAllTicks("Form1", "PushButton6_Click", ctx.ListView1, ctx.counters, false);
}

void PushButton7_Click(MainWindowContext &ctx)
{
    ClearListRows("Form1", ctx.ListView1, ctx.counters, ctx.pointer);
}

void PushButton9_Click(MainWindowContext &ctx)
{
    CheckRowsByText("Form1", "PushButton9_Click", ctx.window, ctx.ListView1, ctx.counters, true);
}

void PushButton10_Click(MainWindowContext &ctx)
{
    CheckRowsByText("Form1", "PushButton10_Click", ctx.window, ctx.ListView1, ctx.counters, false);
}

} // namespace larkspan
