#include "platform/core/Yield.h"

#include <QCoreApplication>

namespace larkspan {

namespace {
unsigned long long g_yields = 0;
}

void YieldToEventLoop()
{
    ++g_yields;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

unsigned long long YieldsSoFar()
{
    return g_yields;
}

} // namespace larkspan
