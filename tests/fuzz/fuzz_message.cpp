// libFuzzer harness: raw message octets to the fields the session hands on.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return larkspan::fuzz::ReadMessage(data, size) < 0 ? 1 : 0;
}
