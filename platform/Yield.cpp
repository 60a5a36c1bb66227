#include "platform/Yield.h"

#include <QCoreApplication>

namespace larkspan {

void YieldToEventLoop()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace larkspan
