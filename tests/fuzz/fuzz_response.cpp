// libFuzzer harness: server octets through the response reader and value parser.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return larkspan::fuzz::ReadResponses(data, size) < 0 ? 1 : 0;
}
