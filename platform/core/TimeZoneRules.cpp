#include "platform/core/TimeZoneRules.h"

#include <cstdlib>
#include <ctime>

namespace larkspan {

void LoadTimeZoneRulesOnce()
{
    if (std::getenv("TZ"))
        return;
    setenv("TZ", ":/etc/localtime", 0);
    tzset();
}

} // namespace larkspan
